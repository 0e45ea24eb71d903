// The settings window under offscreen with a recorded card: the card and
// its file, pages and their validation, save, reset, and the basic page's
// rules.

#include "TKPlatform.h"
#include "TMKSegmentedControl.h"
#include "TMKSettingController.h"
#include "TMKSettingForBasicViewController.h"
#include "TMKCarNumberTextField.h"
#include "TMKStrings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QFile>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTest>

#include <chrono>
#include <cstring>
#include <thread>
#include <unistd.h>

namespace {

// One USB reader whose card is mounted at `mount` under `label`.
class TMKRecordedDisks : public TKDiskSystem {
public:
    QString mount;
    QString label = QStringLiteral("TAMEK");
    bool attached = true;

    std::optional<std::string> blockDevicesJSON() override
    {
        if (!attached)
            return std::string(R"({"blockdevices": []})");
        return QStringLiteral(R"({"blockdevices": [{"name": "sdb", "path": "/dev/sdb", "type": "disk", "tran": "usb",
            "rm": true, "hotplug": true, "ro": false, "size": 7948206080, "model": "Card Reader", "label": null,
            "fstype": null, "mountpoint": null, "pkname": null, "children": [{"name": "sdb1", "path": "/dev/sdb1",
            "type": "part", "tran": null, "rm": true, "hotplug": true, "ro": false, "size": 7946108928,
            "model": null, "label": "%1", "fstype": "vfat", "mountpoint": "%2", "pkname": "sdb"}]}]})")
            .arg(label, mount)
            .toStdString();
    }
    bool itemExists(const std::string& path) override { return QFile::exists(QString::fromStdString(path)); }
};

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeRecord(const QString& path, const _FILEDATA& record)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(reinterpret_cast<const char*>(&record), sizeof record);
}

} // namespace

class TMKSettingWindowTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_card;
    std::shared_ptr<TMKRecordedDisks> m_disks;
    std::shared_ptr<TKMemoryUserDefaults> m_defaults;
    QStringList m_renamed;
    QStringList m_savePanels;
    std::unique_ptr<TMKSettingController> m_window;

    QString configPath() const { return m_card->filePath(QStringLiteral("config.bin")); }

    TMKSettingController::Services services()
    {
        TMKSettingController::Services s;
        s.disks = m_disks;
        s.defaults = m_defaults;
        s.renameVolume = [this](const TKUSBDiskEntity& disk, const QString& label, QString*) {
            m_renamed << QString::fromStdString(disk.deviceFilePath()) + QLatin1Char('=') + label;
            m_disks->label = label;
            return true;
        };
        s.saveFileChooser = [this](QWidget*, const QString& title, const QString& proposed) {
            m_savePanels << title << proposed;
            return QString();
        };
        return s;
    }

    void open()
    {
        m_window = std::make_unique<TMKSettingController>(services());
        QSignalSpy loaded(m_window.get(), &TMKSettingController::settingFileLoaded);
        m_window->show();
        if (m_window->settingFilePath())
            QVERIFY(loaded.wait(5000));
        QCOMPARE(m_window->lastSelectedTabIndex(), 0);
    }

    TMKSettingForBasicViewController* basicPage()
    {
        m_window->changeViewController(1);
        return qobject_cast<TMKSettingForBasicViewController*>(m_window->targetController());
    }

    QMessageBox* shownAlert() const { return m_window->findChild<QMessageBox*>(QStringLiteral("alertSheet")); }

    void dismissAlerts()
    {
        for (QMessageBox* box : m_window->findChildren<QMessageBox*>())
            box->done(QMessageBox::Ok);
        QCoreApplication::processEvents();
    }

private slots:
    void init()
    {
        m_card = std::make_unique<QTemporaryDir>();
        m_disks = std::make_shared<TMKRecordedDisks>();
        m_disks->mount = m_card->path();
        m_defaults = std::make_shared<TKMemoryUserDefaults>();
        m_renamed.clear();
        m_savePanels.clear();
        _FILEDATA record{};
        TKMakeDefaultSettings(record);
        record.gsen_x_threshold = 60;
        record.gsen_y_threshold = 55;
        record.gsen_z_threshold = 55; // driving level "2"
        record.always_mode_timeout = 45; // not in the list
        record.time_gmt = 20;
        writeRecord(configPath(), record);
    }

    void cleanup() { m_window.reset(); }

    void readsTheCardAndRenamesIt()
    {
        m_disks->label = QStringLiteral("NO NAME");
        open();
        QCOMPARE(m_renamed, QStringList{QStringLiteral("/dev/sdb1=TAMEK")});
        QCOMPARE(QString::fromStdString(m_window->settingFilePath().value_or("")), configPath());
        QCOMPARE(QString::fromStdString(m_window->selectedUSBDisk()->volumeName()), QStringLiteral("TAMEK"));
        QVERIFY(m_window->windowTitle().endsWith(QStringLiteral(" : ") + configPath()));
        QVERIFY(m_window->windowTitle().contains(QStringLiteral("[Ver ")));
        QCOMPARE(m_window->filedata()->time_gmt, 20); // the card's zone, not the computer's
        QTRY_VERIFY(!m_window->isLoadingShown());
    }

    void wrongSizeFileIsNotASettingsFile()
    {
        QFile file(configPath());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(427, '\x01'));
        file.close();
        open();
        QVERIFY(!m_window->settingFilePath());
        QVERIFY(!m_window->windowTitle().contains(QStringLiteral(" : ")));
        QVERIFY(m_renamed.isEmpty());
        // Saving puts a whole record on the card found at save time.
        m_window->onSave();
        QCOMPARE(readAll(configPath()).size(), 428);
        QVERIFY(m_savePanels.isEmpty());
    }

    void basicPageShowsTheRecord()
    {
        open();
        auto* page = basicPage();
        QVERIFY(page);
        QCOMPARE(page->gsensorSensitivityDrivingSeg->selectedSegment(), 1);
        QCOMPARE(page->drivingFields[0]->text(), QStringLiteral("0.60"));
        QVERIFY(!page->drivingFields[0]->isEnabled());
        QCOMPARE(page->gsensorSensitivityParkingSeg->selectedSegment(), 4); // 8/8/8: "5"
        QCOMPARE(page->alwaysModeTimeoutSeg->selectedSegment(), 2);          // 45 s shows 30 s
        QVERIFY(page->boxOfPower->isHidden() && page->boxOfCableVoltageLoss->isHidden());
        QCOMPARE(TMKSettingForBasicViewController::findDrivingGsensorThresholdIndexByX(60, 55, 54), 5);
        QCOMPARE(TMKSettingForBasicViewController::findDrivingGsensorThresholdIndexByX(50, 45, 45), 2);
        QCOMPARE(TMKSettingForBasicViewController::findPowerVoltageIndexByValue(11550), 8);
        QCOMPARE(TMKSettingForBasicViewController::SetRearCameraSetting(0b101, 0, 0), 0b100u);
        QCOMPARE(TMKSettingForBasicViewController::SetRearCameraSetting(0b100, 1, 1), 0b110u);

        // Customize enables the driving fields.
        page->gsensorSensitivityDrivingSeg->clickSegment(5);
        QVERIFY(page->drivingFields[0]->isEnabled());
    }

    // Invalid input keeps the user on the page, for a tab change and for save.
    void invalidInputKeepsThePage()
    {
        open();
        auto* page = basicPage();
        page->gsensorSensitivityDrivingSeg->clickSegment(5);
        page->drivingFields[0]->setText(QStringLiteral("1.6"));
        const QByteArray before = readAll(configPath());

        m_window->functionSegmentedControl()->setCurrentIndex(3);
        m_window->changeViewController(3);
        QCOMPARE(m_window->lastSelectedTabIndex(), 1);
        QCOMPARE(m_window->targetController(), page);
        QTRY_COMPARE(m_window->functionSegmentedControl()->currentIndex(), 1);
        QCOMPARE(m_window->lastAlert().value(0), QStringLiteral("TAMEK"));
        QVERIFY(m_window->lastAlert().value(1).contains(QStringLiteral("1.5")));
        QVERIFY(shownAlert());
        dismissAlerts();
        m_window->activateWindow();
        QTRY_VERIFY(page->drivingFields[0]->hasFocus()); // the field at fault

        m_window->onSave();
        QCOMPARE(readAll(configPath()), before);
        QCOMPARE(m_window->lastAlert().value(0), QStringLiteral("TAMEK"));
        dismissAlerts();

        // Empty is valid and stores 0.
        page->drivingFields[0]->setText(QString());
        m_window->changeViewController(3);
        QCOMPARE(m_window->lastSelectedTabIndex(), 3);
        QCOMPARE(m_window->filedata()->gsen_x_threshold, 0);
    }

    void saveWritesASealedRecord()
    {
        open();
        auto* page = basicPage();
        page->carNumberField->setText(QStringLiteral("12-ga 3456 78"));
        page->carNumberField->textDidEndEditing();
        QCOMPARE(page->carNumberField->text(), QStringLiteral("12ga3456"));
        page->gsensorSensitivityDrivingSeg->clickSegment(5);
        page->drivingFields[0]->setText(QStringLiteral("0.29"));
        page->externalRearCameraUse->click(); // on: bit 0 at once
        QCOMPARE(m_window->filedata()->external_rear_camera & 1u, 1u);
        QVERIFY(page->externalRearCameraUseEvent->isEnabled());
        page->externalRearCameraUseMotion->setChecked(true);

        QSignalSpy saved(m_window.get(), &TMKSettingController::saved);
        m_window->onSave();
        QCOMPARE(saved.count(), 1);
        const QByteArray bytes = readAll(configPath());
        QCOMPARE(bytes.size(), 428);
        _FILEDATA written{};
        std::memcpy(&written, bytes.constData(), sizeof written);
        QVERIFY(TKSettingChecksumMatches(written));
        QCOMPARE(QString::fromStdString(TKPlateNumber(written)), QStringLiteral("12ga3456"));
        QCOMPARE(written.osd_plate_flag, 1);
        QCOMPARE(written.gsen_x_threshold, 28); // 0.29 truncated
        QCOMPARE(written.always_mode_timeout, 30u);
        QCOMPARE(written.external_rear_camera, 0b101u);
        QCOMPARE(m_defaults->integerForKey(kTKExternalRearCameraKey).value_or(-1), 0b101);
        QCOMPARE(written.time_gmt, 20);
        QCOMPARE(m_window->lastAlert().value(0), configPath());

        // Dismissing the "saved" alert closes the window.
        QVERIFY(m_window->isVisible());
        dismissAlerts();
        QTRY_VERIFY(!m_window->isVisible());
    }

    void resetShowsDefaultsWithoutWriting()
    {
        open();
        auto* page = basicPage();
        const QByteArray before = readAll(configPath());
        m_defaults->setInteger(kTKExternalRearCameraKey, 1);
        m_window->onSaveDefaultSetting();
        QCOMPARE(page->gsensorSensitivityDrivingSeg->selectedSegment(), 2); // default 50/45/45: "3"
        QVERIFY(page->externalRearCameraUse->isChecked()); // from the user default
        m_window->onCloseCmd();
        QCOMPARE(readAll(configPath()), before);
    }

    void withoutACardSavingAsksWhereAndCancelWritesNothing()
    {
        m_disks->attached = false;
        QFile::remove(configPath());
        open();
        QVERIFY(!m_window->settingFilePath());
        m_window->onSave();
        QCOMPARE(m_savePanels.value(0), QStringLiteral("Save Settings"));
        QVERIFY(m_savePanels.value(1).endsWith(QStringLiteral("/config.bin")));
        QVERIFY(!QFile::exists(configPath()));
        QVERIFY(m_window->lastAlert().isEmpty());
    }

    // The shell runner reports the exit status and the error text by their
    // keys; success is an empty result. The defaults live in QSettings.
    void shellScriptsAndUserDefaults()
    {
        QVERIFY(TKRunShellScript(QStringLiteral("true"), false).isEmpty());
        const QVariantMap failed = TKRunShellScript(QStringLiteral("echo 'no card' >&2; exit 3"), false);
        QCOMPARE(failed.value(kTKScriptErrorNumber).toInt(), 3);
        QCOMPARE(failed.value(kTKScriptErrorMessage).toString(), QStringLiteral("no card"));

        QTemporaryDir dir;
        const QString ini = dir.filePath(QStringLiteral("defaults.ini"));
        TKQSettingsUserDefaults defaults(ini);
        QVERIFY(!defaults.integerForKey(kTKExternalRearCameraKey));
        defaults.setInteger(kTKExternalRearCameraKey, 5);
        defaults.synchronize();
        QCOMPARE(TKQSettingsUserDefaults(ini).integerForKey(kTKExternalRearCameraKey).value_or(-1), 5);
        _FILEDATA record{};
        TKMakeDefaultSettings(record, defaults);
        QCOMPARE(record.external_rear_camera, 5u);
    }

    // The card went away between opening and saving: the write fails, the
    // user is warned and the window keeps the edits.
    void failedWriteWarns()
    {
        open();
        auto* page = basicPage();
        page->carNumberField->setText(QStringLiteral("AB"));
        m_card.reset(); // the card's folder is gone
        m_window->onSave();
        QCOMPARE(m_window->lastAlert().value(0), QStringLiteral("Warn"));
        QCOMPARE(m_window->lastAlert().value(1), TMKLocalizedString("msg.write_protected_disk"));
        QVERIFY(m_window->isVisible());
        QCOMPARE(page->carNumberField->text(), QStringLiteral("AB"));
    }

    // Another writer (tamek-config, a second window) holds the file's lock:
    // Save waits for it, and gives up with a warning rather than overwrite
    // what that writer is doing.
    void saveWaitsForAnotherWriter()
    {
        open();
        auto* page = basicPage();
        page->carNumberField->setText(QStringLiteral("CD"));
        page->carNumberField->textDidEndEditing();
        auto* save = m_window->findChild<QPushButton*>(QStringLiteral("saveButton"));
        QVERIFY(save);

        TKFileLock other;
        QVERIFY(!TKLockFileForUpdate(configPath().toStdString(), other, std::chrono::milliseconds(0)));
        std::thread releaser([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            other.release();
        });
        QElapsedTimer clock;
        clock.start();
        QSignalSpy saved(m_window.get(), &TMKSettingController::saved);
        QTest::mouseClick(save, Qt::LeftButton);
        releaser.join();
        QCOMPARE(saved.count(), 1);
        QVERIFY(clock.elapsed() >= 250);
        _FILEDATA written{};
        std::memcpy(&written, readAll(configPath()).constData(), sizeof written);
        QCOMPARE(QString::fromStdString(TKPlateNumber(written)), QStringLiteral("CD"));
        dismissAlerts();

        open();
        page = basicPage();
        page->carNumberField->setText(QStringLiteral("EF"));
        page->carNumberField->textDidEndEditing();
        save = m_window->findChild<QPushButton*>(QStringLiteral("saveButton"));
        QVERIFY(!TKLockFileForUpdate(configPath().toStdString(), other, std::chrono::milliseconds(0)));
        const QByteArray before = readAll(configPath());
        QTest::mouseClick(save, Qt::LeftButton);
        QCOMPARE(m_window->lastAlert().value(0), QStringLiteral("Warn"));
        QCOMPARE(m_window->lastAlert().value(1), TMKLocalizedString("msg.settings_busy"));
        QCOMPARE(readAll(configPath()), before);
        QVERIFY(m_window->isVisible());
    }
};

QTEST_MAIN(TMKSettingWindowTest)
#include "TMKSettingWindowTest.moc"
