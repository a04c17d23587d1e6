#include "commands/Settings.h"

#include "core/IoError.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

namespace {

const QString kSection = QStringLiteral("morwick");

QString findCaseless(const QStringList& names, const QString& name) {
    for (const QString& n : names) {
        if (n.compare(name, Qt::CaseInsensitive) == 0)
            return n;
    }
    return {};
}

} // namespace

QString SettingsFilePath() {
    QString dir = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (dir.isEmpty() || !QDir::isAbsolutePath(dir))
        dir = QDir::homePath() + QStringLiteral("/.config");
    return dir + QStringLiteral("/morwick.ini");
}

SettingsReader::SettingsReader() : path_(SettingsFilePath()) {
    if (!QFileInfo::exists(path_))
        return;
    QSettings settings(path_, QSettings::IniFormat);
    group_ = findCaseless(settings.childGroups(), kSection);
    if (group_.isEmpty())
        return;
    settings.beginGroup(group_);
    keys_ = settings.childKeys();
}

std::optional<int32_t> SettingsReader::read(const QString& name) const {
    const QString key = findCaseless(keys_, name);
    if (key.isEmpty())
        return std::nullopt;
    QSettings settings(path_, QSettings::IniFormat);
    const QVariant value = settings.value(group_ + QLatin1Char('/') + key);
    bool ok = value.typeId() == QMetaType::QString;
    const int32_t number = ok ? value.toString().toInt(&ok, 10) : 0;
    if (!ok)
        ThrowError(QStringLiteral("Invalid data type for '%1'").arg(name));
    return number;
}

void LoadSettings(StoredSettings& values) {
    const SettingsReader reader;
    if (!reader.exists())
        return;
    for (const SettingDefinition& setting : kSettings) {
        if (const auto value = reader.read(QLatin1String(setting.key)))
            values.*setting.holder = *value;
    }
}

void SaveSettings(const StoredSettings& values, std::span<const SettingDefinition> which) {
    QSettings settings(SettingsFilePath(), QSettings::IniFormat);
    QString group = findCaseless(settings.childGroups(), kSection);
    if (group.isEmpty())
        group = kSection;
    settings.beginGroup(group);
    const QStringList keys = settings.childKeys();
    for (const SettingDefinition& setting : which) {
        const QString name = QLatin1String(setting.key);
        const int32_t value = values.*setting.holder;
        QString key = findCaseless(keys, name);
        if (key.isEmpty())
            key = name;
        settings.setValue(key, value);
        settings.sync(); // one write per value, so a failure names the value that failed
        if (settings.status() != QSettings::NoError)
            ThrowError(QStringLiteral("Failed to set data for '%1'").arg(name));
    }
}
