// Header text between the user's characters and the file's bytes: one
// Windows-1252 byte a character.
#pragma once

#include <QString>
#include <QStringList>
#include <string>

#include "format/zft_format.h"

namespace core {

// The notice as the file stores it, one byte per character as the user sees
// it (a letter with its accents is one); a character the set cannot represent
// becomes "?". Not yet trimmed, cut or padded.
std::string notice_bytes(const QString& notice);

// Header bytes as the user reads them.
QString header_text(const std::string& bytes);

// The header's three summary lines (zft::header_summary) as the user reads them.
QStringList header_summary_lines(const zft::ZftHeader& header);

}  // namespace core
