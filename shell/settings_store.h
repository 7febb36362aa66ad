// The per-user settings store: string values by application name, section and key.
#pragma once

#include <QString>

#include <map>
#include <memory>

class QSettings;

namespace rowlark::shell {

class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    // The stored value, or fallback when the key was never written.
    virtual QString get(const QString& app, const QString& section, const QString& key,
                        const QString& fallback) const = 0;
    virtual void save(const QString& app, const QString& section, const QString& key,
                      const QString& value) = 0;
};

// QSettings in the platform's per-user place: on Windows the registry key the stored logins live
// under (HKEY_CURRENT_USER\Software\VB and VBA Program Settings\Quenbrook\Rowlark), so that
// logins stored there keep working; elsewhere an INI file per application under the user's config
// folder, or under ROWLARK_SETTINGS_DIR when that is set (tests and the demo use it). The file is
// readable and writable by its owner only: it holds a password.
class QSettingsStore : public SettingsStore {
public:
    QSettingsStore();
    ~QSettingsStore() override;
    QString get(const QString& app, const QString& section, const QString& key,
                const QString& fallback) const override;
    void save(const QString& app, const QString& section, const QString& key,
              const QString& value) override;
    // The file (or registry path) that holds an application's values.
    QString location(const QString& app) const;

private:
    QSettings& settings(const QString& app) const;
    mutable std::map<QString, std::unique_ptr<QSettings>> open_;
};

// The store the program uses; a QSettingsStore unless replaced (tests replace it).
SettingsStore& settingsStore();
void setSettingsStore(std::unique_ptr<SettingsStore> store);

QString GetSetting(const QString& app, const QString& section, const QString& key,
                   const QString& fallback = {});
void SaveSetting(const QString& app, const QString& section, const QString& key,
                 const QString& value);

} // namespace rowlark::shell
