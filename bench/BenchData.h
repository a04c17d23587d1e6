#pragma once

// The benchmarks' data: real MP3 streams from the fixtures, with tags as other tools write
// them, made into folders of files under the run's temporary folder.

#include "bench/BenchSupport.h"

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

struct Audio {
    QByteArray small;     // a short stream (about 6 KB)
    QByteArray body;      // a longer stream; repeated for the large files
    QByteArray leadingV2; // an ID3v2.3 tag with real frames
    QByteArray trailerV1; // an ID3v1.1 tag: "First Song", "Some Band", ..., track 1, genre 17
};

// The streams and tags, from the fixtures in $MORWICK_FIXTURES; ends the run when they are not there.
Audio loadAudio();

// Whole copies of the stream up to about `megabytes`, so that the frames stay whole.
QByteArray repeatedBody(const QByteArray& body, int megabytes);

// Small tagged files for the tag, read and rename tasks, in <root>/tag.
struct SmallSet {
    std::string dir;
    Names names; // "NN. Song i.mp3": FilenameFormat::TrackTitle gives track NN and title "Song i"
};
SmallSet makeSmallSet(const QString& root, const Audio& audio, int files);
// The same names in <root>/scale, each file a few hundred bytes: the start of the short stream
// and the ID3v1 tag, enough for every task that reads or writes only the tag.
SmallSet makeTinySet(const QString& root, const Audio& audio, int files);
// The size of each file makeTinySet makes.
int tinyFileBytes(const Audio& audio);

// The first n files of the small set, moved to a folder of their own, with the names the two
// renaming tasks give them and the names they start from.
struct RenameSet {
    std::string dir;
    Names plain;    // as in the small set
    Names fromTags; // "NN. Some Band - Song i.mp3", what Rename from tags makes of them
    Names untidy;   // "NN_song_i.mp3"
    Names tidy;     // what Trim filenames makes of the untidy names
};
RenameSet makeRenameSet(const SmallSet& set, int n);
// Renames from[i] to to[i] for every i, never replacing; ends the run on failure.
void renameAll(const Names& from, const Names& to);
// Ends the run with `what` unless the first, the middle and the last name exist.
void expectAll(const Names& names, const char* what);

// Large files for the tag removal tasks, in <root>/big.
struct BigSet {
    std::string dir;
    Names names;
    QByteArray body; // the stream without tags
    QByteArray both; // a leading ID3v2, the stream, a trailing ID3v1
    QByteArray trailerV1;

    // Every file with this content.
    void prepare(const QByteArray& content) const;
    // A trailing ID3v1 appended to every file.
    void retag() const;
    // A note when the first or the last file still has tags; empty when both are bare streams.
    std::string stripped() const;
    // Every file a bare stream again, written anew only when it is not.
    void bare() const;
};
// The large set, or nothing when the disk has too little room for it; `skipNote` then says why.
// Its files go in the folder `folder` under `root`.
std::optional<BigSet> makeBigSet(const Config& cfg, const QString& root, const Audio& audio,
                                 std::string& skipNote, const char* folder = "big");
