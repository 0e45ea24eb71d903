#pragma once

#include <QString>

class QWidget;

// How the viewer tells the user something it cannot put right itself: one
// alert with one "OK" button, shown on the window that asked and not
// waited for. Windows hold it as this interface so tests can record what
// would have been shown. Main thread only.
class TMKAlertService {
public:
    enum class Kind { Information, Warning };

    virtual ~TMKAlertService() = default;
    virtual void showAlert(QWidget* window, Kind kind, const QString& message, const QString& informative) = 0;
};

// A window-modal QMessageBox on `window` (application-modal without one).
class TMKMessageBoxAlertService final : public TMKAlertService {
public:
    void showAlert(QWidget* window, Kind kind, const QString& message, const QString& informative) override;
};
