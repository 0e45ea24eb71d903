#include "viewer/capture/TMKAlertService.h"

#include <QMessageBox>

void TMKMessageBoxAlertService::showAlert(QWidget* window, Kind kind, const QString& message,
                                          const QString& informative)
{
    auto* box = new QMessageBox(kind == Kind::Warning ? QMessageBox::Warning : QMessageBox::Information, message,
                                message, QMessageBox::Ok, window);
    box->setObjectName(QStringLiteral("alertSheet"));
    box->setInformativeText(informative);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(window ? Qt::WindowModal : Qt::ApplicationModal);
    box->open();
}
