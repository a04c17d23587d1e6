// Opening a folder of many MP3 files in the real main window, against the floor of reading
// the folder and sorting the names.
#include "app/FileList.h"
#include "app/Tag.h"
#include "core/FileName.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace {

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// The floor: readdir, keep the *.mp3 names, sort them.
size_t floorList(const QByteArray& dir) {
    std::vector<std::string> names;
    DIR* d = ::opendir(dir.constData());
    while (const dirent* e = ::readdir(d)) {
        const size_t n = strlen(e->d_name);
        if (n > 4 && strcasecmp(e->d_name + n - 4, ".mp3") == 0)
            names.emplace_back(e->d_name);
    }
    ::closedir(d);
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        return strcasecmp(a.c_str(), b.c_str()) < 0;
    });
    return names.size();
}

} // namespace

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    const int files = argc > 1 ? std::atoi(argv[1]) : 20000;
    const int runs = argc > 2 ? std::atoi(argv[2]) : 5;
    QTemporaryDir tmp;
    qputenv("XDG_CONFIG_HOME", tmp.filePath(QStringLiteral("config")).toUtf8());
    const QString folder = tmp.filePath(QStringLiteral("music"));
    QDir().mkpath(folder);
    for (int i = 0; i < files; ++i) {
        const QByteArray name = QStringLiteral("%1/%2 - Some Artist - Track title %3.mp3")
                                    .arg(folder)
                                    .arg(files - i, 5, 10, QLatin1Char('0'))
                                    .arg(i)
                                    .toUtf8();
        ::close(::open(name.constData(), O_CREAT | O_WRONLY, 0644));
    }
    QApplication app(argc, argv);
    TForm1 window;
    window.show();
    QApplication::processEvents();

    std::vector<double> morwick, floor;
    for (int r = 0; r < runs; ++r) {
        QElapsedTimer t;
        t.start();
        window.openDirectory(folder);
        QApplication::processEvents(); // until the list is laid out and painted
        morwick.push_back(double(t.nsecsElapsed()) / 1e6);
        if (window.fileList()->count() != files)
            qFatal("listed %d of %d", window.fileList()->count(), files);
        window.openDirectory(tmp.path());
        QApplication::processEvents();

        t.start();
        if (floorList(EncodeFileName(folder)) != size_t(files))
            qFatal("floor listed too few");
        floor.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    const double m = median(morwick), f = median(floor);
    std::printf("open a folder of %d files (median of %d)\n", files, runs);
    std::printf("  %-10s %9.1f ms  %10.0f files/s\n", "floor", f, files / f * 1000);
    std::printf("  %-10s %9.1f ms  %10.0f files/s  %.2f of the floor\n", "Morwick", m, files / m * 1000,
                f / m);
    return 0;
}
