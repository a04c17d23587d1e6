#pragma once

#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>
#include <optional>
#include <span>

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

// The ten stored settings, as the numbers the file holds. Values out of their range are kept
// as loaded, so that a save writes them back unchanged.
struct StoredSettings {
    int32_t dirnameFormat = 0;  // DirnameFormat; -1 when no entry is chosen
    int32_t filenameFormat = 0; // FilenameFormat; -1 when none is chosen
    int32_t ask = 1;            // "Ask title if over 30 chars"
    int32_t ask64 = 0;          // "Ask filename if over 64 chars"
    int32_t statusBar = 0;      // "Show tag in statusbar"
    int32_t starts = 0;         // grows at each Save settings and Exit
    int32_t uses = 0;           // files tagged
    int32_t trim1 = 0;          // Case: 0 Capitalize, else Sentence
    int32_t trim2 = 0;          // Numbers to: 0 "xx. ", else "xx - "
    int32_t id3v2 = 0;          // "Also use ID3v2 tags"
};

// One setting: its name in the file and where it lives in StoredSettings.
struct SettingDefinition {
    const char* key;
    int32_t StoredSettings::*holder;
};

// Every setting, in the order in which they are loaded and saved.
inline constexpr std::array<SettingDefinition, 10> kSettings = {{
    {"dirnameformat", &StoredSettings::dirnameFormat},
    {"filenameformat", &StoredSettings::filenameFormat},
    {"ask", &StoredSettings::ask},
    {"ask64", &StoredSettings::ask64},
    {"statusbar", &StoredSettings::statusBar},
    {"starts", &StoredSettings::starts},
    {"uses", &StoredSettings::uses},
    {"trim1", &StoredSettings::trim1},
    {"trim2", &StoredSettings::trim2},
    {"id3v2", &StoredSettings::id3v2},
}};

// What Exit saves: the two counters alone.
inline constexpr std::array<SettingDefinition, 2> kCounterSettings = {{
    {"starts", &StoredSettings::starts},
    {"uses", &StoredSettings::uses},
}};

// One load: each stored setting, in table order, replaces its value in `values`; a setting
// that is not stored leaves its value alone, and so does a missing file or section. A value
// that is not a 32-bit integer throws CommandError "Invalid data type for '<name>'"; the ones
// loaded before it stay loaded.
void LoadSettings(StoredSettings& values);

// One save of the given settings, in order, creating the file and section when missing. The
// first value that cannot be written throws CommandError "Failed to set data for '<name>'";
// the values after it are not written.
void SaveSettings(const StoredSettings& values, std::span<const SettingDefinition> which = kSettings);
