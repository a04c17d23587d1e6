#include "core/TagValues.h"

#include "core/Id3v2Header.h"
#include "core/PosixFile.h"

#include <QByteArray>
#include <cerrno>
#include <fcntl.h>

Id3v2Texts Id3v1Texts(const ID3Tag& tag) {
    Id3v2Texts texts;
    texts.title = ReadTextField(tag.title);
    texts.artist = ReadTextField(tag.artist);
    texts.album = ReadTextField(tag.album);
    texts.year = ReadTextField(tag.year);
    texts.comment = ReadTextField(tag.comment);
    const int track = tag.zero != 0 ? 0 : tag.track;
    if (track != 0)
        texts.track = QString::number(track);
    texts.genre = GenreName(tag.genre);
    return texts;
}

namespace {

// Opens the file for a tag read: first not through a symbolic link, so that what its stat says is
// the entry's own, and without touching its access time, since reading a tag is not playing the
// file (and it spares a write of the inode per file). Each wish is dropped when the name is a link,
// or the file is someone else's and the access time may not be spared. Returns whether the entry
// itself was opened; nothing when the file cannot be opened as a regular file.
std::optional<bool> openForTags(PosixFile& file, const QString& path, struct stat& st) {
    int flags = O_RDONLY | O_NOFOLLOW | O_NOATIME;
    for (;;) {
        errno = 0;
        if (file.openRegular(path, flags, st))
            return (flags & O_NOFOLLOW) != 0;
        if (errno == ELOOP && (flags & O_NOFOLLOW) != 0)
            flags &= ~O_NOFOLLOW;
        else if (errno == EPERM && (flags & O_NOATIME) != 0)
            flags &= ~O_NOATIME;
        else
            return std::nullopt;
    }
}

} // namespace

std::optional<TagValues> ReadTagValues(const QString& path, bool useId3v2) {
    PosixFile file;
    struct stat st {};
    const std::optional<bool> ownEntry = openForTags(file, path, st);
    if (!ownEntry)
        return std::nullopt;
    const int64_t size = st.st_size;
    TagValues values;
    if (*ownEntry)
        values.entry = EntrySnapshot{{uint64_t(st.st_dev), uint64_t(st.st_ino), file.birthNs()}, st};
    if (useId3v2 && size >= kId3v2HeaderSize) {
        QByteArray head(kId3v2HeaderSize, '\0');
        file.readExactly(head.data(), kId3v2HeaderSize, 0);
        if (const int64_t tagSize = std::min(Id3v2TagSize(head), size); tagSize > 0) {
            QByteArray tag(tagSize, '\0');
            file.readExactly(tag.data(), tagSize, 0);
            const std::optional<Id3v2Parsed> parsed = ParseId3v2Tag(tag);
            if (parsed && parsed->texts != Id3v2Texts{}) {
                values.source = TagSource::Id3v2;
                values.texts = parsed->texts;
            }
        }
    }
    if (size >= kTagSize) {
        ID3Tag last;
        file.readExactly(&last, kTagSize, size - kTagSize);
        values.id3v1 = TrailerOf(last);
    }
    file.close();
    if (values.source == TagSource::Id3v1 && values.id3v1.present)
        values.texts = Id3v1Texts(values.id3v1.tag);
    return values;
}

int TrackTextNumber(const QString& track) {
    const QString text = track.trimmed();
    qsizetype digits = 0;
    while (digits < text.size() && text[digits] >= QLatin1Char('0') && text[digits] <= QLatin1Char('9'))
        ++digits;
    bool ok = false;
    const int number = text.left(digits).toInt(&ok);
    return ok ? number : 0;
}
