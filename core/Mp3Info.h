#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>

// Facts about one MP3 file: its ID3v1 fields as display strings and the first MPEG audio
// frame header found near the start (with the average bit rate of a Xing VBR stream).
// MPEG-2.5 (11025, 12000 or 8000 Hz, layer 3 only) has version 2 and isMpeg25 set.
struct Mp3Info {
    int64_t size = 0; // file size in bytes
    int version = 0;  // 1 (MPEG-1) or 2 (MPEG-2 and MPEG-2.5)
    bool isMpeg25 = false;
    int layer = 0;   // 1, 2 or 3
    int bitrate = 0; // kbit/s; the average for VBR; 0 = no frame header found
    bool isVbr = false;
    int sampleRate = 0;  // Hz
    QString channelMode; // "Stereo", "Joint-Stereo", "Dual-Channel" or "Mono"
    int64_t length = 0;  // playing time in whole seconds
    int frameLength = 0; // bytes per frame (average for VBR)
    int64_t frames = 0;
    bool hasCrc = false;
    bool isPrivate = false;
    bool copyFlag = false;
    bool origFlag = false;
    bool hasTag = false; // the file ends with an ID3v1 trailer
    QString title;
    QString artist;
    QString album;
    QString year;
    QString comment;
    int track = 0;   // 0 = none
    int genre = 255; // 255 = none
    QString genreName;
};

// The scan window searched for the first frame header.
inline constexpr int kScanWindow = 10240;

// The facts of the file at `path` (a Morwick name). A file that cannot be opened gives an
// empty record (size 0, no tag, no frame header). Reads at most the first 10240 bytes and the
// last 128, in two reads. A failure after the open throws CommandError.
Mp3Info ReadMp3Info(const QString& path);

// Seconds as minutes and two-digit seconds ("%d:%.2d"): 185 -> "3:05", 3661 -> "61:01".
QString FormatDuration(int64_t seconds);
