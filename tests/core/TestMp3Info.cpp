#include "core/Id3Tag.h"
#include "core/Mp3Info.h"
#include "core/PosixFile.h"
#include "core/StreamInfo.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace testfiles;

namespace {

QByteArray bytes(std::initializer_list<int> values) {
    QByteArray out;
    for (int v : values)
        out.append(char(v));
    return out;
}

QByteArray bigEndian(uint32_t v) {
    return bytes({int(v >> 24), int(v >> 16 & 0xFF), int(v >> 8 & 0xFF), int(v & 0xFF)});
}

// A first frame with a Xing header: the letters at `at` bytes after the frame start, then
// the flag word and the two counts.
QByteArray xingFrame(const QByteArray& header, int at, uint32_t frames, uint32_t byteCount,
                     const char* magic = "Xing") {
    QByteArray frame = header + QByteArray(at - header.size(), '\0');
    frame += QByteArray(magic) + bigEndian(0x0F) + bigEndian(frames) + bigEndian(byteCount);
    return frame;
}

QByteArray padded(const QByteArray& start, int size) {
    return start + audio(size - int(start.size()));
}

} // namespace

class TestMp3Info : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;

    Mp3Info analyse(const QByteArray& content) {
        const QString path = dir_.filePath(QStringLiteral("t.mp3"));
        write(path, content);
        const Mp3Info info = ReadMp3Info(path);
        return info;
    }

private slots:
    void headerFields_data() {
        QTest::addColumn<QByteArray>("header");
        QTest::addColumn<int>("version");
        QTest::addColumn<int>("layer");
        QTest::addColumn<int>("bitrate");
        QTest::addColumn<int>("samplerate");
        QTest::addColumn<QString>("channelmode");
        QTest::addColumn<int>("framelength");
        QTest::addColumn<int>("flags"); // crc 1, private 2, copy 4, original 8
        QTest::newRow("1 III 128 joint")
            << bytes({0xFF, 0xFB, 0x90, 0x64}) << 1 << 3 << 128 << 44100 << "Joint-Stereo" << 417 << 8;
        QTest::newRow("1 III padding stereo")
            << bytes({0xFF, 0xFB, 0x92, 0x00}) << 1 << 3 << 128 << 44100 << "Stereo" << 418 << 0;
        QTest::newRow("1 III index 1, 48 kHz")
            << bytes({0xFF, 0xFB, 0x14, 0x80}) << 1 << 3 << 32 << 48000 << "Dual-Channel" << 96 << 0;
        QTest::newRow("1 III index 14, 32 kHz")
            << bytes({0xFF, 0xFB, 0xE8, 0xC0}) << 1 << 3 << 320 << 32000 << "Mono" << 1440 << 0;
        QTest::newRow("1 II 192") << bytes({0xFF, 0xFD, 0xA4, 0x04}) << 1 << 2 << 192 << 48000 << "Stereo"
                                  << 576 << 8;
        QTest::newRow("1 II index 14")
            << bytes({0xFF, 0xFD, 0xE0, 0x00}) << 1 << 2 << 384 << 44100 << "Stereo" << 1253 << 0;
        QTest::newRow("1 I 384 padding")
            << bytes({0xFF, 0xFF, 0xC2, 0x00}) << 1 << 1 << 384 << 44100 << "Stereo" << 420 << 0;
        QTest::newRow("1 I index 14")
            << bytes({0xFF, 0xFF, 0xE4, 0x00}) << 1 << 1 << 448 << 48000 << "Stereo" << 448 << 0;
        QTest::newRow("2 III 32 mono")
            << bytes({0xFF, 0xF3, 0x40, 0xC4}) << 2 << 3 << 32 << 22050 << "Mono" << 208 << 8;
        QTest::newRow("2 III index 1")
            << bytes({0xFF, 0xF3, 0x18, 0x00}) << 2 << 3 << 8 << 16000 << "Stereo" << 72 << 0;
        QTest::newRow("2 II 160") << bytes({0xFF, 0xF5, 0xE4, 0x00}) << 2 << 2 << 160 << 24000 << "Stereo"
                                  << 960 << 0;
        QTest::newRow("2 I 256") << bytes({0xFF, 0xF7, 0xE8, 0x00}) << 2 << 1 << 256 << 16000 << "Stereo"
                                 << 768 << 0;
        QTest::newRow("2 I index 1") << bytes({0xFF, 0xF7, 0x10, 0x00}) << 2 << 1 << 32 << 22050 << "Stereo"
                                     << 68 << 0;
        QTest::newRow("crc") << bytes({0xFF, 0xFA, 0x90, 0x40}) << 1 << 3 << 128 << 44100 << "Joint-Stereo"
                             << 417 << 1;
        QTest::newRow("private") << bytes({0xFF, 0xFB, 0x91, 0x00}) << 1 << 3 << 128 << 44100 << "Stereo"
                                 << 417 << 2;
        QTest::newRow("copy and original")
            << bytes({0xFF, 0xFB, 0x90, 0x8C}) << 1 << 3 << 128 << 44100 << "Dual-Channel" << 417 << 12;
    }
    void headerFields() {
        QFETCH(QByteArray, header);
        QFETCH(int, version);
        QFETCH(int, layer);
        QFETCH(int, bitrate);
        QFETCH(int, samplerate);
        QFETCH(QString, channelmode);
        QFETCH(int, framelength);
        QFETCH(int, flags);
        const int size = 200000;
        const Mp3Info info = analyse(padded(header, size));
        QCOMPARE(info.size, size);
        QCOMPARE(info.version, version);
        QCOMPARE(info.layer, layer);
        QCOMPARE(info.bitrate, bitrate);
        QCOMPARE(info.sampleRate, samplerate);
        QCOMPARE(info.channelMode, channelmode);
        QCOMPARE(info.frameLength, framelength);
        QCOMPARE(info.frames, size / framelength);
        QCOMPARE(info.length, int64_t(size) * 8 / (bitrate * 1000));
        QVERIFY(!info.isVbr);
        QCOMPARE(info.hasCrc, bool(flags & 1));
        QCOMPARE(info.isPrivate, bool(flags & 2));
        QCOMPARE(info.copyFlag, bool(flags & 4));
        QCOMPARE(info.origFlag, bool(flags & 8));
        QVERIFY(!info.hasTag);
    }

    // Candidates that do not decode are passed over, byte by byte; the header after them wins.
    void skippedCandidates_data() {
        QTest::addColumn<QByteArray>("before");
        QTest::newRow("bit-rate index 0") << bytes({0xFF, 0xFB, 0x00, 0x64});
        QTest::newRow("bit-rate index 15") << bytes({0xFF, 0xFB, 0xF0, 0x64});
        QTest::newRow("layer 00") << bytes({0xFF, 0xF9, 0x90, 0x64});
        QTest::newRow("sample-rate index 3") << bytes({0xFF, 0xFB, 0x9C, 0x64});
        QTest::newRow("MPEG-2.5 sync") << bytes({0xFF, 0xE3, 0x40, 0xC4});
        QTest::newRow("FF run") << bytes({0xFF, 0xFF});
        QTest::newRow("lone FF") << bytes({'x', 0xFF, 'y'});
    }
    void skippedCandidates() {
        QFETCH(QByteArray, before);
        const Mp3Info info = analyse(padded(audio(100) + before + bytes({0xFF, 0xFB, 0x90, 0x64}), 20000));
        QCOMPARE(info.bitrate, 128);
        QCOMPARE(info.version, 1);
        QCOMPARE(info.channelMode, QStringLiteral("Joint-Stereo"));
    }

    void noHeader_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("only invalid candidates")
            << padded(bytes({0xFF, 0xFB, 0x00, 0x00, 0xFF, 0xE3, 0x40, 0xC4}), 20000);
        // The audio is valid but starts after the window.
        QTest::newRow("20000-byte ID3v2 tag") << QByteArray("ID3\x03\0\0\0\x01\x1c\x16", 10) + audio(19990) +
                                                     padded(bytes({0xFF, 0xFB, 0x90, 0x64}), 30000);
        QTest::newRow("header straddles the window's end")
            << padded(audio(kScanWindow - 3) + bytes({0xFF, 0xFB, 0x90, 0x64}), 20000);
        QTest::newRow("header straddles the file's end") << audio(100) + bytes({0xFF, 0xFB, 0x90});
        // An MPEG-2.5 header counts only with the next frame's header (208 bytes on) in the window.
        QTest::newRow("MPEG-2.5 frame without its next in the window")
            << padded(audio(kScanWindow - 210) + bytes({0xFF, 0xE3, 0x40, 0xC4}) + audio(204) +
                          bytes({0xFF, 0xE3, 0x40, 0xC4}),
                      20000);
        QTest::newRow("empty file") << QByteArray();
    }
    void noHeader() {
        QFETCH(QByteArray, content);
        const Mp3Info info = analyse(content);
        QCOMPARE(info.size, content.size());
        QCOMPARE(info.bitrate, 0);
        QCOMPARE(info.version, 0);
        QCOMPARE(info.sampleRate, 0);
        QCOMPARE(info.length, 0);
        QVERIFY(info.channelMode.isEmpty());
    }

    void headerAtWindowEnd() {
        const Mp3Info info = analyse(padded(audio(kScanWindow - 4) + bytes({0xFF, 0xFB, 0x90, 0x64}), 20000));
        QCOMPARE(info.bitrate, 128);
    }

    void shortFileIsAnalysed() {
        const Mp3Info info = analyse(padded(bytes({0xFF, 0xFB, 0x90, 0x64}), 5000));
        QCOMPARE(info.size, 5000);
        QCOMPARE(info.bitrate, 128);
        QCOMPARE(info.length, 0);
        QVERIFY(!info.hasTag);
    }

    void xing_data() {
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<bool>("isvbr");
        QTest::addColumn<int>("bitrate");
        QTest::addColumn<int>("framelength");
        QTest::addColumn<int>("frames");
        const QByteArray l3 = bytes({0xFF, 0xFB, 0x90, 0x64}); // 128 kbit/s, 44100 Hz
        QTest::newRow("average") << xingFrame(l3, 36, 4000, 2000000) << true << 153 << 500 << 4000;
        QTest::newRow("layer 1") << xingFrame(bytes({0xFF, 0xFF, 0xC0, 0x00}), 36, 4000, 2000000) << true
                                 << 459 << 500 << 4000;
        QTest::newRow("layer 2") << xingFrame(bytes({0xFF, 0xFD, 0xA4, 0x04}), 36, 4000, 2000000) << true
                                 << 166 << 500 << 4000;
        QTest::newRow("at 21") << xingFrame(l3, 21, 4000, 2000000) << false << 128 << 417 << 47;
        // The Xing header follows the side information, whose size depends on version and channels.
        const QByteArray mono1 = bytes({0xFF, 0xFB, 0x90, 0xC4});   // MPEG-1, 128 kbit/s, 44100 Hz
        const QByteArray stereo2 = bytes({0xFF, 0xF3, 0x80, 0x44}); // MPEG-2, 64 kbit/s, 22050 Hz
        const QByteArray mono2 = bytes({0xFF, 0xF3, 0x80, 0xC4});
        QTest::newRow("MPEG-1 mono at 21")
            << xingFrame(mono1, 21, 4000, 2000000) << true << 153 << 500 << 4000;
        QTest::newRow("MPEG-1 mono at 36")
            << xingFrame(mono1, 36, 4000, 2000000) << false << 128 << 417 << 47;
        // 576 samples a frame: 22050 Hz * 500 bytes * 8 / 576 = 153 kbit/s (1152 would halve it).
        QTest::newRow("MPEG-2 stereo at 21")
            << xingFrame(stereo2, 21, 4000, 2000000) << true << 153 << 500 << 4000;
        QTest::newRow("MPEG-2 mono at 13")
            << xingFrame(mono2, 13, 4000, 2000000) << true << 153 << 500 << 4000;
        QTest::newRow("MPEG-2 stereo at 36")
            << xingFrame(stereo2, 36, 4000, 2000000) << false << 64 << 417 << 47;
        // lame does not count the CRC; the frame layout puts the side information after it.
        const QByteArray crc1 = bytes({0xFF, 0xFA, 0x90, 0x64});
        QTest::newRow("CRC, at 36") << xingFrame(crc1, 36, 4000, 2000000) << true << 153 << 500 << 4000;
        QTest::newRow("CRC, at 38") << xingFrame(crc1, 38, 4000, 2000000) << true << 153 << 500 << 4000;
        QTest::newRow("CRC, at 40") << xingFrame(crc1, 40, 4000, 2000000) << false << 128 << 417 << 47;
        QTest::newRow("Info, mono at 21")
            << xingFrame(mono1, 21, 4000, 2000000, "Info") << false << 128 << 417 << 47;
        QTest::newRow("Info") << xingFrame(l3, 36, 4000, 2000000, "Info") << false << 128 << 417 << 47;
        QTest::newRow("lower case") << xingFrame(l3, 36, 4000, 2000000, "xing") << false << 128 << 417 << 47;
        QTest::newRow("0 frames") << xingFrame(l3, 36, 0, 2000000) << false << 128 << 417 << 47;
        QTest::newRow("0 bytes") << xingFrame(l3, 36, 4000, 0) << false << 128 << 417 << 47;
        QTest::newRow("both 0") << xingFrame(l3, 36, 0, 0) << false << 128 << 417 << 47;
        QTest::newRow("frame length 0") << xingFrame(l3, 36, 4000, 3999) << false << 128 << 417 << 47;
        QTest::newRow("average 0") << xingFrame(l3, 36, 1000, 3000) << false << 128 << 417 << 47;
        QTest::newRow("too large") << xingFrame(l3, 36, 1, 0xFFFFFFFF) << false << 128 << 417 << 47;
        QTest::newRow("counts past window")
            << audio(kScanWindow - 51) + xingFrame(l3, 36, 4000, 2000000) << false << 128 << 417 << 47;
        QTest::newRow("counts at window end")
            << audio(kScanWindow - 52) + xingFrame(l3, 36, 4000, 2000000) << true << 153 << 500 << 4000;
    }
    void xing() {
        QFETCH(QByteArray, frame);
        QFETCH(bool, isvbr);
        QFETCH(int, bitrate);
        QFETCH(int, framelength);
        QFETCH(int, frames);
        const Mp3Info info = analyse(padded(frame, 20000));
        QCOMPARE(info.isVbr, isvbr);
        QCOMPARE(info.bitrate, bitrate);
        QCOMPARE(info.frameLength, framelength);
        QCOMPARE(info.frames, frames);
        QCOMPARE(info.length, 20000 * 8 / (bitrate * 1000));
    }

    void trailer_data() {
        QTest::addColumn<QByteArray>("tag");
        QTest::addColumn<int>("track");
        QTest::addColumn<int>("genre");
        QTest::addColumn<QString>("genrename");
        QTest::newRow("track and genre")
            << tagBytes(makeTag("Title", "Artist", "Album", "2004", "Comment", 7, 17)) << 7 << 17 << "Rock";
        QTest::newRow("last genre") << tagBytes(makeTag("Title", "", "", "", "", 0, 144)) << 0 << 144
                                    << "Trash Metal";
        QTest::newRow("genre 200") << tagBytes(makeTag("Title", "", "", "", "", 3, 200)) << 3 << 200 << "";
        ID3Tag v10 = makeTag("Title", "", "", "", "", 7, 255);
        v10.zero = 'x';
        QTest::newRow("byte 125 not zero") << tagBytes(v10) << 0 << 255 << "";
    }
    void trailer() {
        QFETCH(QByteArray, tag);
        QFETCH(int, track);
        QFETCH(int, genre);
        QFETCH(QString, genrename);
        const Mp3Info info = analyse(padded(bytes({0xFF, 0xFB, 0x90, 0x64}), 20000) + tag);
        QVERIFY(info.hasTag);
        QCOMPARE(info.title, QStringLiteral("Title"));
        QCOMPARE(info.track, track);
        QCOMPARE(info.genre, genre);
        QCOMPARE(info.genreName, genrename);
        QCOMPARE(info.bitrate, 128);
        QCOMPARE(info.size, 20128);
    }

    void trailerTexts() {
        ID3Tag tag = makeTag("  Title \t", "Artist", "Album", "2004", "A comment", 1, 0);
        std::memcpy(tag.title + 20, "\xe4\xf6", 2); // Windows-1252 bytes
        const Mp3Info info = analyse(audio(300) + tagBytes(tag));
        QVERIFY(info.hasTag);
        // Only the ends are trimmed: inner zero bytes stay.
        QCOMPARE(info.title, QStringLiteral("Title \t") + QString(11, QChar(0)) + QString::fromUtf8("äö"));
        QCOMPARE(info.artist, QStringLiteral("Artist"));
        QCOMPARE(info.album, QStringLiteral("Album"));
        QCOMPARE(info.year, QStringLiteral("2004"));
        QCOMPARE(info.comment, QStringLiteral("A comment"));
        QCOMPARE(info.genreName, QStringLiteral("Blues"));
        QCOMPARE(info.bitrate, 0);
    }

    void trailerNeedsExactMagic_data() {
        QTest::addColumn<QByteArray>("content");
        ID3Tag lower = makeTag("Title");
        std::memcpy(lower.magic, "tag", 3);
        QTest::newRow("lower-case magic") << audio(300) + tagBytes(lower);
        QTest::newRow("shorter than a trailer") << QByteArray("TAGabc");
        QTest::newRow("TAG not at the trailer's start") << audio(300) + "TAG" + audio(126);
    }
    void trailerNeedsExactMagic() {
        QFETCH(QByteArray, content);
        const Mp3Info info = analyse(content);
        QVERIFY(!info.hasTag);
        QVERIFY(info.title.isEmpty());
        QCOMPARE(info.genre, 255);
    }

    void notOpenable_data() {
        QTest::addColumn<QString>("path");
        QTest::newRow("missing") << dir_.filePath(QStringLiteral("missing.mp3"));
        QTest::newRow("directory") << dir_.path();
        // A pipe opens without blocking and is no file: the reader must not wait for a writer.
        const QString pipe = dir_.filePath(QStringLiteral("pipe.mp3"));
        QFile::remove(pipe);
        QVERIFY(::mkfifo(QFile::encodeName(pipe).constData(), 0644) == 0);
        QTest::newRow("pipe") << pipe;
    }
    void notOpenable() {
        QFETCH(QString, path);
        Mp3Info info = analyse(padded(bytes({0xFF, 0xFB, 0x90, 0x64}), 20000) +
                               tagBytes(makeTag("T", "", "", "", "", 2, 3)));
        QCOMPARE(info.bitrate, 128); // filled by the previous file
        info = ReadMp3Info(path);
        QCOMPARE(info.size, 0);
        QCOMPARE(info.bitrate, 0);
        QCOMPARE(info.version, 0);
        QVERIFY(!info.hasTag);
        QVERIFY(info.title.isEmpty());
        QCOMPARE(info.track, 0);
        QCOMPARE(info.genre, 255);
        QVERIFY(info.channelMode.isEmpty());
    }

    // Sparse files: the size and the playing time use 64-bit arithmetic.
    void largeFile_data() {
        QTest::addColumn<qint64>("size");
        QTest::addColumn<qint64>("length");
        QTest::newRow("5,000,000 bytes") << qint64(5000000) << qint64(312);
        QTest::newRow("over 2 GiB") << qint64(3000000000) << qint64(187500);
        QTest::newRow("over 4 GiB") << qint64(5000000000) << qint64(312500);
    }
    void largeFile() {
        QFETCH(qint64, size);
        QFETCH(qint64, length);
        const QString path = dir_.filePath(QStringLiteral("large.mp3"));
        write(path, padded(bytes({0xFF, 0xFB, 0x90, 0x64}), 1000));
        const int fd = ::open(path.toUtf8().constData(), O_WRONLY);
        QVERIFY(fd >= 0);
        const QByteArray tag = tagBytes(makeTag("Far away", "", "", "", "", 9, 1));
        const bool written = ::ftruncate(fd, size) == 0 &&
                             ::pwrite(fd, tag.constData(), size_t(tag.size()), size - kTagSize) == kTagSize;
        ::close(fd);
        if (!written)
            QSKIP("the temporary folder cannot hold a sparse file of this size");
        const Mp3Info info = ReadMp3Info(path);
        QCOMPARE(info.size, size);
        QCOMPARE(info.bitrate, 128);
        QCOMPARE(info.length, length);
        QCOMPARE(info.frames, size / 417);
        QCOMPARE(info.title, QStringLiteral("Far away"));
        QCOMPARE(info.track, 9);
        QFile::remove(path);
    }

    void fixtures_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<qint64>("size");
        QTest::addColumn<int>("version");
        QTest::addColumn<int>("layer");
        QTest::addColumn<int>("bitrate");
        QTest::addColumn<bool>("isvbr");
        QTest::addColumn<int>("samplerate");
        QTest::addColumn<QString>("channelmode");
        QTest::addColumn<qint64>("length");
        QTest::addColumn<bool>("hastag");
        // "Info" is not a Xing header: the constant bit rate of the first frame, as the decoder says.
        QTest::newRow("cbr128-jstereo-44k") << "cbr128-jstereo-44k.mp3" << qint64(48900) << 1 << 3 << 128
                                            << false << 44100 << "Joint-Stereo" << qint64(3) << false;
        QTest::newRow("cbr128-stereo-44k-noinfo") << "cbr128-stereo-44k-noinfo.mp3" << qint64(48483) << 1 << 3
                                                  << 128 << false << 44100 << "Stereo" << qint64(3) << false;
        QTest::newRow("cbr32-mono-mpeg2-22k") << "cbr32-mono-mpeg2-22k.mp3" << qint64(12225) << 2 << 3 << 32
                                              << false << 22050 << "Mono" << qint64(3) << false;
        QTest::newRow("layer2-192-48k") << "layer2-192-48k.mp3" << qint64(72000) << 1 << 2 << 192 << false
                                        << 48000 << "Stereo" << qint64(3) << false;
        // 0.34 s: whole seconds truncate to 0.
        QTest::newRow("short-under-10k") << "short-under-10k.mp3" << qint64(5850) << 1 << 3 << 128 << false
                                         << 44100 << "Joint-Stereo" << qint64(0) << false;
        // 37613 bytes / 116 frames = 324 bytes; 44100 * 324 / 144000 = 99.
        QTest::newRow("vbr-v2-stereo-44k") << "vbr-v2-stereo-44k.mp3" << qint64(37613) << 1 << 3 << 99 << true
                                           << 44100 << "Joint-Stereo" << qint64(3) << false;
        // The mono Xing header sits 21 bytes after the frame start; 13159 / 116 = 113 bytes a frame.
        QTest::newRow("vbr-v5-mono-44k") << "vbr-v5-mono-44k.mp3" << qint64(13159) << 1 << 3 << 34 << true
                                         << 44100 << "Mono" << qint64(3) << false;
        // Made by lame for the distances of the Xing and Info headers; see tests/data/README.md.
        QTest::newRow("lame-cbr16-mono-8k") << "lame-cbr16-mono-8k.mp3" << qint64(5328) << 2 << 3 << 16
                                            << false << 8000 << "Mono" << qint64(2) << false;
        QTest::newRow("lame-cbr32-mono-22k") << "lame-cbr32-mono-22k.mp3" << qint64(10240) << 2 << 3 << 32
                                             << false << 22050 << "Mono" << qint64(2) << false;
        QTest::newRow("lame-cbr64-mono-44k") << "lame-cbr64-mono-44k.mp3" << qint64(20479) << 1 << 3 << 64
                                             << false << 44100 << "Mono" << qint64(2) << false;
        QTest::newRow("lame-vbr-v4-mono-44k") << "lame-vbr-v4-mono-44k.mp3" << qint64(23764) << 1 << 3 << 74
                                              << true << 44100 << "Mono" << qint64(2) << false;
        QTest::newRow("lame-vbr-v5-mono-22k") << "lame-vbr-v5-mono-22k.mp3" << qint64(12171) << 2 << 3 << 37
                                              << true << 22050 << "Mono" << qint64(2) << false;
        QTest::newRow("lame-vbr-v5-stereo-22k")
            << "lame-vbr-v5-stereo-22k.mp3" << qint64(22490) << 2 << 3 << 70 << true << 22050
            << "Joint-Stereo" << qint64(2) << false;
        QTest::newRow("lame-vbr-v7-mono-8k") << "lame-vbr-v7-mono-8k.mp3" << qint64(4824) << 2 << 3 << 14
                                             << true << 8000 << "Mono" << qint64(2) << false;
        QTest::newRow("lame-vbr-v7-stereo-11k")
            << "lame-vbr-v7-stereo-11k.mp3" << qint64(10561) << 2 << 3 << 32 << true << 11025
            << "Joint-Stereo" << qint64(2) << false;
        QTest::newRow("lame-vbr-v9-stereo-44k-crc")
            << "lame-vbr-v9-stereo-44k-crc.mp3" << qint64(25617) << 1 << 3 << 80 << true << 44100
            << "Joint-Stereo" << qint64(2) << false;
        QTest::newRow("peer-id3v1") << "peer-id3v1.mp3" << qint64(48611) << 1 << 3 << 128 << false << 44100
                                    << "Stereo" << qint64(3) << true;
        QTest::newRow("peer-id3v2-and-id3v1") << "peer-id3v2-and-id3v1.mp3" << qint64(49280) << 1 << 3 << 128
                                              << false << 44100 << "Stereo" << qint64(3) << true;
    }
    void fixtures() {
        QFETCH(QString, name);
        QFETCH(qint64, size);
        QFETCH(int, version);
        QFETCH(int, layer);
        QFETCH(int, bitrate);
        QFETCH(bool, isvbr);
        QFETCH(int, samplerate);
        QFETCH(QString, channelmode);
        QFETCH(qint64, length);
        QFETCH(bool, hastag);
        const Mp3Info info = ReadMp3Info(fixture(name));
        QCOMPARE(info.size, size);
        QCOMPARE(info.version, version);
        QCOMPARE(info.layer, layer);
        QCOMPARE(info.bitrate, bitrate);
        QCOMPARE(info.isVbr, isvbr);
        QCOMPARE(info.sampleRate, samplerate);
        QCOMPARE(info.channelMode, channelmode);
        QCOMPARE(info.length, length);
        QCOMPARE(info.hasTag, hastag);
        if (hastag) {
            QCOMPARE(info.title, QStringLiteral("First Song"));
            QCOMPARE(info.artist, QStringLiteral("Some Band"));
            QCOMPARE(info.album, QStringLiteral("First Album"));
            QCOMPARE(info.year, QStringLiteral("2004"));
            QCOMPARE(info.comment, QStringLiteral("a comment"));
            QCOMPARE(info.track, 1);
            QCOMPARE(info.genre, 17);
            QCOMPARE(info.genreName, QStringLiteral("Rock"));
        } else {
            QCOMPARE(info.genre, 255);
        }
    }
    // A fixture added later must get its row above.
    void fixturesAllCovered() {
        const QStringList present =
            QDir(fixture(QString())).entryList({QStringLiteral("*.mp3")}, QDir::Files);
        QCOMPARE(
            present,
            (QStringList{"cbr128-jstereo-44k.mp3", "cbr128-stereo-44k-noinfo.mp3", "cbr32-mono-mpeg2-22k.mp3",
                         "lame-cbr16-mono-8k.mp3", "lame-cbr32-mono-22k.mp3", "lame-cbr64-mono-44k.mp3",
                         "lame-vbr-v4-mono-44k.mp3", "lame-vbr-v5-mono-22k.mp3", "lame-vbr-v5-stereo-22k.mp3",
                         "lame-vbr-v7-mono-8k.mp3", "lame-vbr-v7-stereo-11k.mp3",
                         "lame-vbr-v9-stereo-44k-crc.mp3", "layer2-192-48k.mp3", "peer-id3v1.mp3",
                         "peer-id3v2-and-id3v1.mp3", "short-under-10k.mp3", "vbr-v2-stereo-44k.mp3",
                         "vbr-v5-mono-44k.mp3"}));
    }

    // An independent decoder's view of the encoder-made files (ffprobe's duration and stream bit
    // rate, mp3info's version, average bit rate and rounded seconds, all written down when the
    // files were made): the bit rate within 2 kbit/s, the playing time within a second.
    void agreesWithDecoders_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<double>("ffprobeSeconds");
        QTest::addColumn<int>("ffprobeBitrate"); // bit/s
        QTest::addColumn<QString>("mp3infoVersion");
        QTest::addColumn<double>("mp3infoKbit");
        QTest::addColumn<int>("mp3infoSeconds");
        auto row = [](const char* name, double seconds, int bitrate, const char* version, double kbit,
                      int rounded) {
            QTest::newRow(name) << QString::fromLatin1(name) + QStringLiteral(".mp3") << seconds << bitrate
                                << QString::fromLatin1(version) << kbit << rounded;
        };
        row("cbr128-jstereo-44k", 3.030204, 128000, "1", 128.0, 3);   // "Info" at 36
        row("vbr-v2-stereo-44k", 3.030204, 99302, "1", 98.598289, 3); // "Xing" at 36
        row("vbr-v5-mono-44k", 3.030204, 34741, "1", 34.598289, 3);   // "Xing" at 21
        row("cbr32-mono-mpeg2-22k", 3.056250, 32000, "2", 32.0, 3);   // neither
        row("lame-cbr64-mono-44k", 2.533878, 64000, "1", 64.0, 3);    // "Info" at 21
        row("lame-vbr-v4-mono-44k", 2.533878, 75028, "1", 74.448982, 3);
        row("lame-vbr-v9-stereo-44k-crc", 2.533878, 80878, "1", 80.163269, 3); // at 36 despite the CRC
        row("lame-cbr32-mono-22k", 2.560000, 32000, "2", 32.0, 3);             // "Info" at 13
        row("lame-vbr-v5-mono-22k", 2.560000, 38034, "2", 37.818180, 3);
        row("lame-vbr-v5-stereo-22k", 2.560000, 70281, "2", 69.818184, 3); // "Xing" at 21
        row("lame-cbr16-mono-8k", 2.664000, 16000, "2.5", 16.0, 3);
        row("lame-vbr-v7-mono-8k", 2.664000, 14486, "2.5", 14.105263, 3);    // "Xing" at 13
        row("lame-vbr-v7-stereo-11k", 2.612245, 32343, "2.5", 31.843138, 3); // "Xing" at 21
    }
    void agreesWithDecoders() {
        QFETCH(QString, name);
        QFETCH(double, ffprobeSeconds);
        QFETCH(int, ffprobeBitrate);
        QFETCH(QString, mp3infoVersion);
        QFETCH(double, mp3infoKbit);
        QFETCH(int, mp3infoSeconds);
        const Mp3Info info = ReadMp3Info(fixture(name));
        const QString version = info.isMpeg25 ? QStringLiteral("2.5") : QString::number(info.version);
        QCOMPARE(version, mp3infoVersion);
        const auto facts = QStringLiteral("%1 kbit/s, %2 s").arg(info.bitrate).arg(info.length).toUtf8();
        QVERIFY2(std::abs(info.bitrate - ffprobeBitrate / 1000.0) < 2, facts.constData());
        QVERIFY2(std::abs(info.bitrate - mp3infoKbit) < 2, facts.constData());
        QVERIFY2(std::abs(double(info.length) - ffprobeSeconds) < 1, facts.constData());
        QVERIFY2(std::abs(info.length - mp3infoSeconds) <= 1, facts.constData());
    }

    void streamInfoLines_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("constant bit rate")
            << "cbr128-jstereo-44k.mp3"
            << QStringList{"Size: 48900 bytes",        "Length: 0:03 minutes", "",
                           "Version: MPEG-1 layer 3",  "Bitrate: 128 kbit",    "Samplerate: 44100 Hz",
                           "Channelmode: Joint-Stereo"};
        QTest::newRow("VBR") << "vbr-v2-stereo-44k.mp3" << QStringList{"Size: 37613 bytes",
                                                                       "Length: 0:03 minutes",
                                                                       "",
                                                                       "Version: MPEG-1 layer 3",
                                                                       "Average bitrate: 99 kbit (VBR)",
                                                                       "Samplerate: 44100 Hz",
                                                                       "Channelmode: Joint-Stereo"};
        QTest::newRow("MPEG-2") << "cbr32-mono-mpeg2-22k.mp3" << QStringList{"Size: 12225 bytes",
                                                                             "Length: 0:03 minutes",
                                                                             "",
                                                                             "Version: MPEG-2 layer 3",
                                                                             "Bitrate: 32 kbit",
                                                                             "Samplerate: 22050 Hz",
                                                                             "Channelmode: Mono"};
        QTest::newRow("MPEG-2.5") << "lame-vbr-v7-mono-8k.mp3"
                                  << QStringList{"Size: 4824 bytes",
                                                 "Length: 0:02 minutes",
                                                 "",
                                                 "Version: MPEG-2.5 layer 3",
                                                 "Average bitrate: 14 kbit (VBR)",
                                                 "Samplerate: 8000 Hz",
                                                 "Channelmode: Mono"};
        const QString note =
            QStringLiteral("There might be a long ID3v2 or similar tag in the beginning of the file.");
        QTest::newRow("not opened") << "missing.mp3"
                                    << QStringList{"Size: 0 bytes", "", "No valid / known header found!", "",
                                                   note};
    }
    void streamInfoLines() {
        QFETCH(QString, name);
        QFETCH(QStringList, lines);
        const Mp3Info info = ReadMp3Info(fixture(name));
        QCOMPARE(StreamInfoLines(info), lines);
    }
    void streamInfoWithoutHeader() {
        const QByteArray content = QByteArray("ID3\x03\0\0\0\x01\x1c\x16", 10) + audio(19990) +
                                   padded(bytes({0xFF, 0xFB, 0x90, 0x64}), 30000);
        const QStringList lines = StreamInfoLines(analyse(content));
        QCOMPARE(lines,
                 (QStringList{"Size: 50000 bytes", "", "No valid / known header found!", "",
                              "There might be a long ID3v2 or similar tag in the beginning of the file."}));
    }
    void streamInfoLongPlayingTime() {
        Mp3Info info;
        info.size = 5000000;
        info.bitrate = 128;
        info.version = 1;
        info.layer = 3;
        info.sampleRate = 44100;
        info.channelMode = QStringLiteral("Stereo");
        info.length = 3725;
        QCOMPARE(StreamInfoLines(info).at(1), QStringLiteral("Length: 62:05 minutes"));
    }
};

QTEST_GUILESS_MAIN(TestMp3Info)
#include "TestMp3Info.moc"
