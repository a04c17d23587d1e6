#include "core/IoError.h"

#include <cerrno>

QString IoErrorMessage(int err) {
    switch (err) {
    case ENOENT:
    case ENOTDIR:
        return QString::fromLatin1(kFileNotFound);
    case EACCES:
    case EPERM:
    case EROFS:
        return QString::fromLatin1(kAccessDenied);
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return QString::fromLatin1(kDiskFull);
    default:
        return QStringLiteral("I/O error %1").arg(err);
    }
}

void ThrowIoError(int err) {
    throw CommandError(IoErrorMessage(err));
}

void ThrowError(const QString& message) {
    throw CommandError(message);
}

QString ErrorSentence(const QString& message) {
    if (!message.isEmpty() && message.back() > QLatin1Char('.'))
        return message + QLatin1Char('.');
    return message;
}
