#include "kit/TMKAlertService.h"

#include "strings/TMKStrings.h"

#include <QMessageBox>
#include <QPushButton>

void TMKMessageBoxAlertService::showAlert(QWidget* window, Kind kind, const QString& message,
                                          const QString& informative, std::function<void()> onEnd)
{
    auto* box = new QMessageBox(kind == Kind::Warning ? QMessageBox::Warning : QMessageBox::Information, message,
                                message, QMessageBox::Ok, window);
    box->setObjectName(QStringLiteral("alertSheet"));
    box->setInformativeText(informative);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(window ? Qt::WindowModal : Qt::ApplicationModal);
    if (onEnd)
        QObject::connect(box, &QMessageBox::finished, box, [onEnd = std::move(onEnd)](int) { onEnd(); });
    box->open();
}

void TMKMessageBoxAlertService::askQuestion(QWidget* window, const QString& message, const QString& informative,
                                            const QString& acceptText, std::function<void(bool accepted)> onAnswer)
{
    auto* ask = new QMessageBox(QMessageBox::Warning, QStringLiteral("TAMEK"), message, QMessageBox::Cancel, window);
    ask->setObjectName(QStringLiteral("questionSheet"));
    ask->setInformativeText(informative);
    QPushButton* accept = ask->addButton(acceptText, QMessageBox::DestructiveRole);
    accept->setObjectName(QStringLiteral("acceptButton"));
    ask->setDefaultButton(QMessageBox::Cancel);
    ask->setEscapeButton(QMessageBox::Cancel);
    ask->setAttribute(Qt::WA_DeleteOnClose);
    ask->setWindowModality(window ? Qt::WindowModal : Qt::ApplicationModal);
    QObject::connect(ask, &QMessageBox::finished, ask, [ask, accept, onAnswer = std::move(onAnswer)](int) {
        if (onAnswer)
            onAnswer(ask->clickedButton() == accept);
    });
    ask->open();
}

TMKAlertService& TMKMessageBoxAlerts()
{
    static TMKMessageBoxAlertService alerts;
    return alerts;
}

void TKAskToDiscard(QWidget* window, const QString& informativeText, const char* acceptKey,
                    std::function<void()> onAccept)
{
    auto* ask = new QMessageBox(QMessageBox::Question, QStringLiteral("TAMEK"), TMKLocalizedString("msg.discard_edits"),
                                QMessageBox::NoButton, window);
    ask->setObjectName(QStringLiteral("discardSheet"));
    ask->setInformativeText(informativeText);
    ask->setAttribute(Qt::WA_DeleteOnClose);
    ask->setWindowModality(window ? Qt::WindowModal : Qt::ApplicationModal);
    QPushButton* accept = ask->addButton(TMKLocalizedString(acceptKey), QMessageBox::DestructiveRole);
    accept->setObjectName(QStringLiteral("discardButton"));
    QPushButton* keep = ask->addButton(TMKLocalizedString("cancel"), QMessageBox::RejectRole);
    keep->setObjectName(QStringLiteral("keepButton"));
    ask->setDefaultButton(keep);
    ask->setEscapeButton(keep);
    QObject::connect(ask, &QMessageBox::buttonClicked, ask, [accept, onAccept = std::move(onAccept)](QAbstractButton* clicked) {
        if (clicked == accept && onAccept)
            onAccept();
    });
    ask->open();
}
