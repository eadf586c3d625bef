#include <QtTest>
#include <string>

#include "format/cp1252.h"
#include "format/zft_format.h"
#include "tests/format/random_files.h"
#include "tests/format/reader_properties.h"
#include "tests/support/fixtures.h"

using testing::header_bytes;

namespace {

std::string spaces(std::size_t n) { return std::string(n, ' '); }

// Qt Test prints QByteArray on a mismatch, not std::string.
QByteArray b(const std::string& s) { return QByteArray::fromStdString(s); }

}  // namespace

class FormatTest : public QObject {
    Q_OBJECT
private slots:
    void sizes_data();
    void sizes();
    void headerLaysOutFieldsAtTheirOffsets();
    void headerRoundTrips();
    void notice_data();
    void notice();
    void dateText_data();
    void dateText();
    void fieldValue_data();
    void fieldValue();
    void headerFault_data();
    void headerFault();
    void fileFault_data();
    void fileFault();
    void cp1252RoundTripsEveryByte();
    void cp1252RefusesWhatItCannotRepresent();
    void readersKeepTheirPromises();
};

void FormatTest::sizes_data() {
    QTest::addColumn<int>("w");
    QTest::addColumn<int>("h");
    QTest::addColumn<QByteArray>("widthText");
    QTest::addColumn<QByteArray>("heightText");
    QTest::addColumn<qulonglong>("fileSize");
    QTest::addColumn<qulonglong>("secondRow");

    QTest::newRow("1x1") << 1 << 1 << QByteArray("001") << QByteArray("001") << 67ull << 67ull;
    QTest::newRow("65x7") << 65 << 7 << QByteArray("065") << QByteArray("007") << 1429ull << 259ull;
    QTest::newRow("640x1") << 640 << 1 << QByteArray("640") << QByteArray("001") << 1984ull << 1984ull;
    QTest::newRow("999x999") << 999 << 999 << QByteArray("999") << QByteArray("999") << 2994067ull << 3061ull;
}

void FormatTest::sizes() {
    QFETCH(int, w);
    QFETCH(int, h);
    QFETCH(QByteArray, widthText);
    QFETCH(QByteArray, heightText);
    QFETCH(qulonglong, fileSize);
    QFETCH(qulonglong, secondRow);

    const zft::ZftHeader header = zft::make_header(9, 3, 2004, "", w, h);
    QCOMPARE(QByteArray::fromStdString(header.width), widthText);
    QCOMPARE(QByteArray::fromStdString(header.height), heightText);
    QCOMPARE(header.width_value(), w);
    QCOMPARE(header.height_value(), h);
    QCOMPARE(zft::file_size(w, h), fileSize);
    // The second row starts one row of pixels after the header.
    QCOMPARE(zft::kHeaderSize + zft::pixel_bytes(w, 1), secondRow);
    QVERIFY(!testing::file_fault(zft::encode_header(header), fileSize));
}

void FormatTest::headerLaysOutFieldsAtTheirOffsets() {
    const std::string bytes = zft::encode_header(zft::make_header(11, 9, 2003, "(c) me", 65, 7));
    QCOMPARE(bytes.size(), zft::kHeaderSize);
    QCOMPARE(b(bytes.substr(0, 2)), QByteArray("1A"));
    QCOMPARE(b(bytes.substr(2, 8)), QByteArray("11092003"));
    QCOMPARE(b(bytes.substr(10, 48)), b("(c) me" + spaces(42)));
    QCOMPARE(b(bytes.substr(58, 3)), QByteArray("065"));
    QCOMPARE(b(bytes.substr(61, 3)), QByteArray("007"));
}

void FormatTest::headerRoundTrips() {
    // Every byte value in the notice survives, and decoding checks nothing.
    std::string notice;
    for (int i = 0; i < 48; ++i)
        notice += static_cast<char>(i * 5 + 13);
    const std::string bytes = "1B12252001" + notice + "0x1" + "-12";
    const zft::ZftHeader header = zft::decode_header(bytes);
    QCOMPARE(b(header.version), QByteArray("1B"));
    QCOMPARE(b(header.creation_month), QByteArray("12"));
    QCOMPARE(b(header.creation_day), QByteArray("25"));
    QCOMPARE(b(header.creation_year), QByteArray("2001"));
    QCOMPARE(b(header.copyright_notice), b(notice));
    QCOMPARE(b(header.width), QByteArray("0x1"));
    QCOMPARE(b(header.height), QByteArray("-12"));
    QCOMPARE(b(zft::encode_header(header)), b(bytes));
}

void FormatTest::notice_data() {
    QTest::addColumn<QByteArray>("given");
    QTest::addColumn<QByteArray>("stored");

    const QByteArray exactly48 = QByteArray("0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKL");
    QTest::newRow("empty") << QByteArray() << QByteArray(48, ' ');
    QTest::newRow("only spaces") << QByteArray(70, ' ') << QByteArray(48, ' ');
    QTest::newRow("exactly 48") << exactly48 << exactly48;
    QTest::newRow("60 keeps first 48") << exactly48 + "MNOPQRSTUVWX" << exactly48;
    QTest::newRow("spaces around") << QByteArray("  abc  ") << QByteArray("abc") + QByteArray(45, ' ');
    QTest::newRow("trimmed before cut") << QByteArray(5, ' ') + exactly48 + "Z  " << exactly48;
    QTest::newRow("inner spaces kept") << QByteArray(" a  b ") << QByteArray("a  b") + QByteArray(44, ' ');
    QTest::newRow("8-bit bytes kept") << QByteArray("\xA9 2004") << QByteArray("\xA9 2004") + QByteArray(42, ' ');
}

void FormatTest::notice() {
    QFETCH(QByteArray, given);
    QFETCH(QByteArray, stored);
    const std::string field = zft::notice_field(given.toStdString());
    QCOMPARE(field.size(), zft::kNoticeSize);
    QCOMPARE(QByteArray::fromStdString(field), stored);
}

void FormatTest::dateText_data() {
    QTest::addColumn<int>("month");
    QTest::addColumn<int>("day");
    QTest::addColumn<int>("year");
    QTest::addColumn<QByteArray>("text");

    QTest::newRow("3 September 2004") << 9 << 3 << 2004 << QByteArray("09032004");
    QTest::newRow("9 November 2003") << 11 << 9 << 2003 << QByteArray("11092003");
    QTest::newRow("25 December 2001") << 12 << 25 << 2001 << QByteArray("12252001");
    QTest::newRow("1 January 999") << 1 << 1 << 999 << QByteArray("01010999");
}

void FormatTest::dateText() {
    QFETCH(int, month);
    QFETCH(int, day);
    QFETCH(int, year);
    QFETCH(QByteArray, text);
    QCOMPARE(QByteArray::fromStdString(zft::date_text(month, day, year)), text);
}

void FormatTest::fieldValue_data() {
    QTest::addColumn<QByteArray>("field");
    QTest::addColumn<int>("value");

    QTest::newRow("zero-padded") << QByteArray("065") << 65;
    QTest::newRow("largest") << QByteArray("999") << 999;
    QTest::newRow("zero") << QByteArray("000") << 0;
    QTest::newRow("leading blanks") << QByteArray("  7") << 7;
    QTest::newRow("leading tab") << QByteArray("\t12") << 12;
    QTest::newRow("trailing text") << QByteArray("9x9") << 9;
    QTest::newRow("inner blank skipped") << QByteArray("1 2") << 12;
    QTest::newRow("blanks around") << QByteArray(" 7 ") << 7;
    QTest::newRow("blank then text") << QByteArray("4 x") << 4;
    QTest::newRow("letters") << QByteArray("abc") << 0;
    QTest::newRow("minus") << QByteArray("-12") << 0;
    QTest::newRow("plus") << QByteArray("+5") << 0;
    QTest::newRow("decimal point first") << QByteArray(".50") << 0;
    QTest::newRow("blanks only") << QByteArray("   ") << 0;
    QTest::newRow("empty") << QByteArray() << 0;
    QTest::newRow("nul bytes") << QByteArray("\0\0\0", 3) << 0;
}

void FormatTest::fieldValue() {
    QFETCH(QByteArray, field);
    QFETCH(int, value);
    QCOMPARE(zft::field_value(field.toStdString()), value);
}

// The words of each check, once; which files each reader takes or refuses is
// the conformance corpus's (tst_conformance).
void FormatTest::headerFault_data() {
    QTest::addColumn<QByteArray>("header");
    QTest::addColumn<QString>("fault");

    QTest::newRow("version") << header_bytes("1B", "09032004", "", "065", "007")
                             << QStringLiteral("version is \"1B\", not \"1A\"");
    QTest::newRow("month not digits") << header_bytes("1A", "x9032004", "", "065", "007")
                                      << QStringLiteral("month is \"x9\", not 2 digits");
    QTest::newRow("month 13") << header_bytes("1A", "13032004", "", "065", "007")
                              << QStringLiteral("month is \"13\", outside 1 to 12");
    QTest::newRow("day 00") << header_bytes("1A", "09002004", "", "065", "007")
                            << QStringLiteral("day is \"00\", outside 1 to 31");
    QTest::newRow("year with blank") << header_bytes("1A", "0903 204", "", "065", "007")
                                     << QStringLiteral("year is \" 204\", not 4 digits");
    QTest::newRow("width with letter") << header_bytes("1A", "09032004", "", "0x1", "007")
                                       << QStringLiteral("width is \"0x1\", not 3 digits");
    QTest::newRow("width 000") << header_bytes("1A", "09032004", "", "000", "007")
                               << QStringLiteral("width is \"000\", outside 1 to 999");
    QTest::newRow("height signed") << header_bytes("1A", "09032004", "", "065", "-07")
                                   << QStringLiteral("height is \"-07\", not 3 digits");
    QByteArray control = header_bytes("1A", "09032004", "", "065", "007");
    control[62] = '\x1A';
    QTest::newRow("control byte shown as hex") << control << QStringLiteral("height is \"0\\x1A7\", not 3 digits");
}

void FormatTest::headerFault() {
    QFETCH(QByteArray, header);
    QFETCH(QString, fault);
    QCOMPARE(header.size(), 64);
    const auto found = testing::header_fault(zft::decode_header(header.toStdString()));
    QCOMPARE(found ? QString::fromStdString(*found) : QString(), fault);
}

void FormatTest::fileFault_data() {
    QTest::addColumn<QByteArray>("header");
    QTest::addColumn<qulonglong>("length");
    QTest::addColumn<QString>("fault");

    const QByteArray good = header_bytes("1A", "09032004", "", "065", "007");
    QTest::newRow("cut short") << good << 1428ull
                               << QStringLiteral("file is 1428 bytes; its header promises 1429 (cut short)");
    QTest::newRow("trailing bytes") << good << 1430ull
                                    << QStringLiteral("file is 1430 bytes; its header promises 1429 (trailing bytes)");
    QTest::newRow("header only") << good << 64ull
                                 << QStringLiteral("file is 64 bytes; its header promises 1429 (cut short)");
    QTest::newRow("shorter than header") << good.left(10) << 10ull
                                         << QStringLiteral("file is 10 bytes, shorter than the 64-byte header");
    QTest::newRow("empty") << QByteArray() << 0ull << QStringLiteral("file is 0 bytes, shorter than the 64-byte header");
    QTest::newRow("too short, whatever the header")
        << header_bytes("1A", "09032004", "", "abc", "007") << 5ull
        << QStringLiteral("file is 5 bytes, shorter than the 64-byte header");
    QTest::newRow("bad header, long enough")
        << header_bytes("1A", "09032004", "", "abc", "007") << 1429ull
        << QStringLiteral("width is \"abc\", not 3 digits");
}

void FormatTest::fileFault() {
    QFETCH(QByteArray, header);
    QFETCH(qulonglong, length);
    QFETCH(QString, fault);
    const auto found = testing::file_fault(std::string_view(header.constData(), header.size()), length);
    QCOMPARE(found ? QString::fromStdString(*found) : QString(), fault);
}

void FormatTest::cp1252RoundTripsEveryByte() {
    for (int byte = 0; byte < 256; ++byte) {
        const char32_t c = zft::from_cp1252(static_cast<unsigned char>(byte));
        const auto back = zft::to_cp1252(c);
        QVERIFY2(back.has_value(), qPrintable(QString::number(byte, 16)));
        QCOMPARE(int(*back), byte);
    }
    // A few that a plain Latin-1 mapping would get wrong.
    QCOMPARE(uint(zft::from_cp1252(0x80)), 0x20ACu);
    QCOMPARE(uint(zft::from_cp1252(0x99)), 0x2122u);
    QCOMPARE(uint(zft::from_cp1252(0x9F)), 0x178u);
    QCOMPARE(int(zft::to_cp1252(U'\u2019').value_or(0)), 0x92);
    QCOMPARE(int(zft::to_cp1252(U'\u00E9').value_or(0)), 0xE9);
}

void FormatTest::cp1252RefusesWhatItCannotRepresent() {
    // U+0080..U+009F other than the five undefined bytes have no place: their
    // bytes stand for other characters.
    for (char32_t c : {U'\u0080', U'\u0085', U'\u009F', U'\u0100', U'\u0301', U'\u4E2D', U'\uFFFD', U'\U0001F600'})
        QVERIFY2(!zft::to_cp1252(c).has_value(), qPrintable(QString::number(uint(c), 16)));
}

void FormatTest::readersKeepTheirPromises() {
    testing::RandomFiles random(testing::seed());
    for (int n = 0; n < 20000; ++n) {
        QByteArray file = random.file();
        if (n % 4 == 0)
            file = file.left(random.below(80));
        if (n % 7 == 0)  // digits a long way, as no size field has them
            file = QByteArray(random.below(40), ' ') + QByteArray(random.below(40), char('0' + random.below(10)));
        const auto broken = testing::broken_reader_property(file.toStdString());
        if (broken)
            QFAIL(qPrintable(QStringLiteral("%1 (file %2, seed %3)")
                                 .arg(QString::fromStdString(*broken), QString::fromLatin1(file.toHex()))
                                 .arg(testing::seed())));
    }
}

QTEST_APPLESS_MAIN(FormatTest)
#include "tst_format.moc"
