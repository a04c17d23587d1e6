// Throughput of Tag files over many small tagged MP3 files (format 0, every field marked, the
// batch fields set, no prompt arising), against the least work that can replace a 128-byte
// trailer: open, fstat, pread 128, pwrite 128, close.
//
//   bench_tag_files [files] [runs]   (defaults 10000, 3)
//
// Data is made in a temporary folder (TMPDIR); each file is a fixture's small stream when
// MORWICK_FIXTURES points at the fixtures, else synthetic bytes, followed by an ID3v1 tag.

#include "commands/BatchFields.h"
#include "commands/Edit.h"
#include "commands/GenreList.h"
#include "commands/Prompts.h"
#include "core/Batch.h"
#include "core/ProgramOptions.h"
#include "naming/TagFiles.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// Every file selected, every re-read counted.
class AllSelected : public FileSelection {
public:
    explicit AllSelected(QStringList names) : names_(std::move(names)), selected_(names_.size(), true) {}
    int count() const override { return int(names_.size()); }
    QString name(int index) const override { return names_.at(index); }
    bool isSelected(int index) const override { return selected_.at(index); }
    void deselect(int index) override { selected_[index] = false; }
    void reread() override { selected_.fill(false); }
    void selectAll() { selected_.fill(true); }

private:
    QStringList names_;
    QList<bool> selected_;
};

// Short names and short fields raise no prompt; one that came anyway would be a fault here.
class NoPrompts : public Prompts {
public:
    bool inputQuery(const QString&, const QString&, QString&) override { fail(); }
    QString inputBox(const QString&, const QString&, const QString&) override { fail(); }
    bool errorQuestion(const QString&) override { fail(); }
    int showModal(QDialog&) override { fail(); }

private:
    [[noreturn]] static void fail() {
        std::fprintf(stderr, "unexpected prompt\n");
        std::exit(1);
    }
};

QByteArray fileContent() {
    QByteArray audio;
    const QString dir = qEnvironmentVariable("MORWICK_FIXTURES");
    QFile f(dir + QStringLiteral("/short-under-10k.mp3"));
    if (!dir.isEmpty() && f.open(QIODevice::ReadOnly))
        audio = f.readAll();
    if (audio.isEmpty()) {
        audio.resize(5850);
        for (qsizetype i = 0; i < audio.size(); ++i)
            audio[i] = char((i * 131 + 7) & 0x7F);
    }
    QByteArray tag(128, '\0');
    std::memcpy(tag.data(), "TAGOld Title", 12);
    tag[127] = char(17);
    return audio + tag;
}

void writeFile(const QByteArray& path, const QByteArray& content) {
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0 || ::write(fd, content.constData(), size_t(content.size())) != content.size() ||
        ::close(fd) != 0) {
        std::perror(path.constData());
        std::exit(1);
    }
}

// The least work of replacing a trailer in place.
void floorReplace(const QByteArray& path) {
    const int fd = ::open(path.constData(), O_RDWR | O_CLOEXEC);
    struct stat st;
    char tag[128];
    if (fd < 0 || ::fstat(fd, &st) != 0 || ::pread(fd, tag, sizeof tag, st.st_size - 128) != 128)
        std::exit(1);
    tag[3] ^= 1;
    if (::pwrite(fd, tag, sizeof tag, st.st_size - 128) != 128 || ::close(fd) != 0)
        std::exit(1);
}

double timed(const std::function<void()>& work) {
    ::sync(); // start every timing with no write-back pending
    const auto start = Clock::now();
    work();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    const int files = argc > 1 ? std::atoi(argv[1]) : 10000;
    const int runs = argc > 2 ? std::atoi(argv[2]) : 3;
    if (files <= 0 || runs <= 0) {
        std::fprintf(stderr, "usage: bench_tag_files [files] [runs]\n");
        return 2;
    }

    QTemporaryDir dir;
    if (!dir.isValid() || !QDir::setCurrent(dir.path()))
        return 1;
    const QByteArray content = fileContent();
    QStringList names;
    std::vector<QByteArray> paths;
    for (int i = 0; i < files; ++i) {
        // "NN. Song NNNNN.mp3": format 0 gives track NN and a short title.
        const QString name = QStringLiteral("%1. Song %2.mp3").arg(i % 100, 2, 10, QLatin1Char('0')).arg(i);
        names << name;
        paths.push_back(name.toUtf8());
        writeFile(paths.back(), content);
    }

    TForm2 dialog;
    QWidget window;
    BatchTagFields fields;
    fields.artist = new QLineEdit(QStringLiteral("Some Band"), &window);
    fields.album = new QLineEdit(QStringLiteral("First Album"), &window);
    fields.year = new QLineEdit(QStringLiteral("2004"), &window);
    fields.comment = new QLineEdit(QStringLiteral("a comment"), &window);
    fields.genre = new QComboBox(&window);
    FillGenreList(fields.genre);
    fields.genre->setCurrentIndex(fields.genre->findText(QStringLiteral("Rock")));
    AllSelected selection(names);
    NoPrompts prompts;
    const TagFilesContext context{selection, prompts, dialog, fields, Id3FieldMask{}, 0, true, false};

    std::vector<double> floorTimes, tagTimes;
    for (int r = 0; r < runs; ++r) {
        floorTimes.push_back(timed([&] {
            for (const QByteArray& path : paths)
                floorReplace(path);
        }));
        selection.selectAll();
        tagTimes.push_back(timed([&] { TagFiles(context); }));
    }
    if (Options.uses != files * runs) {
        std::fprintf(stderr, "tagged %d files, expected %d\n", Options.uses, files * runs);
        return 1;
    }
    const double floorRate = files / median(floorTimes);
    const double tagRate = files / median(tagTimes);
    std::printf("files: %d, runs: %d (medians)\n", files, runs);
    std::printf("floor (open, fstat, pread, pwrite, close): %10.0f files/s\n", floorRate);
    std::printf("TagFiles:                                   %10.0f files/s\n", tagRate);
    std::printf("ratio TagFiles / floor: %.2f\n", tagRate / floorRate);
    return 0;
}
