// Opening a folder in the real main window until the list is filled and painted.

#include "app/FileList.h"
#include "bench/BenchTasks.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <algorithm>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <strings.h>
#include <unistd.h>

size_t floorList(const char* dir) {
    std::vector<std::string> names;
    DIR* d = ::opendir(dir);
    if (!d)
        die("floor: opendir");
    while (const dirent* e = ::readdir(d)) {
        const size_t n = std::strlen(e->d_name);
        if (e->d_name[0] != '.' && n > 4 && strcasecmp(e->d_name + n - 4, ".mp3") == 0)
            names.emplace_back(e->d_name);
    }
    ::closedir(d);
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        return strcasecmp(a.c_str(), b.c_str()) < 0;
    });
    return names.size();
}

void OpenFolderBench(const Config& cfg, BenchWindow& window, const QString& root, Report& report) {
    const int n = cfg.folderFiles;
    say("open a folder of %d files", n);
    const QString folder = root + QStringLiteral("/folder");
    QDir().mkpath(folder);
    for (int i = 0; i < n; ++i) {
        const QByteArray name = QFile::encodeName(QStringLiteral("%1/%2 - Some Artist - Track title %3.mp3")
                                                      .arg(folder)
                                                      .arg(n - i, 5, 10, QLatin1Char('0'))
                                                      .arg(i));
        ::close(::open(name.constData(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644));
    }
    std::vector<double> ours, floor;
    for (int r = 0; r < cfg.runs; ++r) {
        window.open(root); // a small folder first, so that each run fills the list anew
        ours.push_back(timed([&] {
            window.mainWindow.openDirectory(folder);
            QApplication::processEvents(); // until the list is laid out and painted
        }));
        if (window.mainWindow.fileList()->count() != n)
            die("the window listed too few files");
        floor.push_back(timed([&] {
            if (floorList(QFile::encodeName(folder).constData()) != size_t(n))
                die("floor listed too few");
        }));
        say("  run %d: Morwick %.3f s, floor %.3f s", r + 1, ours.back(), floor.back());
    }
    window.open(root);
    TaskResult t{"open a folder of " + std::to_string(n) + " files", {}};
    t.rows.push_back(measured("floor", "readdir, keep *.mp3, sort", n, median(floor), cfg.runs, true));
    t.rows.push_back(
        measured("Morwick open folder", "main window, offscreen, until painted", n, median(ours), cfg.runs));
    report.add(t);
    QDir(folder).removeRecursively();
}
