#pragma once

// An alert service that shows nothing and remembers every alert and
// question, for tests that check what the user would have been told.

#include "kit/TMKAlertService.h"

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
        std::function<void()> onEnd; // what dismissing it would run
    };

    void showAlert(QWidget* window, Kind kind, const QString& message, const QString& informative,
                   std::function<void()> onEnd = {}) override
    {
        alerts.append(Alert{window, kind, message, informative, std::move(onEnd)});
    }

    struct Question {
        QString message;
        QString informative;
        QString acceptText;
        std::function<void(bool accepted)> onAnswer; // what the user's choice would run
    };

    void askQuestion(QWidget*, const QString& message, const QString& informative, const QString& acceptText,
                     std::function<void(bool accepted)> onAnswer) override
    {
        questions.append(Question{message, informative, acceptText, std::move(onAnswer)});
    }

    QList<Alert> alerts;
    QList<Question> questions;
};
