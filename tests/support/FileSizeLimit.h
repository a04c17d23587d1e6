#pragma once

#include <QtGlobal>
#include <sys/resource.h>

// The soft file-size limit of this process, put back when the guard goes: a write past it fails
// as a full disk would (the program ignores SIGXFSZ, and so must the test).
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &old_);
        rlimit lower = old_;
        lower.rlim_cur = bytes;
        if (::setrlimit(RLIMIT_FSIZE, &lower) != 0)
            qFatal("cannot set the file-size limit");
    }
    ~FileSizeLimit() { ::setrlimit(RLIMIT_FSIZE, &old_); }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit old_{};
};
