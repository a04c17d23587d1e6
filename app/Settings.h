#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

// The per-user settings: an INI file "morwick.ini" in the user's configuration folder
// ($XDG_CONFIG_HOME, else ~/.config), section "morwick". Section and value names are matched
// without regard to case; every value is a 32-bit decimal integer. The file is opened for one
// load or save and written atomically.

QString SettingsFilePath();

// One load: reads values from the section if the file and the section exist. Never creates
// anything.
class SettingsReader {
public:
    SettingsReader();
    bool exists() const { return !group_.isEmpty(); }
    // The stored value, nothing when it is absent; a value that is not a 32-bit integer throws
    // CommandError "Invalid data type for '<name>'".
    std::optional<int32_t> read(const QString& name) const;

private:
    QString path_;
    QString group_;
    QStringList keys_;
};

// One save: writes the values in order, creating the file and section when missing. The
// first value that cannot be written throws CommandError "Failed to set data for '<name>'";
// the values after it are not written.
void WriteSettings(const std::vector<std::pair<QString, int32_t>>& values);
