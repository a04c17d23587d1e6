#include "core/Id3v2Tag.h"

#include "core/Id3v2Header.h"

#include "core/Id3Tag.h"

#include <taglib/commentsframe.h>
#include <taglib/id3v1genres.h>
#include <taglib/id3v2extendedheader.h>
#include <taglib/id3v2frame.h>
#include <taglib/id3v2framefactory.h>
#include <taglib/id3v2header.h>
#include <taglib/id3v2synchdata.h>
#include <taglib/id3v2tag.h>
#include <taglib/textidentificationframe.h>

#include <QStringList>
#include <array>
#include <memory>
#include <vector>

namespace {

using TagLib::ByteVector;
namespace Id3 = TagLib::ID3v2;

constexpr uint8_t kFooterFlag = 0x10;
constexpr uint8_t kUnsyncFlag = 0x80;
constexpr int kFooterSize = 10;
constexpr int64_t kMaxBodySize = (int64_t(1) << 28) - 1; // 28 bits, synchsafe

QString fromTagLib(const TagLib::String& s) {
    return QString::fromStdString(s.to8Bit(true));
}

TagLib::String toTagLib(const QString& s) {
    return TagLib::String(s.toStdString(), TagLib::String::UTF8);
}

ByteVector byteVector(QByteArrayView bytes) {
    return ByteVector(bytes.data(), unsigned(bytes.size()));
}

// One frame as it stands in the tag: its bytes (after any whole-tag unsynchronisation of an
// ID3v2.3 tag is undone) and TagLib's reading of them.
struct FrameSpan {
    ByteVector bytes;
    std::unique_ptr<Id3::Frame> frame;
};

// The frames of a tag in their order, read the way TagLib's own tag reader walks them. The
// walk is kept (rather than only TagLib's parsed tag) for each frame's original bytes, which
// are written back unchanged.
struct Walk {
    int version = 0;
    int64_t size = 0;
    int64_t padding = 0;
    bool unsync = false;
    std::vector<FrameSpan> spans;
};

std::optional<Walk> walk(QByteArrayView tag) {
    const int64_t size = Id3v2TagSize(tag);
    if (size == 0)
        return std::nullopt;
    Walk w;
    w.size = size;
    const Id3::Header header(byteVector(tag.first(kId3v2HeaderSize)));
    w.version = int(header.majorVersion());
    w.unsync = header.unsynchronisation();
    const int64_t bodyEnd = std::min<int64_t>(tag.size(), kId3v2HeaderSize + int64_t(header.tagSize()));
    ByteVector body = byteVector(tag.sliced(kId3v2HeaderSize, bodyEnd - kId3v2HeaderSize));
    if (w.unsync && w.version <= 3)
        body = Id3::SynchData::decode(body);

    // TagLib 1.13 reads an ID3v2.3 extended header's size as 2.4's (synchsafe, counting itself)
    // and so finds no frames after one; in 2.3 it is a plain number that leaves out its own 4 bytes.
    unsigned pos = 0;
    if (header.extendedHeader() && body.size() >= 4) {
        uint64_t extendedSize = 0;
        if (w.version == 3) {
            extendedSize = 4 + body.toUInt(0U, true);
        } else {
            Id3::ExtendedHeader extended;
            extended.setData(body);
            extendedSize = extended.size();
        }
        if (extendedSize <= body.size())
            pos = unsigned(extendedSize);
    }
    const unsigned frameHeaderSize = Id3::Frame::headerSize(unsigned(w.version));
    const Id3::FrameFactory* factory = Id3::FrameFactory::instance();
    while (pos + frameHeaderSize < body.size() && body.at(pos) != 0) {
        Id3::Frame* frame = factory->createFrame(body.mid(pos), &header);
        if (!frame)
            break;
        const unsigned length = frameHeaderSize + frame->size();
        if (frame->size() == 0 || length > body.size() - pos) {
            delete frame;
            break;
        }
        w.spans.push_back({body.mid(pos, length), std::unique_ptr<Id3::Frame>(frame)});
        pos += length;
    }
    // Counted in the body as read (after unsynchronisation is undone), plus the footer.
    w.padding = int64_t(body.size()) - pos + (size - kId3v2HeaderSize - int64_t(header.tagSize()));
    return w;
}

// A comment language that names no language: "XXX", zeros, blanks and the like, which many
// taggers write. Morwick's own comment replaces those as it replaces an "eng" one.
bool isUnnamedLanguage(const ByteVector& language) {
    if (language.size() != 3)
        return true;
    for (char c : language) {
        if (c < 'a' || c > 'z')
            return true;
    }
    return false;
}

// A comment that is "the" comment of the tag, as Morwick reads and writes it.
bool isMainComment(const Id3::Frame* frame) {
    auto* comment = dynamic_cast<const Id3::CommentsFrame*>(frame);
    return comment && comment->description().isEmpty() &&
           (comment->language() == "eng" || isUnnamedLanguage(comment->language()));
}

// The first frame called `id`, as TagLib reads a field.
const Id3::Frame* firstFrame(const Walk& w, const char* id) {
    for (const FrameSpan& span : w.spans) {
        if (span.frame->frameID() == id)
            return span.frame.get();
    }
    return nullptr;
}

QString textOf(const Walk& w, const char* id) {
    const Id3::Frame* frame = firstFrame(w, id);
    return frame ? fromTagLib(frame->toString()) : QString();
}

// The genre names of the first TCON frame, joined by blanks as TagLib joins them; an ID3v1
// genre number is named as the genre list names it.
QString genreOf(const Walk& w) {
    auto* frame = dynamic_cast<const Id3::TextIdentificationFrame*>(firstFrame(w, "TCON"));
    if (!frame)
        return {};
    QStringList genres;
    for (const TagLib::String& field : frame->fieldList()) {
        QString genre = fromTagLib(field);
        bool number = false;
        const int index = genre.toInt(&number);
        if (number && index >= 0 && index <= 255) {
            genre = GenreName(index);
            if (genre.isEmpty())
                genre = fromTagLib(TagLib::ID3v1::genre(index));
        }
        if (!genre.isEmpty() && !genres.contains(genre))
            genres.append(genre);
    }
    return genres.join(QLatin1Char(' '));
}

Id3v2Texts textsOf(const Walk& w) {
    Id3v2Texts texts;
    texts.title = textOf(w, "TIT2");
    texts.artist = textOf(w, "TPE1");
    texts.album = textOf(w, "TALB");
    texts.year = textOf(w, "TDRC");
    texts.track = textOf(w, "TRCK");
    texts.genre = genreOf(w);
    // The comment Morwick writes, else any other without a description; one with a description
    // (iTunNORM and the like) is no user's comment.
    const Id3::Frame* comment = nullptr;
    for (const FrameSpan& span : w.spans) {
        auto* frame = dynamic_cast<const Id3::CommentsFrame*>(span.frame.get());
        if (frame && frame->description().isEmpty() && (!comment || isMainComment(frame))) {
            comment = frame;
            if (isMainComment(frame))
                break;
        }
    }
    if (comment)
        texts.comment = fromTagLib(comment->toString());
    return texts;
}

// The fields Morwick writes, in the order new frames are added.
enum Field { Title, Artist, Album, Year, Comment, Track, Genre, FieldCount };

bool marked(const Id3FieldMask& mask, int field) {
    const std::array<bool, FieldCount> marks{mask.title,   mask.artist, mask.album, mask.year,
                                             mask.comment, mask.track,  mask.genre};
    return marks[field];
}

const QString& textFor(const Id3v2Texts& texts, int field) {
    const std::array<const QString*, FieldCount> all{&texts.title,   &texts.artist, &texts.album, &texts.year,
                                                     &texts.comment, &texts.track,  &texts.genre};
    return *all[field];
}

// The field a frame of the old tag holds, as TagLib names it (an ID3v2.3 TYER reads as TDRC),
// or -1 for a frame Morwick does not write.
int fieldOf(const Id3::Frame* frame) {
    static const std::array<const char*, FieldCount> ids{"TIT2", "TPE1", "TALB", "TDRC", "", "TRCK", "TCON"};
    if (isMainComment(frame))
        return Comment;
    const ByteVector id = frame->frameID();
    for (int f = 0; f < FieldCount; ++f) {
        if (f != Comment && id == ids[f])
            return f;
    }
    return -1;
}

// A TagLib frame rendered for a given tag version: only a subclass reaches a frame's header.
template <class Frame> class VersionedFrame : public Frame {
public:
    template <class... Args> explicit VersionedFrame(int version, const Args&... args) : Frame(args...) {
        this->header()->setVersion(unsigned(version));
    }
};

// The new frame for `field`, rendered for `version`. Text goes in UTF-8 in ID3v2.4 (it never
// holds a 0xFF byte, so it reads the same under a tag's unsynchronisation flag); TagLib writes
// it in Latin-1 when it can and else in UTF-16 in ID3v2.3.
ByteVector renderField(int field, const QString& text, int version) {
    const TagLib::String value = toTagLib(text);
    const TagLib::String::Type encoding = version >= 4 ? TagLib::String::UTF8 : TagLib::String::Latin1;
    if (field == Comment) {
        VersionedFrame<Id3::CommentsFrame> comment(version, encoding);
        comment.setLanguage("eng");
        comment.setText(value);
        return comment.render();
    }
    static const std::array<const char*, FieldCount> ids{"TIT2", "TPE1", "TALB", "", "", "TRCK", "TCON"};
    const char* id = field == Year ? (version >= 4 ? "TDRC" : "TYER") : ids[field];
    VersionedFrame<Id3::TextIdentificationFrame> frame(version, ByteVector(id), encoding);
    frame.setText(value);
    return frame.render();
}

// An ID3v2.2 tag's frames as TagLib converts them to ID3v2.4 (frames without a 2.4 equivalent
// dropped), walked again as a 2.4 tag: from here on they are handled as a 2.4 tag's frames, so
// the fields are replaced by what the converted frames mean.
Walk convertedTo24(Walk& old) {
    Id3::Tag converted;
    for (FrameSpan& span : old.spans)
        converted.addFrame(span.frame.release());
    old.spans.clear();
    const ByteVector bytes = converted.render(Id3::v4);
    std::optional<Walk> w = walk(QByteArrayView(bytes.data(), bytes.size()));
    if (!w) {
        w.emplace();
        w->version = 4;
    }
    return std::move(*w);
}

QByteArray synchsafe(int64_t value) {
    QByteArray bytes(4, '\0');
    for (int i = 3; i >= 0; --i, value >>= 7)
        bytes[i] = char(value & 0x7F);
    return bytes;
}

} // namespace

int64_t Id3v2TagSize(QByteArrayView header) {
    if (header.size() < kId3v2HeaderSize)
        return 0;
    const auto* h = reinterpret_cast<const uint8_t*>(header.data());
    if (!IsWellFormedId3v2Header(h))
        return 0;
    const int64_t body = (int64_t(h[6]) << 21) | (int64_t(h[7]) << 14) | (int64_t(h[8]) << 7) | h[9];
    return kId3v2HeaderSize + body + ((h[5] & kFooterFlag) ? kFooterSize : 0);
}

std::optional<Id3v2Parsed> ParseId3v2Tag(QByteArrayView tag) {
    const std::optional<Walk> w = walk(tag);
    if (!w)
        return std::nullopt;
    return Id3v2Parsed{w->version, w->size, w->padding, int(w->spans.size()), textsOf(*w)};
}

std::optional<Id3v2Rendered> RenderId3v2Tag(QByteArrayView oldTag, const Id3v2Texts& texts,
                                            const Id3FieldMask& mask) {
    std::optional<Walk> old = walk(oldTag);
    // The old tag's body as room for the new one, when the whole tag was given.
    const int64_t oldBody = old && oldTag.size() >= old->size ? old->size - kId3v2HeaderSize : -1;
    if (old && old->version == 2)
        old = convertedTo24(*old);
    const int version = old && old->version == 3 ? 3 : 4;
    const auto writes = [&](int field) { return marked(mask, field) && !textFor(texts, field).isEmpty(); };

    std::array<std::optional<ByteVector>, FieldCount> newFrames;
    for (int field = 0; field < FieldCount; ++field) {
        if (writes(field))
            newFrames[field] = renderField(field, textFor(texts, field), version);
    }

    // The old frames as they were, each marked field's new frame where its first old frame
    // stood (its other old frames dropped), the rest after them.
    QByteArray frames;
    std::array<bool, FieldCount> placed{};
    const auto place = [&](int field) {
        if (!placed[field] && newFrames[field])
            frames.append(newFrames[field]->data(), newFrames[field]->size());
        placed[field] = true;
    };
    if (old) {
        for (const FrameSpan& span : old->spans) {
            const int field = fieldOf(span.frame.get());
            if (field >= 0 && marked(mask, field))
                place(field);
            else
                frames.append(span.bytes.data(), span.bytes.size());
        }
    }
    for (int field = 0; field < FieldCount; ++field)
        place(field);

    const bool fits = oldBody >= 0 && frames.size() <= oldBody;
    const int64_t body = fits ? oldBody : frames.size() + kId3v2Padding;
    if (body > kMaxBodySize)
        return std::nullopt;

    Id3v2Rendered rendered;
    rendered.version = version;
    rendered.fitsInPlace = fits;
    const uint8_t flags = old && old->version == 4 && old->unsync ? kUnsyncFlag : 0;
    rendered.tag.reserve(kId3v2HeaderSize + body);
    rendered.tag.append("ID3", 3);
    rendered.tag.append(char(version));
    rendered.tag.append('\0');
    rendered.tag.append(char(flags));
    rendered.tag.append(synchsafe(body));
    rendered.tag.append(frames);
    rendered.tag.append(QByteArray(body - frames.size(), '\0'));
    return rendered;
}
