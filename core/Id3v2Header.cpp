#include "core/Id3v2Header.h"

#include "core/IoError.h"
#include "core/PosixFile.h"

#include <cstring>
#include <fcntl.h>

bool IsWellFormedId3v2Header(const uint8_t* h) {
    if (std::memcmp(h, "ID3", 3) != 0)
        return false;
    if (h[3] < 2 || h[3] > 4 || h[4] == 0xFF)
        return false;
    return h[6] < 0x80 && h[7] < 0x80 && h[8] < 0x80 && h[9] < 0x80;
}

bool HasLeadingId3v2Tag(const QString& path) {
    PosixFile file;
    struct stat st {};
    if (!file.openRegular(path, O_RDONLY, st) || st.st_size < kId3v2HeaderSize)
        return false;
    uint8_t header[kId3v2HeaderSize];
    try {
        return file.readAt(header, kId3v2HeaderSize, 0) == kId3v2HeaderSize &&
               IsWellFormedId3v2Header(header);
    } catch (const CommandError&) {
        return false;
    }
}
