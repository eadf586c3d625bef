// Reads each file named on its command line through the build's ZFT image
// plugin, as a Qt program opens a picture, and prints a line for each:
//   FILE<tab>accepted 6x5 crc32 1a2b3c4d      or      FILE<tab>refused
// Built once for Qt 5 and once for Qt 6, each program with the plugin built
// for its Qt, for tst_conformance.
#include <QCoreApplication>
#include <QImageReader>
#include <cstdio>

#include "tests/support/outcome.h"

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    // The build's plugin only, never an installed one.
    QCoreApplication::setLibraryPaths({QStringLiteral(ZFT_PLUGINS)});
    for (int i = 1; i < argc; ++i) {
        const QString file = QString::fromLocal8Bit(argv[i]);
        QImageReader reader(file, "zft");
        reader.setAutoDetectImageFormat(false);  // another format's loose check is not this plugin's
        const QImage image = reader.read();
        QString outcome = image.isNull() ? QStringLiteral("refused") : testing::accepted(image);
        // A reader that is not told the format asks the plugins, and must
        // find a ZFT picture exactly where this one reads it.
        if ((QImageReader(file).format() == "zft") == image.isNull())
            outcome += QStringLiteral(" (but the plugin's capabilities say otherwise)");
        std::printf("%s\t%s\n", argv[i], qPrintable(outcome));
    }
    return 0;
}
