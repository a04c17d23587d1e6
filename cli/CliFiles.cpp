#include "cli/CliFiles.h"

#include "core/Directory.h"
#include "core/FileName.h"
#include "core/IoError.h"

#include <QHash>
#include <QPair>
#include <QSet>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Enough of a file's start to hold the text frames of its ID3v2 tag, whose in-place rewrite may
// leave its size and (within one clock tick) its times as they were.
constexpr qsizetype kHeadBytes = 64 * 1024;
constexpr qsizetype kTailBytes = 128;

std::optional<QString> resolved(const QString& path) {
    char* real = ::realpath(EncodeFileName(path).constData(), nullptr);
    if (real == nullptr)
        return std::nullopt;
    const QString result = DecodeFileName(QByteArray(real));
    std::free(real);
    return result;
}

QString joined(const QString& folder, const QString& name) {
    if (folder.isEmpty())
        return name;
    return folder.endsWith(QLatin1Char('/')) ? folder + name : folder + QLatin1Char('/') + name;
}

class Gatherer {
public:
    explicit Gatherer(bool recursive) : recursive_(recursive) {}

    void addFolder(const QString& shown, const QString& absolute) {
        if (seenFolders_.contains(absolute))
            return;
        seenFolders_.insert(absolute);
        FolderFiles& folder = folderFor(shown, absolute);
        try {
            for (const QString& name : ListDirectory(absolute, EntryKind::Mp3File))
                addName(folder, name);
            if (!recursive_)
                return;
            for (const QString& sub : ListDirectory(absolute, EntryKind::Folder)) {
                if (const auto real = resolved(joined(absolute, sub)))
                    addFolder(joined(shown.isEmpty() ? QString() : shown, sub), *real);
            }
        } catch (const CommandError& e) {
            result_.unreadable.append(DisplayFileName(shown.isEmpty() ? absolute : shown) +
                                      QStringLiteral(": ") + e.message());
        }
    }

    void addFile(const QString& path) {
        const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
        const QString shown = slash < 0 ? QString() : path.left(slash + 1);
        const QString name = path.mid(slash + 1);
        const auto absolute = resolved(shown.isEmpty() ? QStringLiteral(".") : shown);
        if (!absolute || name.isEmpty()) {
            result_.missing.append(path);
            return;
        }
        FolderFiles& folder = folderFor(shown, *absolute);
        addName(folder, name);
        givenFiles_.insert(folder.folder);
    }

    void addMissing(const QString& path) { result_.missing.append(path); }

    GatheredFiles finish() {
        // Given files take the window's list order within their folder; the ones it would not
        // list keep the order given, after them.
        for (FolderFiles& folder : result_.folders) {
            // A folder only listed is in the window's order already.
            if (!givenFiles_.contains(folder.folder))
                continue;
            QStringList listed;
            try {
                listed = ListDirectory(folder.folder, EntryKind::Mp3File);
            } catch (const CommandError&) {
            }
            // Sets, not list look-ups: a folder of ten thousand files would otherwise cost a
            // hundred million comparisons.
            const QSet<QString>& named = names_[folder.folder];
            const QSet<QString> listedSet(listed.cbegin(), listed.cend());
            QStringList ordered;
            for (const QString& name : listed) {
                if (named.contains(name))
                    ordered.append(name);
            }
            for (const QString& name : folder.names) {
                if (!listedSet.contains(name))
                    ordered.append(name);
            }
            folder.names = ordered;
        }
        std::erase_if(result_.folders, [](const FolderFiles& f) { return f.names.isEmpty(); });
        return std::move(result_);
    }

private:
    FolderFiles& folderFor(const QString& shown, const QString& absolute) {
        for (FolderFiles& folder : result_.folders) {
            if (folder.folder == absolute)
                return folder;
        }
        QString spelled = shown;
        if (!spelled.isEmpty() && !spelled.endsWith(QLatin1Char('/')))
            spelled += QLatin1Char('/');
        result_.folders.push_back({absolute, spelled, {}});
        return result_.folders.back();
    }
    // Each name once per folder, found in a set as the folder grows.
    void addName(FolderFiles& folder, const QString& name) {
        QSet<QString>& names = names_[folder.folder];
        if (names.contains(name))
            return;
        names.insert(name);
        folder.names.append(name);
    }

    bool recursive_;
    GatheredFiles result_;
    QSet<QString> seenFolders_;
    QHash<QString, QSet<QString>> names_; // by absolute folder: the names in folder.names
    QSet<QString> givenFiles_;            // folders that files were named in
};

int64_t nanoseconds(const struct timespec& t) {
    return int64_t(t.tv_sec) * 1000000000 + t.tv_nsec;
}

// A regular file's size and times into `state`.
void noteStat(FolderSelection::State& state, const struct stat& st) {
    state.size = st.st_size;
    state.mtime = nanoseconds(st.st_mtim);
    state.ctime = nanoseconds(st.st_ctim);
}

bool sameStat(const FolderSelection::State& a, const FolderSelection::State& b) {
    return a.size == b.size && a.mtime == b.mtime && a.ctime == b.ctime;
}

// With `before`, a file whose size or times moved since `before` has changed whatever its bytes
// say: it is neither opened nor read, which after a batch is the case for nearly every file.
FolderSelection::State snapshot(const QString& name, const FolderSelection::State* before = nullptr) {
    FolderSelection::State state;
    const QByteArray path = EncodeFileName(name);
    struct stat own {};
    if (::lstat(path.constData(), &own) != 0)
        return state;
    state.exists = true;
    state.dev = own.st_dev;
    state.ino = own.st_ino;
    if (before) {
        struct stat st {};
        if (::stat(path.constData(), &st) == 0 && S_ISREG(st.st_mode)) {
            noteStat(state, st);
            if (!sameStat(state, *before))
                return state;
            state = FolderSelection::State{true, own.st_dev, own.st_ino};
        }
    }
    const int fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return state;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        noteStat(state, st);
        static thread_local QByteArray buffer(kHeadBytes + kTailBytes, Qt::Uninitialized);
        const ssize_t head = ::pread(fd, buffer.data(), size_t(kHeadBytes), 0);
        // A file the head read whole has its last bytes in the buffer already.
        const char* tailBytes = buffer.constData() + kHeadBytes;
        ssize_t tail = -1;
        if (head >= 0 && head >= st.st_size) {
            tail = std::min<ssize_t>(head, kTailBytes);
            tailBytes = buffer.constData() + head - tail;
        } else if (head >= 0) {
            tail = ::pread(fd, buffer.data() + kHeadBytes, size_t(kTailBytes),
                           std::max<off_t>(0, st.st_size - kTailBytes));
        }
        if (head >= 0 && tail >= 0)
            state.tagHash = qHashBits(tailBytes, size_t(tail), qHashBits(buffer.constData(), size_t(head)));
    }
    ::close(fd);
    return state;
}

bool sameContent(const FolderSelection::State& a, const FolderSelection::State& b) {
    return sameStat(a, b) && a.tagHash == b.tagHash;
}

// Every name in the working directory, hidden ones included: a rename may give any name.
QStringList allNames() {
    QStringList names;
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir("."), ::closedir);
    if (!dir)
        return names;
    while (const dirent* entry = ::readdir(dir.get())) {
        const QByteArray name(entry->d_name);
        if (name != "." && name != "..")
            names.append(DecodeFileName(name));
    }
    return names;
}

} // namespace

GatheredFiles GatherFiles(const QStringList& paths, bool recursive) {
    Gatherer gatherer(recursive);
    for (const QString& path : paths) {
        struct stat st {};
        if (::stat(EncodeFileName(path).constData(), &st) != 0) {
            gatherer.addMissing(path);
            continue;
        }
        if (S_ISDIR(st.st_mode)) {
            if (const auto absolute = resolved(path))
                gatherer.addFolder(path == QLatin1String(".") ? QString() : path, *absolute);
            continue;
        }
        gatherer.addFile(path);
    }
    return gatherer.finish();
}

FolderSelection::FolderSelection(const QStringList& names)
    : names_(names), selected_(size_t(names.size()), true), before_(size_t(names.size())),
      visited_(size_t(names.size()), false) {}

void FolderSelection::deselect(int index) {
    selected_.at(size_t(index)) = false;
    if (!visited_.at(size_t(index))) {
        visited_.at(size_t(index)) = true;
        before_.at(size_t(index)) = snapshot(names_.at(index));
    }
}

void FolderSelection::reselect(int index) {
    selected_.at(size_t(index)) = true;
}

void FolderSelection::reread() {
    std::fill(selected_.begin(), selected_.end(), false);
}

std::vector<FileChange> FolderSelection::changes() const {
    std::vector<FileChange> changes;
    // Where each identity stands now, looked up once for the folder.
    std::optional<QHash<QPair<dev_t, ino_t>, QString>> current;
    for (int i = 0; i < count(); ++i) {
        if (!visited_.at(size_t(i)))
            continue;
        const State& before = before_.at(size_t(i));
        if (!before.exists)
            continue;
        FileChange change{names_.at(i), names_.at(i), false, false};
        State after = snapshot(names_.at(i), &before);
        if (!after.exists || after.ino != before.ino || after.dev != before.dev) {
            if (!current) {
                current.emplace();
                for (const QString& name : allNames()) {
                    struct stat st {};
                    if (::lstat(EncodeFileName(name).constData(), &st) == 0)
                        current->insert({st.st_dev, st.st_ino}, name);
                }
            }
            const QString moved = current->value({before.dev, before.ino});
            if (!moved.isEmpty() && moved != change.oldName) {
                change.newName = moved;
                change.renamed = true;
                after = snapshot(moved, &before);
            } else if (!after.exists) {
                continue; // gone, not by this command's hand
            }
            // Else rewritten through a temporary: the same name, a new identity.
        }
        change.rewritten = !sameContent(before, after);
        if (change.renamed || change.rewritten)
            changes.push_back(change);
    }
    return changes;
}
