#pragma once

#include "settings/TKUserDefaults.h"

#include <QSize>
#include <QString>

#include <functional>

class QWidget;

// A one-button ("OK") alert shown window-modally on `window`, a warning
// unless `success`; the call returns at once. `onEnd` runs when the user
// dismisses it.
void TKShowAlertSheet(QWidget* window, const QString& messageText, const QString& informativeText,
                      std::function<void()> onEnd = {}, bool success = false);
void TKShowAlert(QWidget* window, const QString& messageText, const QString& informativeText);
// Asks on `window`, window-modally, whether to go on with `acceptKey`'s
// action; `onAccept` runs only when the user says so. Cancel is the
// default, so a stray Return or Space loses nothing. Returns at once.
void TKAskToDiscard(QWidget* window, const QString& informativeText, const char* acceptKey,
                    std::function<void()> onAccept);

// Sizes a window to `wanted` (its inside), or less where its screen's free
// area is smaller, and centres its frame there. Before the window system
// has framed the window a title bar is assumed, so the frame's top never
// goes above the screen.
void TKFitToScreen(QWidget* window, QSize wanted);

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
