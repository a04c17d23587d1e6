#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>

// Facts about one MP3 file: its ID3v1 fields as display strings and the first MPEG audio
// frame header found near the start (with the average bit rate of a Xing VBR stream).
struct mp3info {
    int64_t size = 0; // file size in bytes
    int version = 0;  // 1 (MPEG-1) or 2 (MPEG-2)
    int layer = 0;    // 1, 2 or 3
    int bitrate = 0;  // kbit/s; the average for VBR; 0 = no frame header found
    bool isvbr = false;
    int samplerate = 0;  // Hz
    QString channelmode; // "Stereo", "Joint-Stereo", "Dual-Channel" or "Mono"
    int64_t length = 0;  // playing time in whole seconds
    int framelength = 0; // bytes per frame (average for VBR)
    int64_t frames = 0;
    bool hascrc = false;
    bool isprivate = false;
    bool copyflag = false;
    bool origflag = false;
    bool hastag = false; // the file ends with an ID3v1 trailer
    QString title;
    QString artist;
    QString album;
    QString year;
    QString comment;
    int track = 0;   // 0 = none
    int genre = 255; // 255 = none
    QString genrename;
};

// The program-wide record that the status line, the tag dialog and Copy tag fill.
extern mp3info Mp3Info;

// The scan window searched for the first frame header.
inline constexpr int kScanWindow = 10240;

// Fills `info` from the file at `path` (a Morwick name). A file that cannot be opened leaves
// the record as reset. Reads at most the first 10240 bytes and the last 128, in two reads.
// A failure after the open throws CommandError.
void ReadMp3Info(const QString& path, mp3info& info);

// Seconds as minutes and two-digit seconds ("%d:%.2d"): 185 -> "3:05", 3661 -> "61:01".
QString FormatDuration(int64_t seconds);
