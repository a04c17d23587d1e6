#include "core/StreamInfo.h"

QStringList StreamInfoLines(const Mp3Info& info) {
    QStringList lines;
    lines << QStringLiteral("Size: %1 bytes").arg(info.size);
    if (info.bitrate != 0) {
        lines << QStringLiteral("Length: %1 minutes").arg(FormatDuration(info.length));
        lines << QString();
        const QString version = info.isMpeg25 ? QStringLiteral("2.5") : QString::number(info.version);
        lines << QStringLiteral("Version: MPEG-%1 layer %2").arg(version).arg(info.layer);
        if (info.isVbr)
            lines << QStringLiteral("Average bitrate: %1 kbit (VBR)").arg(info.bitrate);
        else
            lines << QStringLiteral("Bitrate: %1 kbit").arg(info.bitrate);
        lines << QStringLiteral("Samplerate: %1 Hz").arg(info.sampleRate);
        lines << QStringLiteral("Channelmode: %1").arg(info.channelMode);
    } else {
        lines << QString() << QStringLiteral("No valid / known header found!") << QString()
              << QStringLiteral("There might be a long ID3v2 or similar tag in the beginning of the file.");
    }
    return lines;
}
