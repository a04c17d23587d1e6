#pragma once

#include "core/Id3Tag.h"
#include "core/Id3v2Tag.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <functional>

// Small file helpers shared by the tests. Paths are plain UTF-8 paths.
namespace testfiles {

QByteArray read(const QString& path);
void write(const QString& path, const QByteArray& bytes);
// The path of a fixture MP3 from tests/data/ (read-only: copy before changing it).
QString fixture(const QString& name);
// Copies a fixture into dir under `as` (or its own name), writable; returns the new path.
QString copyFixture(const QString& name, const QString& dir, const QString& as = {});
// A tag with the given texts (Latin-1), track and genre.
ID3Tag makeTag(const char* title, const char* artist = "", const char* album = "", const char* year = "",
               const char* comment = "", int track = 0, int genre = kNoGenre);
QByteArray tagBytes(const ID3Tag& tag);
// `size` bytes of stand-in audio that holds neither "TAG" nor "ID3" nor 0xFF sync bytes.
QByteArray audio(int size, char seed = 'a');

// An ID3v2.3 tag whose body is `body` bytes of 'h' (no footer).
QByteArray id3v2Tag(int body);

// Runs `work` in a child process (fork) and waits for it; the child's wait status.
int inChild(const std::function<void()>& work);
// Whether a wait status says SIGKILL ended the process.
bool killedBySigkill(int status);

// The names of the files in the working directory, hidden ones included, sorted.
QStringList listing();

// A temporary folder that is the working directory while it lives; the old one comes back
// when it goes.
class WorkDir {
public:
    WorkDir();
    ~WorkDir();
    WorkDir(const WorkDir&) = delete;
    WorkDir& operator=(const WorkDir&) = delete;
    bool isValid() const { return dir_.isValid() && entered_; }
    QString path() const { return dir_.path(); }
    QString filePath(const QString& name) const { return dir_.filePath(name); }

private:
    QString previous_;
    QTemporaryDir dir_;
    bool entered_ = false;
};

} // namespace testfiles

// Tag texts in a failed comparison, field by field.
namespace QTest {
template <> char* toString(const Id3v2Texts& texts);
} // namespace QTest
