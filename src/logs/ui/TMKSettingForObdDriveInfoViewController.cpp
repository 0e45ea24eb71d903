#include "logs/ui/TMKSettingForObdDriveInfoViewController.h"

#include "kit/TMKScreenFit.h"
#include "strings/TMKStrings.h"

#include <QSize>

namespace {

// Room for the fifteen columns; less on a smaller screen.
constexpr QSize kFlashDataWindowSize{1040, 560};

} // namespace

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
    const bool made = !m_flashDataPage;
    if (made) {
        m_flashDataPage = std::make_unique<TMKSettingForFlashDataViewController>();
        m_flashDataPage->setWindowFlag(Qt::Window);
        m_flashDataPage->setWindowTitle(TMKLocalizedString("setting.flashdata.window_title"));
        m_flashDataPage->resize(kFlashDataWindowSize);
        m_flashDataPage->setServices(services());
    }
    m_flashDataPage->setMainController(mainController());
    m_flashDataPage->setFlashDataFilePath(path);
    m_flashDataPage->show();
    if (made)
        TKFitToScreen(m_flashDataPage.get(), kFlashDataWindowSize);
    // In front of the settings window, whose open panel just closed, and
    // there while it reads: the read shows no sheet on the settings window.
    m_flashDataPage->raise();
    m_flashDataPage->activateWindow();
    m_flashDataPage->loadFlashDataFile();
}
