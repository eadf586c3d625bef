#include <QList>
#include <QString>
#include <QTextBoundaryFinder>
#include <optional>

#include "core/header_text.h"
#include "format/cp1252.h"

namespace core {

std::string notice_bytes(const QString& notice) {
    const QString text = notice.normalized(QString::NormalizationForm_C);
    std::string bytes;
    QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, text);
    qsizetype start = 0;
    for (qsizetype end = graphemes.toNextBoundary(); end != -1; end = graphemes.toNextBoundary()) {
        const auto codePoints = text.mid(start, end - start).toUcs4();  // QList in Qt 6, QVector in Qt 5
        std::optional<unsigned char> byte;
        if (codePoints.size() == 1)
            byte = zft::to_cp1252(codePoints.front());
        bytes += static_cast<char>(byte.value_or('?'));
        start = end;
    }
    return bytes;
}

QString header_text(const std::string& bytes) {
    QString text;
    text.reserve(static_cast<qsizetype>(bytes.size()));
    for (unsigned char byte : bytes) {
        const char32_t c = zft::from_cp1252(byte);
        text += QString::fromUcs4(&c, 1);
    }
    return text;
}

QStringList header_summary_lines(const zft::ZftHeader& header) {
    QStringList lines;
    for (const std::string& line : zft::header_summary(header))
        lines << header_text(line);
    return lines;
}

}  // namespace core
