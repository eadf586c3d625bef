#include "tests/support/session.h"

#include "tests/support/fixtures.h"

namespace testing {

Session::Session() {
    shell::load_mainscreen(w);
    w.window.show();
}

QString Session::write(const QString& name, const QByteArray& bytes) {
    const QString path = dir.filePath(name);
    if (!write_file(path, bytes))
        qFatal("cannot write fixture %s", qPrintable(path));
    return path;
}

QString Session::unexpected() const { return prompts.unexpected.join(QLatin1Char('\n')); }

}  // namespace testing
