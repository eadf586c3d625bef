#include "core/failure.h"

#include <QDir>
#include <QFileInfo>
#include <system_error>

#include "core/file_kind.h"

namespace core {

Failure cannot(const QString& action, const QString& path, const QString& reason) {
    // One pass of arg(): a "%2" in the path must stay text.
    return Failure(QStringLiteral("Cannot %1 %2: %3").arg(action, QDir::toNativeSeparators(path), reason));
}

QString system_reason(int error) { return QString::fromStdString(std::generic_category().message(error)); }

QString not_a_file_reason(const QString& path) {
    const QFileInfo info(path);
    if (!info.exists())
        return QString();
    if (info.isDir())
        return QStringLiteral("it is a folder");
    if (!info.isFile())
        return QStringLiteral("it is not a regular file (a device or a pipe)");
    return QString();
}

}  // namespace core
