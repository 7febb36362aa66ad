#include "settings_store.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

namespace rowlark::shell {
namespace {

std::unique_ptr<SettingsStore>& current() {
    static std::unique_ptr<SettingsStore> store;
    return store;
}

constexpr QFileDevice::Permissions kOwnerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

} // namespace

QSettingsStore::QSettingsStore() = default;
QSettingsStore::~QSettingsStore() = default;

QString QSettingsStore::location(const QString& app) const {
    return settings(app).fileName();
}

QSettings& QSettingsStore::settings(const QString& app) const {
    auto& s = open_[app];
    if (s) return *s;
    const QByteArray dir = qgetenv("ROWLARK_SETTINGS_DIR");
    if (!dir.isEmpty()) {
        QDir().mkpath(QString::fromLocal8Bit(dir));
        s = std::make_unique<QSettings>(QDir(QString::fromLocal8Bit(dir)).filePath(app + ".ini"),
                                        QSettings::IniFormat);
    } else {
#ifdef Q_OS_WIN
        s = std::make_unique<QSettings>(
            "HKEY_CURRENT_USER\\Software\\VB and VBA Program Settings\\" + app,
            QSettings::NativeFormat);
#else
        s = std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope, app);
#endif
    }
    return *s;
}

QString QSettingsStore::get(const QString& app, const QString& section, const QString& key,
                            const QString& fallback) const {
    return settings(app).value(section + "/" + key, fallback).toString();
}

void QSettingsStore::save(const QString& app, const QString& section, const QString& key,
                          const QString& value) {
    QSettings& s = settings(app);
    const QString file = s.fileName();
    const bool isFile = s.format() == QSettings::IniFormat;
    if (isFile && !QFileInfo::exists(file)) {
        // Create it owner-only before the first value, the password among them, is written.
        QDir().mkpath(QFileInfo(file).absolutePath());
        QFile f(file);
        if (f.open(QIODevice::WriteOnly)) f.close();
        QFile::setPermissions(file, kOwnerOnly);
    }
    s.setValue(section + "/" + key, value);
    s.sync();
    if (isFile) QFile::setPermissions(file, kOwnerOnly);
}

SettingsStore& settingsStore() {
    if (!current()) current() = std::make_unique<QSettingsStore>();
    return *current();
}

void setSettingsStore(std::unique_ptr<SettingsStore> store) {
    current() = std::move(store);
}

QString GetSetting(const QString& app, const QString& section, const QString& key,
                   const QString& fallback) {
    return settingsStore().get(app, section, key, fallback);
}

void SaveSetting(const QString& app, const QString& section, const QString& key,
                 const QString& value) {
    settingsStore().save(app, section, key, value);
}

} // namespace rowlark::shell
