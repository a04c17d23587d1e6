#include "bench/BenchData.h"

#include "naming/Formats.h"
#include "naming/TrimFilename.h"

#include <QDir>
#include <QFile>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdio.h>

Audio loadAudio() {
    const QString dir = qEnvironmentVariable("MORWICK_FIXTURES");
    Audio a;
    a.small = readWhole(dir + QStringLiteral("/short-under-10k.mp3"));
    a.body = readWhole(dir + QStringLiteral("/cbr128-stereo-44k-noinfo.mp3"));
    const QByteArray tagged = readWhole(dir + QStringLiteral("/peer-id3v2-and-id3v1.mp3"));
    if (a.small.isEmpty() || a.body.isEmpty() || tagged.size() < 10 + 128 || !tagged.startsWith("ID3"))
        die("set MORWICK_FIXTURES to the folder of Morwick's MP3 fixtures (short-under-10k.mp3, "
            "cbr128-stereo-44k-noinfo.mp3, peer-id3v2-and-id3v1.mp3)");
    const auto* h = reinterpret_cast<const uint8_t*>(tagged.constData());
    const int v2size = 10 + ((h[6] & 0x7F) << 21 | (h[7] & 0x7F) << 14 | (h[8] & 0x7F) << 7 | (h[9] & 0x7F));
    a.leadingV2 = tagged.left(v2size);
    a.trailerV1 = tagged.right(128);
    if (!a.trailerV1.startsWith("TAG"))
        die("peer-id3v2-and-id3v1.mp3 does not end in an ID3v1 tag");
    return a;
}

QByteArray repeatedBody(const QByteArray& body, int megabytes) {
    const qsizetype want = qsizetype(megabytes) << 20;
    QByteArray out;
    out.reserve(want + body.size());
    while (out.size() < want)
        out += body;
    return out;
}

// ---------------------------------------------------------------------------------------------
// Small files

namespace {

constexpr int kTinyStream = 400; // bytes of the stream in each tiny file

SmallSet makeSet(const QString& dir, const QByteArray& content, int files) {
    SmallSet set{QFile::encodeName(dir).toStdString(), {}};
    QDir().mkpath(dir);
    for (int i = 0; i < files; ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "%02d. Song %d.mp3", i % 100, i);
        set.names.emplace_back(name);
        writeFile((set.dir + '/' + name).c_str(), content);
    }
    return set;
}

} // namespace

SmallSet makeSmallSet(const QString& root, const Audio& audio, int files) {
    return makeSet(root + QStringLiteral("/tag"), audio.small + audio.trailerV1, files);
}

SmallSet makeTinySet(const QString& root, const Audio& audio, int files) {
    return makeSet(root + QStringLiteral("/scale"), audio.small.left(kTinyStream) + audio.trailerV1, files);
}

int tinyFileBytes(const Audio& audio) {
    return int(audio.small.left(kTinyStream).size() + audio.trailerV1.size());
}

RenameSet makeRenameSet(const SmallSet& set, int n) {
    // Only the first n files take part: the others stay where they are.
    RenameSet r;
    r.dir = set.dir + "-rename";
    QDir().mkpath(QString::fromStdString(r.dir));
    for (int i = 0; i < n; ++i) {
        const std::string& f = set.names[size_t(i)];
        if (::rename((set.dir + '/' + f).c_str(), (r.dir + '/' + f).c_str()) != 0)
            die("moving the rename set");
        r.plain.push_back(f);
        const QString built =
            BuildFilename(i % 100, QStringLiteral("Some Band"), QStringLiteral("Song %1").arg(i),
                          FilenameFormat::TrackArtistTitle, TrackSeparator::Dot);
        r.fromTags.push_back(built.toStdString());
        char u[64];
        std::snprintf(u, sizeof u, "%02d_song_%d.mp3", i % 100, i);
        r.untidy.emplace_back(u);
        r.tidy.push_back(TrimFilename(QString::fromLatin1(u), FilenameFormat::TrackTitle,
                                      NameCase::Capitalize, TrackSeparator::Dot)
                             .toStdString());
    }
    return r;
}

namespace {

// The floor's rename: the kernel's no-replace rename, the names known.
void floorRename(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) != 0) {
        std::fprintf(stderr, "bench_suite: renameat2 \"%s\" -> \"%s\": %s\n", from.c_str(), to.c_str(),
                     std::strerror(errno));
        std::exit(1);
    }
}

} // namespace

void renameAll(const Names& from, const Names& to) {
    for (size_t i = 0; i < from.size(); ++i)
        floorRename(from[i], to[i]);
}

void expectAll(const Names& names, const char* what) {
    for (const std::string& f : {names.front(), names[names.size() / 2], names.back()})
        if (!exists(f))
            die(what);
}

// ---------------------------------------------------------------------------------------------
// Large files

void BigSet::prepare(const QByteArray& content) const {
    for (const std::string& f : names)
        writeFile((dir + '/' + f).c_str(), content);
}

void BigSet::retag() const {
    for (const std::string& f : names)
        appendFile((dir + '/' + f).c_str(), trailerV1);
}

std::string BigSet::stripped() const {
    for (const std::string& f : {names.front(), names.back()})
        if (fileSize((dir + '/' + f).c_str()) != body.size())
            return f + " still has tags";
    return {};
}

void BigSet::bare() const {
    if (!stripped().empty())
        prepare(body);
}

std::optional<BigSet> makeBigSet(const Config& cfg, const QString& root, const Audio& audio,
                                 std::string& skipNote, const char* folder) {
    BigSet set;
    set.body = repeatedBody(audio.body, cfg.bigMegabytes);
    set.both = audio.leadingV2 + set.body + audio.trailerV1;
    set.trailerV1 = audio.trailerV1;
    const double needGB = double(cfg.bigFiles) * set.both.size() / 1e9 + 1;
    if (freeGigabytes(root) < needGB + 2) {
        char note[160];
        std::snprintf(note, sizeof note, "skipped: %.1f GB free where the files need %.1f GB",
                      freeGigabytes(root), needGB);
        skipNote = note;
        return std::nullopt;
    }
    set.dir = QFile::encodeName(root + QLatin1Char('/') + QLatin1String(folder)).toStdString();
    QDir().mkpath(QString::fromStdString(set.dir));
    for (int i = 0; i < cfg.bigFiles; ++i)
        set.names.push_back("Track " + std::to_string(i) + ".mp3");
    return set;
}
