#pragma once

#include <QString>

#include <functional>

class QWidget;

// How a window tells the user something it cannot put right itself: one
// alert with one "OK" button, shown window-modally on the window that asked
// and not waited for; `onEnd` runs when the user dismisses it. Windows hold
// it as this interface so tests can record what would have been shown.
// Main thread only.
class TMKAlertService {
public:
    enum class Kind { Information, Warning };

    virtual ~TMKAlertService() = default;
    virtual void showAlert(QWidget* window, Kind kind, const QString& message, const QString& informative,
                           std::function<void()> onEnd = {}) = 0;
    // Asks before something that cannot be undone: a destructive `acceptText`
    // button beside Cancel, the default, so a stray Return or Space loses
    // nothing. Returns at once; `onAnswer` runs with the choice when it closes.
    virtual void askQuestion(QWidget* window, const QString& message, const QString& informative,
                             const QString& acceptText, std::function<void(bool accepted)> onAnswer) = 0;
};

// A window-modal QMessageBox on `window` (application-modal without one).
class TMKMessageBoxAlertService final : public TMKAlertService {
public:
    void showAlert(QWidget* window, Kind kind, const QString& message, const QString& informative,
                   std::function<void()> onEnd = {}) override;
    void askQuestion(QWidget* window, const QString& message, const QString& informative, const QString& acceptText,
                     std::function<void(bool accepted)> onAnswer) override;
};

// The message boxes, for windows that are given no service of their own.
[[nodiscard]] TMKAlertService& TMKMessageBoxAlerts();

// Asks on `window`, window-modally, whether to go on with `acceptKey`'s
// action; `onAccept` runs only when the user says so. Cancel is the
// default, so a stray Return or Space loses nothing. Returns at once.
void TKAskToDiscard(QWidget* window, const QString& informativeText, const char* acceptKey,
                    std::function<void()> onAccept);
