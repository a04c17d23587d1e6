#include "TestFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>
#include <csignal>
#include <cstring>
#include <sys/wait.h>
#include <unistd.h>

namespace testfiles {

QByteArray read(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        qFatal("cannot read %s", qPrintable(path));
    return f.readAll();
}

void write(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
}

QByteArray id3v2Tag(int body) {
    QByteArray tag("ID3\x03\x00\x00", 6);
    tag += char((body >> 21) & 0x7F);
    tag += char((body >> 14) & 0x7F);
    tag += char((body >> 7) & 0x7F);
    tag += char(body & 0x7F);
    return tag + QByteArray(body, 'h');
}

int inChild(const std::function<void()>& work) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        work();
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return status;
}

bool killedBySigkill(int status) {
    return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
}

QString fixture(const QString& name) {
    QString dir = qEnvironmentVariable("MORWICK_FIXTURES");
    if (dir.isEmpty())
        dir = QStringLiteral("tests/data");
    return dir + QLatin1Char('/') + name;
}

QString copyFixture(const QString& name, const QString& dir, const QString& as) {
    const QString target = dir + QLatin1Char('/') + (as.isEmpty() ? name : as);
    write(target, read(fixture(name)));
    return target;
}

ID3Tag makeTag(const char* title, const char* artist, const char* album, const char* year,
               const char* comment, int track, int genre) {
    ID3Tag tag{};
    SetTagMagic(tag);
    std::strncpy(tag.title, title, kTextWidth);
    std::strncpy(tag.artist, artist, kTextWidth);
    std::strncpy(tag.album, album, kTextWidth);
    std::strncpy(tag.year, year, kYearWidth);
    std::strncpy(tag.comment, comment, kCommentWidth);
    tag.track = uint8_t(track);
    tag.genre = uint8_t(genre);
    return tag;
}

QByteArray tagBytes(const ID3Tag& tag) {
    return QByteArray(reinterpret_cast<const char*>(&tag), kTagSize);
}

QByteArray audio(int size, char seed) {
    QByteArray out(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        out[i] = char('a' + (seed + i * 7) % 26); // lower-case letters only
    return out;
}

QStringList listing() {
    return QDir::current().entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

WorkDir::WorkDir() : previous_(QDir::currentPath()) {
    entered_ = dir_.isValid() && QDir::setCurrent(dir_.path());
}

WorkDir::~WorkDir() {
    QDir::setCurrent(previous_);
}

} // namespace testfiles

namespace QTest {
template <> char* toString(const Id3v2Texts& t) {
    const QStringList fields{t.title, t.artist, t.album, t.year, t.comment, t.track, t.genre};
    return qstrdup(fields.join(QStringLiteral(" | ")).toUtf8().constData());
}
} // namespace QTest
