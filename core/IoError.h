#pragma once

#include <QString>
#include <stdexcept>
#include <utility>

// The one failure type that ends a running command. It carries the message shown in the
// program's error box ("Read beyond end of file", "Disk full", "I/O error 5", ...). Every
// command handler runs inside one catch of this type, so it never crosses the event loop.
class CommandError : public std::runtime_error {
public:
    explicit CommandError(const QString& message)
        : std::runtime_error(message.toStdString()), message_(message) {}
    const QString& message() const { return message_; }

private:
    QString message_;
};

// A change that a group of changes held (see ChangeGroup) failed as it was ended: `path` names
// its file as the group was given it. The changes held after it were dropped, their files left
// as they were.
class GroupFailure : public CommandError {
public:
    GroupFailure(QString path, const CommandError& error)
        : CommandError(error.message()), path_(std::move(path)) {}
    const QString& path() const { return path_; }

private:
    QString path_;
};

// Runtime messages for file failures.
inline constexpr const char* kReadBeyondEnd = "Read beyond end of file";
inline constexpr const char* kDiskFull = "Disk full";
inline constexpr const char* kFileNotFound = "File not found";
inline constexpr const char* kAccessDenied = "File access denied";
inline constexpr const char* kRangeCheck = "Range check error";

// The message for a failed system call: "File not found", "File access denied", "Disk full"
// or "I/O error <errno>".
QString IoErrorMessage(int err);

[[noreturn]] void ThrowIoError(int err);

// A message as the program shows it to the user (its error box, morwick-cli's standard error): a
// full stop added when its last character sorts after "." (a letter or a digit; none after a
// closing quote).
QString ErrorSentence(const QString& message);
[[noreturn]] void ThrowError(const QString& message);
