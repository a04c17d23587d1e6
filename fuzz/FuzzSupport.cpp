#include "FuzzSupport.h"

#include "core/FileName.h"

#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <ftw.h>
#include <unistd.h>

namespace fuzzsupport {

namespace {

int removeEntry(const char* path, const struct stat*, int, struct FTW*) {
    return ::remove(path);
}

void removeScratch() {
    ::nftw(scratchDir().constData(), removeEntry, 16, FTW_DEPTH | FTW_PHYS);
}

} // namespace

const QByteArray& scratchDir() {
    static const QByteArray dir = [] {
        const char* base = std::getenv("TMPDIR");
        QByteArray pattern = QByteArray(base && *base ? base : "/tmp") + "/morwick-fuzz-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr)
            fail("cannot create the scratch folder");
        return pattern;
    }();
    static const bool registered = std::atexit(removeScratch) == 0;
    (void)registered;
    return dir;
}

QString scratchFile(const char* name) {
    return DecodeFileName(scratchDir() + '/' + name);
}

QByteArray readAll(const QString& path) {
    const int fd = ::open(EncodeFileName(path).constData(), O_RDONLY | O_CLOEXEC);
    check(fd >= 0, "cannot open a scratch file for reading");
    QByteArray out;
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        check(n >= 0, "cannot read a scratch file");
        if (n == 0)
            break;
        out.append(buf, n);
    }
    ::close(fd);
    return out;
}

void writeAll(const QString& path, const QByteArray& bytes) {
    const int fd = ::open(EncodeFileName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    check(fd >= 0, "cannot create a scratch file");
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        check(n > 0, "cannot write a scratch file");
        done += n;
    }
    check(::close(fd) == 0, "cannot close a scratch file");
}

int scratchEntries() {
    DIR* dir = ::opendir(scratchDir().constData());
    check(dir != nullptr, "cannot list the scratch folder");
    int n = 0;
    while (const dirent* e = ::readdir(dir)) {
        const QByteArray name(e->d_name);
        if (name != "." && name != "..")
            ++n;
    }
    ::closedir(dir);
    return n;
}

void fail(const char* what) {
    std::fprintf(stderr, "PROPERTY BROKEN: %s\n", what);
    std::fflush(stderr);
    std::abort();
}

} // namespace fuzzsupport
