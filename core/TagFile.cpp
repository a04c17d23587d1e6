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
    return TrailerOf(tag);
}

namespace {

// Writes the trailer through `file`, opened for writing and described by `st`. `oldMode` is the
// mode before Morwick gave the owner-write bit, `last` the file's last 128 bytes when they are
// known to be current (else they are read).
void writeOpened(const QString& path, PosixFile& file, const struct stat& st, mode_t oldMode,
                 const FileTag& fileTag, const char* last) {
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
        if (last != nullptr) {
            old = QByteArray(last, kTagSize);
        } else {
            old.resize(kTagSize);
            file.readExactly(old.data(), kTagSize, size - kTagSize);
        }
        overwrite = std::memcmp(old.constData(), kTagMagic, kMagicWidth) == 0;
        if (!overwrite)
            old.clear();
    }
    // Announced before the first byte goes, with what it replaces: a write cut short is finished
    // at the next start, and the command can be taken back.
    struct stat before = st;
    before.st_mode = oldMode;
    const char* bytes = reinterpret_cast<const char*>(&tag);
    const uint32_t id =
        journal::AnnounceTrailer(file.identity(), before, EncodeFileName(path),
                                 overwrite ? size - kTagSize : size, old, QByteArray(bytes, kTagSize));
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
}

} // namespace

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
        // The bit is given through a descriptor of the very file, and only where writing through
        // the name is allowed (see PosixFile::open): a link of someone else's is not followed.
        PosixFile readable;
        struct stat status {};
        if (!readable.openRegular(path, O_RDONLY, status) || (status.st_mode & S_IWUSR) != 0 ||
            !MayWriteThrough(EncodeFileName(path), readable.fd()) ||
            ::fchmod(readable.fd(), (status.st_mode & 07777) | S_IWUSR) != 0 ||
            !file.openRegular(path, O_RDWR, st))
            return false;
        oldMode = status.st_mode;
    }
    writeOpened(path, file, st, oldMode, fileTag, nullptr);
    return true;
}

bool UpdateTag(const QString& path, const std::function<bool(FileTag&)>& edit) {
    PosixFile file;
    struct stat st {};
    if (!file.openRegular(path, O_RDWR, st)) {
        // Not writable as it is (or not there): the two steps, each as it always was.
        FileTag tag = ReadTag(path).value_or(FileTag{});
        edit(tag);
        return WriteTag(path, tag);
    }
    ID3Tag last{};
    FileTag tag;
    if (st.st_size >= kTagSize) {
        file.readExactly(&last, kTagSize, st.st_size - kTagSize);
        tag = TrailerOf(last);
    }
    if (edit(tag)) {
        // The user was asked meanwhile: the file may have changed since it was read.
        if (::fstat(file.fd(), &st) != 0)
            ThrowIoError(errno);
        writeOpened(path, file, st, st.st_mode, tag, nullptr);
    } else {
        writeOpened(path, file, st, st.st_mode, tag,
                    st.st_size >= kTagSize ? reinterpret_cast<const char*>(&last) : nullptr);
    }
    return true;
}
