// Between Qt's text and the core's: file names as the system spells them,
// messages and notices in UTF-8.
#pragma once

#include <QFile>
#include <QString>
#include <string>

namespace platform {

inline std::string file_name(const QString& path) { return QFile::encodeName(path).toStdString(); }

inline std::string utf8(const QString& text) { return text.toStdString(); }

inline QString text_of(const std::string& utf8) { return QString::fromStdString(utf8); }

}  // namespace platform
