// Throughput of RemoveAllTags over many files of a few megabytes, against the cheapest way to do
// the same change by hand, and the peak memory of stripping one very large file.
//
//   bench_remove_tags [files] [megabytes] [runs]   (defaults 1000, 5, 5)
//   bench_remove_tags --rss [megabytes]            (default 500)
//
// Data is made in a temporary folder (TMPDIR); the audio is a fixture's stream repeated when
// MORWICK_FIXTURES points at the fixtures, else synthetic bytes.

#include "core/IoError.h"
#include "core/TagRemoval.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

QByteArray id3v2(int body) {
    QByteArray tag("ID3\x03\0\0", 6);
    tag += char((body >> 21) & 0x7F);
    tag += char((body >> 14) & 0x7F);
    tag += char((body >> 7) & 0x7F);
    tag += char(body & 0x7F);
    return tag + QByteArray(body, '\0');
}

QByteArray id3v1() {
    QByteArray tag(128, '\0');
    std::memcpy(tag.data(), "TAGFirst Song", 13);
    tag[127] = char(17);
    return tag;
}

QByteArray audio(qsizetype size) {
    QByteArray source;
    const QString dir = qEnvironmentVariable("MORWICK_FIXTURES");
    QFile f(dir + QStringLiteral("/cbr128-stereo-44k-noinfo.mp3"));
    if (!dir.isEmpty() && f.open(QIODevice::ReadOnly))
        source = f.readAll();
    if (source.isEmpty()) {
        source.resize(65536);
        for (qsizetype i = 0; i < source.size(); ++i)
            source[i] = char((i * 131 + 7) & 0x7F);
    }
    QByteArray out;
    out.reserve(size);
    while (out.size() < size)
        out += source.left(size - out.size());
    return out;
}

void writeFile(const QByteArray& path, const QByteArray& content) {
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0 || ::write(fd, content.constData(), size_t(content.size())) != content.size() ||
        ::close(fd) != 0) {
        std::perror(path.constData());
        std::exit(1);
    }
}

void appendTrailer(const QByteArray& path, const QByteArray& trailer) {
    const int fd = ::open(path.constData(), O_WRONLY | O_APPEND | O_CLOEXEC);
    if (fd < 0 || ::write(fd, trailer.constData(), size_t(trailer.size())) != trailer.size() ||
        ::close(fd) != 0) {
        std::perror(path.constData());
        std::exit(1);
    }
}

double timed(const std::function<void()>& work) {
    ::sync(); // start every timing with no write-back pending from the preparation
    const auto start = Clock::now();
    work();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// The least work a front cut can do safely: read the file, write the rest to a new file, make it
// durable, rename it over the original.
void floorRewrite(const QByteArray& path, qsizetype front) {
    const int in = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    const off_t size = ::lseek(in, 0, SEEK_END);
    QByteArray data(qsizetype(size), Qt::Uninitialized);
    if (::pread(in, data.data(), size_t(size), 0) != size)
        std::exit(1);
    ::close(in);
    const QByteArray temp = path + ".tmp";
    const int out = ::open(temp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    const ssize_t n = ::write(out, data.constData() + front, size_t(size - front - 128));
    if (n != size - front - 128 || ::fsync(out) != 0 || ::close(out) != 0 ||
        ::rename(temp.constData(), path.constData()) != 0)
        std::exit(1);
}

void floorTruncate(const QByteArray& path) {
    const int fd = ::open(path.constData(), O_WRONLY | O_CLOEXEC);
    const off_t size = ::lseek(fd, 0, SEEK_END);
    if (fd < 0 || ::ftruncate(fd, size - 128) != 0 || ::close(fd) != 0)
        std::exit(1);
}

void strip(const std::vector<QByteArray>& paths) {
    for (const QByteArray& p : paths) {
        if (!RemoveAllTags(QString::fromLocal8Bit(p)))
            std::exit(2);
    }
}

int throughput(int files, int megabytes, int runs) {
    QTemporaryDir dir;
    const QByteArray body = audio(qsizetype(megabytes) << 20);
    const QByteArray leading = id3v2(4000);
    const QByteArray both = leading + body + id3v1();
    const QByteArray v1only = body + id3v1();
    std::vector<QByteArray> front, back;
    for (int i = 0; i < files; ++i) {
        front.push_back(QFile::encodeName(dir.filePath(QStringLiteral("front%1.mp3").arg(i))));
        back.push_back(QFile::encodeName(dir.filePath(QStringLiteral("back%1.mp3").arg(i))));
    }
    std::printf("%d files of %.1f MB in %s, %d runs\n", files, both.size() / 1e6, qPrintable(dir.path()),
                runs);
    const auto prepare = [&](const std::vector<QByteArray>& paths, const QByteArray& content) {
        for (const QByteArray& p : paths)
            writeFile(p, content);
    };
    const auto retag = [&] {
        for (const QByteArray& p : back)
            appendTrailer(p, id3v1());
    };
    prepare(back, v1only);

    std::vector<double> ours, rewrite, oursBack, truncate;
    for (int run = 0; run < runs; ++run) {
        prepare(front, both);
        ours.push_back(timed([&] { strip(front); }));
        if (QFile(QString::fromLocal8Bit(front[0])).size() != body.size())
            return 3;
        prepare(front, both);
        rewrite.push_back(timed([&] {
            for (const QByteArray& p : front)
                floorRewrite(p, leading.size());
        }));
        oursBack.push_back(timed([&] { strip(back); }));
        retag();
        truncate.push_back(timed([&] {
            for (const QByteArray& p : back)
                floorTruncate(p);
        }));
        retag();
        std::printf("run %d: leading+ID3v1 %.0f files/s (floor %.0f), ID3v1 only %.0f files/s (floor %.0f)\n",
                    run + 1, files / ours.back(), files / rewrite.back(), files / oursBack.back(),
                    files / truncate.back());
        std::fflush(stdout);
    }
    const double a = median(ours), fa = median(rewrite), b = median(oursBack), fb = median(truncate);
    std::printf("median, leading ID3v2 + ID3v1: RemoveAllTags %.1f files/s (%.0f MB/s), floor read+write "
                "temp+fsync+rename %.1f files/s; time ratio to floor %.2f\n",
                files / a, files * both.size() / 1e6 / a, files / fa, a / fa);
    std::printf(
        "median, ID3v1 only: RemoveAllTags %.0f files/s, floor open+ftruncate %.0f files/s; time ratio "
        "to floor %.2f\n",
        files / b, files / fb, b / fb);
    return 0;
}

long maxRssKiB() {
    struct rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

int peakMemory(int megabytes) {
    QTemporaryDir dir;
    const QByteArray path = QFile::encodeName(dir.filePath(QStringLiteral("big.mp3")));
    const QByteArray chunk = audio(1 << 20);
    writeFile(path, id3v2(4000));
    for (int i = 0; i < megabytes; ++i)
        appendTrailer(path, chunk);
    appendTrailer(path, id3v1());
    const long before = maxRssKiB();
    const auto start = Clock::now();
    try {
        RemoveAllTags(QString::fromLocal8Bit(path));
    } catch (const CommandError& e) {
        std::printf("failed: %s\n", qPrintable(e.message()));
        return 1;
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    std::printf(
        "%d MB file: peak RSS %ld KiB before RemoveAllTags, %ld KiB after; took %.2f s; size now %lld\n",
        megabytes, before, maxRssKiB(), seconds, QFile(QString::fromLocal8Bit(path)).size());
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "--rss") == 0)
        return peakMemory(argc > 2 ? std::atoi(argv[2]) : 500);
    const int files = argc > 1 ? std::atoi(argv[1]) : 1000;
    const int megabytes = argc > 2 ? std::atoi(argv[2]) : 5;
    const int runs = argc > 3 ? std::atoi(argv[3]) : 5;
    return throughput(std::max(files, 1), std::max(megabytes, 1), std::max(runs, 1));
}
