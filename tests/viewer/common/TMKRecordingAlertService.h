#pragma once

// An alert service that shows nothing and remembers every alert, for
// tests that check what the user would have been told.

#include "viewer/capture/TMKAlertService.h"

#include <QList>
#include <QPointer>
#include <QString>
#include <QWidget>

class TMKRecordingAlertService final : public TMKAlertService {
public:
    struct Alert {
        QPointer<QWidget> window;
        Kind kind;
        QString message;
        QString informative;
    };

    void showAlert(QWidget* window, Kind kind, const QString& message, const QString& informative) override
    {
        alerts.append(Alert{window, kind, message, informative});
    }

    QList<Alert> alerts;
};
