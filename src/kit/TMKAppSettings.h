#pragma once

#include "settings/TKUserDefaults.h"

#include <QString>

#include <memory>

class QSettings;

// The application's settings store: the user's (empty path), or an INI file
// at `path` (tests, --settings). Every window opens it through here.
[[nodiscard]] std::unique_ptr<QSettings> TMKAppSettings(const QString& path = {});

// The user defaults of the application, in that store.
class TKQSettingsUserDefaults final : public TKUserDefaults {
public:
    explicit TKQSettingsUserDefaults(QString path = {}) : m_path(std::move(path)) {}
    [[nodiscard]] std::optional<int64_t> integerForKey(std::string_view key) const override;
    void setInteger(std::string_view key, int64_t value) override;
    void synchronize() override;

private:
    QString m_path; // empty: the user's settings
};
