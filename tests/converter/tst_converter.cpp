#include <QTemporaryDir>
#include <QtTest>

#include "conversion/converter.h"
#include "shell/mainscreen.h"
#include "tests/support/scripted_prompts.h"

using platform::Answer;

class ConverterTest : public QObject {
    Q_OBJECT
private slots:
    void twoByTwoPictureGivesSeventySixBytes();
};

void ConverterTest::twoByTwoPictureGivesSeventySixBytes() {
    QTemporaryDir dir;
    QImage picture(2, 2, QImage::Format_RGB32);
    picture.setPixel(0, 0, qRgb(13, 10, 26));
    picture.setPixel(1, 0, qRgb(0, 0, 0));
    picture.setPixel(0, 1, qRgb(255, 255, 255));
    picture.setPixel(1, 1, qRgb(1, 2, 3));
    const QString source = dir.filePath(QStringLiteral("two.bmp"));
    QVERIFY(picture.save(source));
    const QString target = dir.filePath(QStringLiteral("two.zft"));

    testing::ScriptedPrompts prompts;
    prompts.file(source).file(target).button(Answer::Ok).input(QStringLiteral("  abc  ")).button(Answer::Ok);
    shell::MainScreen w(prompts);
    shell::load_mainscreen(w);
    conversion::convert_jpg_gif_bmp_file(w);
    QVERIFY2(prompts.unexpected.isEmpty(), qPrintable(prompts.unexpected.join('\n')));
    QFile file(target);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    QCOMPARE(bytes.size(), 76);
    QCOMPARE(bytes.left(64), QByteArray("1A09032004abc") + QByteArray(45, ' ') + "002002");
    QCOMPARE(bytes.mid(64), QByteArray::fromHex("0d0a1a000000ffffff010203"));
    QCOMPARE(w.window.widthTwips(), 3915.0f);
    QCOMPARE(w.window.heightTwips(), 3450.0f);
}

QTEST_MAIN(ConverterTest)
#include "tst_converter.moc"
