#pragma once

#include "settings/TKUserDefaults.h"

#include <QString>

#include <functional>

class QWidget;

// A one-button ("OK") alert shown window-modally on `window`, a warning
// unless `success`; the call returns at once. `onEnd` runs when the user
// dismisses it.
void TKShowAlertSheet(QWidget* window, const QString& messageText, const QString& informativeText,
                      std::function<void()> onEnd = {}, bool success = false);
void TKShowAlert(QWidget* window, const QString& messageText, const QString& informativeText);

// The user defaults of the application, in QSettings.
class TKQSettingsUserDefaults final : public TKUserDefaults {
public:
    explicit TKQSettingsUserDefaults(QString path = {}) : m_path(std::move(path)) {}
    [[nodiscard]] std::optional<int64_t> integerForKey(std::string_view key) const override;
    void setInteger(std::string_view key, int64_t value) override;
    void synchronize() override;

private:
    QString m_path; // empty: the user's settings
};
