#include "logs/ui/TMKSettingForObdDriveInfoViewController.h"

#include "strings/TMKStrings.h"

TMKSettingForObdDriveInfoViewController::TMKSettingForObdDriveInfoViewController(QWidget* parent)
    : TMKSettingForFlashDataViewController(TMKLogKind::Obd, parent)
{
}

TMKSettingForObdDriveInfoViewController::~TMKSettingForObdDriveInfoViewController() = default;

QString TMKSettingForObdDriveInfoViewController::missingFileMessageText() const
{
    return QStringLiteral("Alarm");
}

QString TMKSettingForObdDriveInfoViewController::openFileFilter() const
{
    return TMKLocalizedString("setting.obdata.filter_obd") + QStringLiteral(" (*.obd *.OBD);;")
        + TMKLocalizedString("setting.flashdata.filter_drv") + QStringLiteral(" (*.drv *.DRV)");
}

void TMKSettingForObdDriveInfoViewController::openChosenFile(const QString& path)
{
    if (TMKLogKindForPath(path.toStdString()) != TMKLogKind::FlashData) {
        TMKSettingForFlashDataViewController::openChosenFile(path);
        return;
    }
    // A flash data log gets its own page in its own window, which stays
    // open beside the settings window and is reused for the next one.
    if (!m_flashDataPage) {
        m_flashDataPage = std::make_unique<TMKSettingForFlashDataViewController>();
        m_flashDataPage->setWindowFlag(Qt::Window);
        m_flashDataPage->setWindowTitle(TMKLocalizedString("setting.flashdata.window_title"));
        m_flashDataPage->resize(1040, 560);
        m_flashDataPage->setServices(services());
    }
    m_flashDataPage->setMainController(mainController());
    m_flashDataPage->setFlashDataFilePath(path);
    m_flashDataPage->show();
    m_flashDataPage->raise();
    m_flashDataPage->loadFlashDataFile();
}
