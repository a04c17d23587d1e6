#pragma once

#include <QByteArray>
#include <QString>
#include <cstddef>
#include <cstdint>

// Shared by the fuzz targets: one private scratch folder per process (under $TMPDIR, which the
// run script points at a tmpfs), plain whole-file reads and writes, and a hard stop that
// libFuzzer records as a crash with the input that caused it.
namespace fuzzsupport {

// The scratch folder, created on first use and removed with its content at exit.
const QByteArray& scratchDir();
// scratchDir() + "/" + name, as a Morwick name.
QString scratchFile(const char* name);

QByteArray readAll(const QString& path);
// Replaces the file's content (0600), or aborts when the scratch folder cannot take it.
void writeAll(const QString& path, const QByteArray& bytes);
// How many entries besides "." and ".." the scratch folder holds.
int scratchEntries();

// Reports a broken property and aborts, so libFuzzer keeps the input as a crash.
[[noreturn]] void fail(const char* what);
inline void check(bool ok, const char* what) {
    if (!ok)
        fail(what);
}

inline QByteArray bytesOf(const uint8_t* data, size_t size) {
    return QByteArray(reinterpret_cast<const char*>(data), qsizetype(size));
}

} // namespace fuzzsupport
