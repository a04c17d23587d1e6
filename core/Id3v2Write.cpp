#include "core/Id3v2Write.h"

#include "core/FileName.h"
#include "core/JournalHooks.h"
#include "core/PosixFile.h"

#include <algorithm>
#include <fcntl.h>
#include <sys/stat.h>

namespace {

constexpr int64_t kHeaderBytes = 10;

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
    PosixFile file;
    struct stat st {};
    // Non-blocking so that a pipe of that name cannot hang the command.
    if (!file.openRegular(path, O_RDWR | O_NONBLOCK, st) || (st.st_mode & S_IWUSR) == 0)
        return Id3v2Outcome::Untouched;
    // A change held for this very file (through another name) is made first; then the file is
    // read as it has become.
    if (group.holds(st)) {
        file.close();
        group.finish();
        return WriteId3v2Tag(group, path, texts, mask);
    }
    const int64_t size = st.st_size;
    int64_t oldSize = 0;
    if (size >= kHeaderBytes) {
        char header[kHeaderBytes];
        file.readExactly(header, kHeaderBytes, 0);
        oldSize = Id3v2TagSize(QByteArrayView(header, kHeaderBytes));
    }
    if (oldSize > size)
        return Id3v2Outcome::Untouched;
    QByteArray old(qsizetype(oldSize), Qt::Uninitialized);
    if (oldSize > 0)
        file.readExactly(old.data(), oldSize, 0);
    const std::optional<Id3v2Rendered> rendered = RenderId3v2Tag(old, texts, mask);
    if (!rendered || rendered->tag == old)
        return Id3v2Outcome::Untouched;

    const QByteArray& tag = rendered->tag;
    const QByteArray name = EncodeFileName(path);
    const journal::ChangeScope scope;
    if (rendered->fitsInPlace) {
        // Announced with what it replaces before the first byte goes: a write cut short is
        // finished at the next start, and the command can be taken back.
        const uint32_t id = journal::AnnounceHead(file.identity(), st, name, old, tag);
        file.writeAll(tag.constData(), tag.size(), 0);
        journal::Touched(st.st_dev, file.fd());
        journal::Done(id, file.fd());
        file.close();
        return Id3v2Outcome::InPlace;
    }
    const uint32_t id =
        journal::AnnounceRemoval(file.identity(), st, name, journal::ContentPath(name), old, {}, tag.size());
    const int in = file.fd();
    const int64_t audio = size - oldSize;
    group.rewrite(path, std::move(file), st, id, [&](int out) {
        WriteAllAt(out, tag.constData(), tag.size(), 0);
        CopyRange(in, oldSize, out, tag.size(), audio);
        return int64_t(tag.size()) + audio;
    });
    return Id3v2Outcome::Rewritten;
}

bool WriteId3v2Tag(const QString& path, const Id3v2Texts& texts, const Id3FieldMask& mask, RewriteMode mode) {
    const journal::ChangeScope scope; // the change ends within it
    ChangeGroup group(mode);
    const Id3v2Outcome outcome = WriteId3v2Tag(group, path, texts, mask);
    group.finish();
    return outcome != Id3v2Outcome::Untouched && group.leftAlone() == 0;
}
