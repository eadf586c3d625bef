// What kind of thing a path names, in the words a message to the user needs.
#pragma once

#include <QFileInfo>
#include <QString>

namespace platform {

// Why `path` cannot be read or written as a file, or an empty text when it
// can be tried. A folder cannot; nor can a pipe or a device: opening one to
// read can wait for ever, and replacing one by a finished file (the way files
// are written here) would destroy it.
inline QString notAFileReason(const QString& path) {
    const QFileInfo info(path);
    if (!info.exists())
        return QString();
    if (info.isDir())
        return QStringLiteral("it is a folder");
    if (!info.isFile())
        return QStringLiteral("it is not a regular file (a device or a pipe)");
    return QString();
}

}  // namespace platform
