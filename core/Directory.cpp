#include "core/Directory.h"

#include "core/FileName.h"
#include "core/IoError.h"
#include "core/JournalHooks.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool hasMp3Extension(const char* name, size_t length) {
    return length >= 4 && name[length - 4] == '.' && (name[length - 3] | 0x20) == 'm' &&
           (name[length - 2] | 0x20) == 'p' && name[length - 1] == '3';
}

} // namespace

QStringList ListDirectory(const QString& dir, EntryKind kind) {
    const QByteArray path = EncodeFileName(dir);
    std::unique_ptr<DIR, int (*)(DIR*)> handle(::opendir(path.constData()), ::closedir);
    if (!handle)
        ThrowIoError(errno);
    const unsigned char wanted = kind == EntryKind::Folder ? DT_DIR : DT_REG;
    QStringList names;
    while (const dirent* entry = ::readdir(handle.get())) {
        const char* name = entry->d_name;
        const size_t length = std::strlen(name);
        if (name[0] == '.' || (kind == EntryKind::Mp3File && !hasMp3Extension(name, length)))
            continue;
        if (entry->d_type != wanted) {
            // Only a link or a file system that does not say needs a look at what stands there.
            if (entry->d_type != DT_UNKNOWN && entry->d_type != DT_LNK)
                continue;
            struct stat st {};
            const QByteArray full = path + '/' + QByteArray(name, qsizetype(length));
            if (::stat(full.constData(), &st) != 0 ||
                !(kind == EntryKind::Folder ? S_ISDIR(st.st_mode) : S_ISREG(st.st_mode)))
                continue;
        }
        names.append(DecodeFileName(QByteArray(name, qsizetype(length))));
    }
    std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
        const int c = QString::compare(a, b, Qt::CaseInsensitive);
        return c != 0 ? c < 0 : a < b;
    });
    return names;
}

QString WorkingDirectory() {
    QByteArray buffer(4096, Qt::Uninitialized);
    while (::getcwd(buffer.data(), size_t(buffer.size())) == nullptr) {
        if (errno != ERANGE)
            return {};
        buffer.resize(buffer.size() * 2);
    }
    return DecodeFileName(QByteArray(buffer.constData()));
}

void EnterDirectory(const QString& dir) {
    if (::chdir(EncodeFileName(dir).constData()) != 0)
        ThrowIoError(errno);
    journal::WorkingDirectoryChanged();
}
