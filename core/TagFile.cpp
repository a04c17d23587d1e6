#include "core/TagFile.h"

#include "core/FileName.h"
#include "core/Id3Tag.h"
#include "core/IoError.h"
#include "core/JournalHooks.h"
#include "core/PosixFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

std::optional<FileTag> ReadTag(const QString& path) {
    PosixFile file;
    struct stat st {};
    if (!file.openRegular(path, O_RDONLY, st)) // missing, or a directory or other non-file
        return std::nullopt;
    const int64_t size = st.st_size;
    if (size < kTagSize) { // too short to hold a trailer
        file.close();
        return FileTag{};
    }
    ID3Tag tag;
    file.readExactly(&tag, kTagSize, size - kTagSize);
    file.close();
    if (tag.zero != 0)
        tag.track = 0;
    if (!IsTagTrailer(tag))
        return FileTag{};
    return FileTag{tag, true};
}

bool WriteTag(const QString& path, const FileTag& fileTag) {
    PosixFile file;
    struct stat st {};
    mode_t oldMode = 0;
    if (file.openRegular(path, O_RDWR, st)) {
        oldMode = st.st_mode;
    } else {
        // Without its owner-write bit only root may open the file for writing: give the bit
        // and try once more. Anything else (missing, a directory) is left alone.
        if (errno != EACCES)
            return false;
        const FileStatus status = StatFile(path);
        if (!status.regular || (status.mode & S_IWUSR) != 0 ||
            ::chmod(EncodeFileName(path).constData(), (status.mode & 07777) | S_IWUSR) != 0 ||
            !file.openRegular(path, O_RDWR, st))
            return false;
        oldMode = status.mode;
    }
    const journal::ChangeScope scope;
    ID3Tag tag = fileTag.tag;
    tag.zero = 0;
    if ((st.st_mode & S_IWUSR) == 0) // opened anyway (root): the file still gets the bit
        ::fchmod(file.fd(), (st.st_mode & 07777) | S_IWUSR);
    const int64_t size = st.st_size;
    bool overwrite = false;
    QByteArray old;
    if (fileTag.present) {
        if (size < kTagSize)
            ThrowError(QString::fromLatin1(kReadBeyondEnd)); // shrank since ReadTag
        // The trailer ReadTag saw may be gone by now (another program removed the tag, or
        // added bytes after it); writing over what stands there instead would destroy it.
        old.resize(kTagSize);
        file.readExactly(old.data(), kTagSize, size - kTagSize);
        overwrite = std::memcmp(old.constData(), kTagMagic, kMagicWidth) == 0;
        if (!overwrite)
            old.clear();
    }
    // Announced before the first byte goes, with what it replaces: a write cut short is finished
    // at the next start, and the command can be taken back.
    struct stat before = st;
    before.st_mode = oldMode;
    const char* bytes = reinterpret_cast<const char*>(&tag);
    const uint32_t id = journal::AnnounceTrailer(
        before, EncodeFileName(path), overwrite ? size - kTagSize : size, old, QByteArray(bytes, kTagSize));
    if (overwrite) {
        file.writeAll(&tag, kTagSize, size - kTagSize);
    } else {
        try {
            file.writeAll(&tag, kTagSize, size);
        } catch (const CommandError&) {
            // Never leave a torn tag behind: give the file back its old length.
            [[maybe_unused]] const int rc = ::ftruncate(file.fd(), off_t(size));
            throw;
        }
    }
    journal::Touched(st.st_dev, file.fd());
    journal::Done(id, file.fd(), bytes);
    file.close();
    return true;
}
