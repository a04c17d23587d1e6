#include "core/Id3v2Write.h"

#include "core/FileName.h"
#include "core/IoError.h"
#include "core/JournalHooks.h"
#include "core/PosixFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>

namespace {

constexpr int64_t kHeaderBytes = 10;

// Opens the file for writing. Without its owner-write bit only root may: as WriteTag does, the
// file gets the bit (on the descriptor when root opened it anyway); `oldMode` is the mode before.
bool openForWriting(const QString& path, PosixFile& file, struct stat& st, mode_t& oldMode) {
    if (file.openRegular(path, O_RDWR | O_NONBLOCK, st)) {
        oldMode = st.st_mode;
        // Described again after the bit is given: a held rewrite checks the file is as described.
        if ((st.st_mode & S_IWUSR) == 0 &&
            (::fchmod(file.fd(), (st.st_mode & 07777) | S_IWUSR) != 0 || ::fstat(file.fd(), &st) != 0))
            return false;
        return true;
    }
    if (errno != EACCES)
        return false;
    const FileStatus status = StatFile(path);
    if (!status.regular || (status.mode & S_IWUSR) != 0 ||
        ::chmod(EncodeFileName(path).constData(), (status.mode & 07777) | S_IWUSR) != 0 ||
        !file.openRegular(path, O_RDWR | O_NONBLOCK, st))
        return false;
    oldMode = status.mode;
    return true;
}

// The change to one file: its ID3v2 tag (when `texts` is given) and, when `trailer` is given, its
// ID3v1 trailer, as one change that a kill leaves old or new as a whole.
Id3v2Outcome writeTags(ChangeGroup& group, const QString& path, const ID3Tag* trailer,
                       const Id3v2Texts& texts, const Id3FieldMask& mask) {
    PosixFile file;
    struct stat st {};
    mode_t oldMode = 0;
    if (trailer != nullptr) {
        if (!openForWriting(path, file, st, oldMode))
            return Id3v2Outcome::Untouched;
    } else {
        if (!file.openRegular(path, O_RDWR | O_NONBLOCK, st) || (st.st_mode & S_IWUSR) == 0)
            return Id3v2Outcome::Untouched;
        oldMode = st.st_mode;
    }
    // A change held for this very file (through another name) is made first; then the file is
    // read as it has become.
    if (group.holds(st)) {
        file.close();
        group.finish();
        return writeTags(group, path, trailer, texts, mask);
    }
    const int64_t size = st.st_size;

    // The trailer: over the old one, else appended.
    QByteArray oldTrailer;
    QByteArray newTrailer;
    if (trailer != nullptr) {
        ID3Tag tag = *trailer;
        tag.zero = 0;
        newTrailer = QByteArray(reinterpret_cast<const char*>(&tag), kTagSize);
        if (size >= kTagSize) {
            oldTrailer.resize(kTagSize);
            file.readExactly(oldTrailer.data(), kTagSize, size - kTagSize);
            if (std::memcmp(oldTrailer.constData(), kTagMagic, kMagicWidth) != 0)
                oldTrailer.clear();
        }
    }
    const int64_t trailerAt = size - oldTrailer.size();

    // The head: a tag that claims more bytes than the file holds (or than stand before the
    // trailer) is left alone, since where its frames end cannot be told.
    int64_t oldSize = 0;
    if (size >= kHeaderBytes) {
        char header[kHeaderBytes];
        file.readExactly(header, kHeaderBytes, 0);
        oldSize = Id3v2TagSize(QByteArrayView(header, kHeaderBytes));
    }
    QByteArray old;
    std::optional<Id3v2Rendered> rendered;
    if (oldSize <= trailerAt) {
        old.resize(qsizetype(oldSize));
        if (oldSize > 0)
            file.readExactly(old.data(), oldSize, 0);
        rendered = RenderId3v2Tag(old, texts, mask);
        if (rendered && rendered->tag == old)
            rendered.reset(); // nothing to change in it
    }
    if (!rendered) {
        old.clear();
        if (trailer == nullptr)
            return Id3v2Outcome::Untouched;
    }

    const QByteArray name = EncodeFileName(path);
    const journal::ChangeScope scope;
    struct stat before = st;
    before.st_mode = oldMode;
    if (!rendered || rendered->fitsInPlace) {
        const QByteArray tag = rendered ? rendered->tag : QByteArray();
        // Announced with what it replaces before the first byte goes: a write cut short is
        // finished at the next start, and the command can be taken back.
        const uint32_t id =
            journal::AnnounceHead(file.identity(), before, name, old, tag, trailerAt, oldTrailer, newTrailer);
        file.writeAll(tag.constData(), tag.size(), 0);
        if (!newTrailer.isEmpty()) {
            try {
                file.writeAll(newTrailer.constData(), kTagSize, trailerAt);
            } catch (const CommandError&) {
                // Never leave a torn trailer appended: give the file back its length.
                if (oldTrailer.isEmpty()) [[maybe_unused]]
                    const int rc = ::ftruncate(file.fd(), off_t(size));
                throw;
            }
        }
        journal::Touched(st.st_dev, file.fd());
        journal::Done(id, file.fd());
        file.close();
        return Id3v2Outcome::InPlace;
    }
    // The file is rewritten: the new tag, the audio, the new trailer.
    const QByteArray& tag = rendered->tag;
    const uint32_t id = journal::AnnounceRemoval(file.identity(), before, name, journal::ContentPath(name),
                                                 old, oldTrailer, tag.size() + newTrailer.size(), tag.size());
    const int in = file.fd();
    const int64_t audio = trailerAt - oldSize;
    group.rewrite(path, std::move(file), st, id, [&](int out) {
        WriteAllAt(out, tag.constData(), tag.size(), 0);
        CopyRange(in, oldSize, out, tag.size(), audio);
        WriteAllAt(out, newTrailer.constData(), newTrailer.size(), tag.size() + audio);
        return int64_t(tag.size()) + audio + newTrailer.size();
    });
    return Id3v2Outcome::Rewritten;
}

} // namespace

std::optional<Id3v2Parsed> ReadId3v2Tag(const QString& path) {
    PosixFile file;
    struct stat st {};
    if (!file.openRegular(path, O_RDONLY | O_NONBLOCK, st) || st.st_size < kHeaderBytes)
        return std::nullopt;
    char header[kHeaderBytes];
    file.readExactly(header, kHeaderBytes, 0);
    // A tag that claims more than the file holds is read as far as the file goes.
    const int64_t size = std::min<int64_t>(Id3v2TagSize(QByteArrayView(header, kHeaderBytes)), st.st_size);
    if (size == 0)
        return std::nullopt;
    QByteArray tag(qsizetype(size), Qt::Uninitialized);
    file.readExactly(tag.data(), size, 0);
    return ParseId3v2Tag(tag);
}

Id3v2Outcome WriteId3v2Tag(ChangeGroup& group, const QString& path, const Id3v2Texts& texts,
                           const Id3FieldMask& mask) {
    return writeTags(group, path, nullptr, texts, mask);
}

bool WriteId3v2Tag(const QString& path, const Id3v2Texts& texts, const Id3FieldMask& mask, RewriteMode mode) {
    const journal::ChangeScope scope; // the change ends within it
    ChangeGroup group(mode);
    const Id3v2Outcome outcome = writeTags(group, path, nullptr, texts, mask);
    group.finish();
    return outcome != Id3v2Outcome::Untouched && group.leftAlone() == 0;
}

Id3v2Outcome WriteBothTags(ChangeGroup& group, const QString& path, const ID3Tag& trailer,
                           const Id3v2Texts& texts, const Id3FieldMask& mask) {
    return writeTags(group, path, &trailer, texts, mask);
}

bool WriteBothTags(const QString& path, const ID3Tag& trailer, const Id3v2Texts& texts,
                   const Id3FieldMask& mask, RewriteMode mode) {
    const journal::ChangeScope scope;
    ChangeGroup group(mode);
    const Id3v2Outcome outcome = writeTags(group, path, &trailer, texts, mask);
    group.finish();
    return outcome != Id3v2Outcome::Untouched;
}
