// The settings window under offscreen with a recorded card: the card and
// its file, pages and their validation, save, reset, and the basic page's
// rules.

#include "TMKFakeDisks.h"
#include "TMKFileText.h"
#include "TMKRecordingAlertService.h"
#include "TMKSettingPageTestKit.h"
#include "sdcard/ui/TMKFormatWindowController.h"
#include "sdcard/ui/TMKTimeSetupController.h"
#include "settings/ui/TMKCarNumberTextField.h"
#include "settings/ui/TMKSettingController.h"
#include "settings/ui/TMKSettingForAudioViewController.h"
#include "settings/ui/TMKSettingForAuxViewController.h"
#include "settings/ui/TMKSettingForBasicViewController.h"
#include "settings/ui/TMKSettingForObdViewController.h"
#include "settings/ui/TMKSettingForVideoViewController.h"
#include "strings/TMKStrings.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QRadioButton>
#include <QSettings>
#include <QSignalSpy>
#include <QSlider>
#include <QStandardPaths>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTest>
#include <QWheelEvent>

#include <algorithm>
#include <chrono>
#include <cstring>

namespace {

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

void writeRecord(const QString& path, const _FILEDATA& record)
{
    writeFile(path, QByteArray(reinterpret_cast<const char*>(&record), sizeof record));
}

// The record a save wrote; all zero when the file is no settings file.
_FILEDATA writtenAt(const QString& path)
{
    _FILEDATA record{};
    (void)TKReadSettingFile(path.toStdString(), record);
    return record;
}

} // namespace

class TMKSettingWindowTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_card;
    std::shared_ptr<FakeDisks> m_disks;
    std::shared_ptr<TMKRecordingAlertService> m_alerts;
    std::shared_ptr<TKMemoryUserDefaults> m_defaults;
    std::optional<std::chrono::milliseconds> m_saveLockWait;
    QStringList m_renamed, m_savePanels, m_openPanels;
    bool m_renameFails = false;
    QString m_chooseAnswer, m_openAnswer; // what the user picks in the save and open panels
    std::unique_ptr<TMKSettingController> m_window;

    TestDisk card() const { return TestDisk{.mountPoint = m_card->path().toStdString()}; }
    QString configPath() const { return m_card->filePath(QStringLiteral("config.bin")); }

    TMKSettingController::Services services()
    {
        TMKSettingController::Services s;
        s.disks = m_disks;
        s.defaults = m_defaults;
        s.alerts = m_alerts;
        s.saveLockWait = m_saveLockWait;
        s.renameVolume = [this](const TKUSBDiskEntity& disk, const QString& label, QString*) {
            m_renamed << QString::fromStdString(disk.deviceFilePath()) + QLatin1Char('=') + label;
            if (m_renameFails)
                return false;
            m_disks->disks.at(0).label = label.toStdString();
            return true;
        };
        s.saveFileChooser = [this](QWidget*, const QString& title, const QString& proposed) {
            m_savePanels << title << proposed;
            return m_chooseAnswer;
        };
        s.openFileChooser = [this](QWidget*, const QString& title, const QString& folder) {
            m_openPanels << title << folder;
            return m_openAnswer;
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

    template <class Page> Page* page() const { return qobject_cast<Page*>(m_window->targetController()); }
    TMKSettingForBasicViewController* basicPage()
    {
        m_window->changeViewController(1);
        return page<TMKSettingForBasicViewController>();
    }

    // What the last alert said: message and informative text.
    QStringList lastAlert() const
    {
        return !m_alerts->alerts.isEmpty() ? QStringList{m_alerts->alerts.last().message, m_alerts->alerts.last().informative} : QStringList();
    }

    // A user's click on tab i of the tab row.
    void clickTab(int index)
    {
        QTabBar* tabs = m_window->functionSegmentedControl();
        QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(index).center());
    }

    void wheelOverTabs(int degrees)
    {
        QTabBar* tabs = m_window->functionSegmentedControl();
        const QPoint at = tabs->tabRect(tabs->currentIndex()).center();
        QWheelEvent event(QPointF(at), QPointF(tabs->mapToGlobal(at)), QPoint(), QPoint(0, degrees * 8), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(tabs, &event);
    }

    // Clicks into a field and types over its text.
    static void typeInto(QLineEdit* field, const QString& text)
    {
        QTest::mouseClick(field, Qt::LeftButton);
        field->selectAll();
        QTest::keyClick(field, Qt::Key_Backspace);
        // Key events one character each; keyClicks takes ASCII only.
        for (const QChar c : text) {
            if (c.unicode() < 0x80)
                QTest::keyClick(field, c.toLatin1());
            else
                QTest::sendKeyEvent(QTest::Click, field, Qt::Key_unknown, QString(c), Qt::NoModifier);
        }
    }

    QPushButton* button(const char* name) const { return m_window->findChild<QPushButton*>(QLatin1String(name)); }
    void click(const char* name) const { QTest::mouseClick(button(name), Qt::LeftButton); }
    QLabel* banner() const { return m_window->findChild<QLabel*>(QStringLiteral("noCardLabel")); }

    // The user's OK on every alert shown.
    void dismissAlerts()
    {
        for (const auto& alert : std::exchange(m_alerts->alerts, {})) {
            if (alert.onEnd)
                alert.onEnd();
        }
    }

private slots:
    void init()
    {
        m_card = std::make_unique<QTemporaryDir>();
        m_disks = std::make_shared<FakeDisks>();
        m_disks->disks = {card()};
        m_alerts = std::make_shared<TMKRecordingAlertService>();
        m_defaults = std::make_shared<TKMemoryUserDefaults>();
        m_saveLockWait.reset();
        m_renamed = m_savePanels = m_openPanels = {};
        m_renameFails = false;
        m_chooseAnswer = m_openAnswer = {};
        QStandardPaths::setTestModeEnabled(true);
        QSettings().remove(QStringLiteral("settings/lastSaveFolder"));
        QSettings().remove(QStringLiteral("settings/lastSettingFile"));
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

    // The basic page shows the record. At a fixed level the threshold fields
    // show the level's values and are not the user's to edit, however the
    // G-sensor box is toggled; at customize they are while it is on. Leaving
    // the car number by a click on a tab ends no editing; the number stored
    // must still be the cleaned one, as must the one saved. Before that the
    // save fails: another writer (tamek-config, a second window) holds the
    // file's lock past the wait, then the card went away. The user is
    // warned, the file is not overwritten, the window keeps the edits.
    void basicPageSaveFailuresAndASealedRecordThenKeysAndWheel()
    {
        m_saveLockWait = std::chrono::milliseconds(50);
        open();
        auto* basic = basicPage();
        QVERIFY(basic);
        QCOMPARE(basic->gsensorSensitivityDrivingSeg->selectedSegment(), 1);
        TKClick(basic->gsensorEnableChk);
        TKClick(basic->gsensorEnableChk);
        for (const auto& fields : {basic->drivingFields, basic->parkingFields})
            QVERIFY(std::none_of(fields.begin(), fields.end(), [](QLineEdit* f) { return f->isEnabled(); }));
        TKClickSegment(basic->gsensorSensitivityDrivingSeg, 5);
        QVERIFY(basic->drivingFields[0]->isEnabled());
        TKClick(basic->gsensorEnableChk); // off: nothing to type into
        QVERIFY(!basic->drivingFields[0]->isEnabled());
        QCOMPARE(basic->gsensorSensitivityParkingSeg->selectedSegment(), 4); // 8/8/8: "5"
        QVERIFY(basic->boxOfPower->isHidden() && basic->boxOfCableVoltageLoss->isHidden());
        QCOMPARE(TMKSettingForBasicViewController::findDrivingGsensorThresholdIndexByX(60, 55, 54), 5);
        QCOMPARE(TMKSettingForBasicViewController::findPowerVoltageIndexByValue(11550), 8);
        QCOMPARE(TMKSettingForBasicViewController::SetRearCameraSetting(0b101, 0, 0), 0b100u);
        QCOMPARE(TMKSettingForBasicViewController::SetRearCameraSetting(0b100, 1, 1), 0b110u);
        TKClick(basic->gsensorEnableChk); // on again for the edits below
        typeInto(basic->carNumberField, QStringLiteral("12-ga 3456 78"));
        clickTab(3);
        QCOMPARE(m_window->lastSelectedTabIndex(), 3);
        QCOMPARE(QString::fromStdString(TKPlateNumber(*m_window->filedata())), QStringLiteral("12ga3456"));
        clickTab(1);
        basic = page<TMKSettingForBasicViewController>();
        basic->gsensorSensitivityDrivingSeg->clickSegment(5);
        basic->drivingFields[0]->setText(QStringLiteral("0.29"));
        basic->externalRearCameraUse->click(); // on: bit 0 at once
        QCOMPARE(m_window->filedata()->external_rear_camera & 1u, 1u);
        QVERIFY(basic->externalRearCameraUseEvent->isEnabled());
        basic->externalRearCameraUseMotion->setChecked(true);
        typeInto(basic->carNumberField, QStringLiteral("서울12가3456"));

        const QByteArray before = TMKFileBytes(configPath());
        const auto failsWith = [&](const char* message) {
            click("saveButton");
            QCOMPARE(lastAlert(), (QStringList{QStringLiteral("Warn"), TMKLocalizedString(message)}));
            QVERIFY(m_window->isVisible());
            QCOMPARE(basic->drivingFields[0]->text(), QStringLiteral("0.29"));
        };
        {
            TKFileLock other;
            QVERIFY(!TKLockFileForUpdate(configPath().toStdString(), other, std::chrono::milliseconds(0)));
            failsWith("msg.settings_busy");
            QCOMPARE(TMKFileBytes(configPath()), before);
        }
        QVERIFY(QDir(m_card->path()).removeRecursively());
        failsWith("msg.write_protected_disk");
        QVERIFY(QDir().mkpath(m_card->path()));
        writeFile(configPath(), before);

        QSignalSpy savedSignal(m_window.get(), &TMKSettingController::saved);
        click("saveButton");
        QCOMPARE(savedSignal.count(), 1);
        const _FILEDATA written = writtenAt(configPath());
        QCOMPARE(written.gsen_x_threshold, 28); // 0.29 truncated
        QCOMPARE(written.always_mode_timeout, 30u); // 45 s, not in the list, shows and saves as 30 s
        QCOMPARE(written.external_rear_camera, 0b101u);
        QCOMPARE(m_defaults->integerForKey(kTKExternalRearCameraKey).value_or(-1), 0b101);
        QCOMPARE(QByteArray(written.szPlateNumber, 8), QByteArray("123456\0\0", 8));
        QCOMPARE(lastAlert().value(0), configPath());

        // Dismissing the "saved" alert closes the window.
        QVERIFY(m_window->isVisible());
        dismissAlerts();
        QTRY_VERIFY(!m_window->isVisible());

        // Opened again: Tab goes from the tab row through the page, then to
        // Save and the other buttons; a click on a segment takes the focus,
        // so the arrows move along the segments. The wheel over the tab row
        // and the arrow keys on it change the page through the page change:
        // what the page edited is kept. Initialize and Cancel ask before
        // dropping edits, so Tab then Space loses nothing; nothing is written.
        const QByteArray saved = TMKFileBytes(configPath());
        open();
        m_window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
        auto* video = page<TMKSettingForVideoViewController>();
        QVERIFY(video);
        QTabBar* tabs = m_window->functionSegmentedControl();
        tabs->setFocus();
        QStringList chain; // the page's controls row by row, front before rear, then the buttons
        for (int i = 0; i < 60 && chain.value(chain.size() - 1) != QStringLiteral("resetButton"); ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QWidget* focus = QApplication::focusWidget();
            const QString name = video->isAncestorOf(focus) ? focus->parentWidget()->objectName() : focus->objectName();
            if (chain.value(chain.size() - 1) != name)
                chain << name;
        }
        QCOMPARE(chain, (QStringList{"videoEncodingBitrate", "videoEncodingBitrateRear", "videoBrightness",
                                     "videoBrightnessRear", "flipVideoRealSeg", "rearfpsSeg", "frontTinting",
                                     "rearTinting", "saveButton", "cancelButton", "resetButton"}));

        const auto segments = video->rearTinting->findChildren<QPushButton*>(Qt::FindDirectChildrenOnly);
        TKClickSegment(video->rearTinting, 1);
        QCOMPARE(QApplication::focusWidget(), segments[1]);
        QTest::keyClick(segments[1], Qt::Key_Right);
        QCOMPARE(video->rearTinting->selectedSegment(), 2);
        QCOMPARE(m_window->lastSelectedTabIndex(), 0);

        wheelOverTabs(-15); // down: the next tab
        QCOMPARE(m_window->lastSelectedTabIndex(), 1);
        QVERIFY(page<TMKSettingForBasicViewController>());
        QCOMPARE(m_window->filedata()->rear_cpl_use, 2u); // the video page was written back
        tabs->setFocus();
        QTest::keyClick(tabs, Qt::Key_Right);
        QCOMPARE(m_window->lastSelectedTabIndex(), 2);
        QVERIFY(page<TMKSettingForObdViewController>());
        QTest::keyClick(tabs, Qt::Key_Left);
        QTest::keyClick(tabs, Qt::Key_Left);
        QCOMPARE(m_window->lastSelectedTabIndex(), 0);
        wheelOverTabs(-15);
        basic = page<TMKSettingForBasicViewController>();
        QVERIFY(basic);

        TKClickSegment(basic->gsensorSensitivityDrivingSeg, 5);

        const auto answer = [this](const char* name) {
            auto* sheet = m_window->findChild<QMessageBox*>(QStringLiteral("discardSheet"));
            QVERIFY(sheet && sheet->isVisible());
            QTest::mouseClick(sheet->findChild<QPushButton*>(QLatin1String(name)), Qt::LeftButton);
            QCoreApplication::processEvents();
        };
        QTest::keyClick(button("resetButton"), Qt::Key_Space);
        answer("keepButton");
        QCOMPARE(basic->gsensorSensitivityDrivingSeg->selectedSegment(), 5);
        m_defaults->setInteger(kTKExternalRearCameraKey, 1); // the basic page's write-back set it
        QTest::keyClick(button("resetButton"), Qt::Key_Space);
        answer("discardButton");
        _FILEDATA defaults{};
        TKMakeDefaultSettings(defaults, *m_defaults);
        QCOMPARE(basic->gsensorSensitivityDrivingSeg->selectedSegment(), 2); // 50/45/45: "3"
        QCOMPARE(m_window->filedata()->rear_cpl_use, defaults.rear_cpl_use);
        QCOMPARE(m_window->filedata()->external_rear_camera, 1u); // from the user default

        TKClickSegment(basic->gsensorSensitivityDrivingSeg, 3);
        click("cancelButton");
        answer("keepButton");
        QVERIFY(m_window->isVisible());
        click("cancelButton");
        answer("discardButton");
        QTRY_VERIFY(!m_window->isVisible());
        QCOMPARE(TMKFileBytes(configPath()), saved);
    }

    // A card with non-default values on a 1024×600 screen. Its driving
    // threshold of 0 (what an empty field stores) shows empty and passes; its
    // parking one, out of range, is marked and holds the page (tab change
    // and save) for correction while it can be edited, and nothing once the
    // G-sensor is off. The settings, format and clock windows lie wholly on
    // the screen with their buttons; pages scroll where they must, nothing is
    // squeezed below the size it needs, and the window keeps its size
    // whatever a page shows (with TAMEK_SCREENSHOT_DIR set, each page is
    // saved there as an image). Every tab visited by mouse, two controls
    // changed, saved with the button: the file differs from the original
    // only in those fields, the G-sensor and what sealing sets.
    void wholeWindowFitsASmallScreenAndKeepsWhatNoControlChanged()
    {
        _FILEDATA original = TKNonDefaultRecord();
        original.g_sensor_enable = 1;
        original.gsen_x_threshold = 0;
        original.parkmode_x_threshold = 300;
        writeRecord(configPath(), original);
        open();
        auto* basic = basicPage();
        QVERIFY(basic);
        QCOMPARE(basic->drivingFields[0]->text(), QString());
        QVERIFY(!basic->drivingFields[0]->property("invalid").toBool());
        QLineEdit* atFault = basic->parkingFields[0];
        QCOMPARE(atFault->text(), QStringLiteral("3.00"));
        QVERIFY(atFault->isEnabled() && atFault->property("invalid").toBool());
        clickTab(2);
        QCOMPARE(m_window->lastSelectedTabIndex(), 1);
        QTRY_COMPARE(m_window->functionSegmentedControl()->currentIndex(), 1);
        QCOMPARE(lastAlert().value(0), QStringLiteral("TAMEK"));
        QVERIFY(lastAlert().value(1).contains(QStringLiteral("1.5")));
        dismissAlerts();
        m_window->activateWindow();
        QTRY_VERIFY(atFault->hasFocus());
        click("saveButton");
        QCOMPARE(TMKFileBytes(configPath()), QByteArray(reinterpret_cast<const char*>(&original), sizeof original));
        dismissAlerts();
        TKClick(basic->gsensorEnableChk); // off: nothing here can be changed
        QVERIFY(!atFault->isEnabled());

        const QRect screen = m_window->screen()->availableGeometry();
        QCOMPARE(screen.size(), QSize(1024, 600));
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
        QVERIFY(screen.contains(m_window->frameGeometry()));
        const QString shots = qEnvironmentVariable("TAMEK_SCREENSHOT_DIR");
        const QSize first = m_window->size();
        for (int tab = 0; tab < TMKSettingController::kTabCount; ++tab) {
            clickTab(tab);
            QCOMPARE(m_window->lastSelectedTabIndex(), tab);
            if (auto* video = page<TMKSettingForVideoViewController>())
                TKClickSegment(video->rearTinting, 0);
            if (auto* audio = page<TMKSettingForAudioViewController>())
                TKClick(audio->cellAtRow(0, 1)); // English
            auto* aux = page<TMKSettingForAuxViewController>();
            if (aux)
                QTest::keyClick(aux->memeryRatioSlider, Qt::Key_PageUp); // shows the card-share warning
            QCoreApplication::processEvents();
            QWidget* shown = m_window->targetController();
            QVERIFY(shown);
            QVERIFY2(shown->minimumSizeHint().width() <= shown->width(), qPrintable(shown->objectName()));
            QVERIFY2(shown->minimumSizeHint().height() <= shown->height(), qPrintable(shown->objectName()));
            for (QWidget* child : shown->findChildren<QWidget*>()) {
                if (child->isVisible() && child->minimumSizeHint().isValid())
                    QVERIFY2(child->width() >= child->minimumSizeHint().width(), qPrintable(child->objectName()));
            }
            for (QPushButton* b : m_window->findChildren<QPushButton*>(Qt::FindDirectChildrenOnly))
                QVERIFY2(b->isVisible() && m_window->rect().contains(b->geometry()), qPrintable(b->objectName()));
            if (!shots.isEmpty())
                m_window->grab().save(QStringLiteral("%1/settings-tab%2.png").arg(shots).arg(tab));
            if (aux)
                QTest::keyClick(aux->memeryRatioSlider, Qt::Key_PageDown); // back to the card's share
        }
        QCOMPARE(m_window->size(), first);

        click("sdcardFormatButton");
        auto* format = qobject_cast<TMKFormatWindowController*>(m_window->lastDialogController());
        QVERIFY(format && QTest::qWaitForWindowExposed(format));
        QVERIFY(screen.contains(format->frameGeometry()));
        // It lists the card and asks through this window's alerts.
        QTRY_COMPARE(format->usbDiskCombo->count(), 1);
        QTest::mouseClick(format->formatButton, Qt::LeftButton);
        QCOMPARE(m_alerts->questions.size(), 1);
        format->close();
        TMKTimeSetupController clock({m_disks, {}, {}, {}});
        clock.show();
        QVERIFY(QTest::qWaitForWindowExposed(&clock));
        QVERIFY(screen.contains(clock.frameGeometry()));
        clock.close();

        clickTab(3); // saving from a page that is shown writes it too
        click("saveButton");
        const _FILEDATA written = writtenAt(configPath());
        QStringList changed = TKChangedFields(original, written);
        changed.removeAll(QStringLiteral("checksum"));
        changed.removeAll(QStringLiteral("osd_plate_flag")); // sealing sets it
        QCOMPARE(changed, (QStringList{QStringLiteral("g_sensor_enable"), QStringLiteral("Brightness1"),
                                       QStringLiteral("rear_cpl_use")})); // in record order
        dismissAlerts();
    }

    // "Open config.bin…" without a card. What is not a regular file of 428
    // bytes is refused with the reason, one case per reason (which sizes and
    // kinds are which is the core's to check); the record stays as it was. A
    // link to a settings file is read, from the home folder the first time;
    // the pages show it and Save writes back to it, not to a save panel.
    // Reopened without a card, the window shows the file last opened or saved
    // away from the card (not factory defaults): Open starts in its folder,
    // Save proposes it. Once that file is gone: the defaults again, and the
    // banner says no card. Attached (and mounted with "Disks…") while the
    // window is open, the card is found when the user comes back, read and
    // renamed "TAMEK"; the search (and the rename, which may ask for the
    // administrator's password) runs once per opening, and after a failed
    // rename the card is used under its old name. A config.bin not of 428
    // bytes is no settings file, but the card is not "no card": the banner
    // names it, Save writes a whole record.
    void filesAwayThenTheCardIsFoundReadAndRenamed()
    {
        m_disks->disks.clear();
        QTemporaryDir elsewhere;
        const QString shortFile = elsewhere.filePath(QStringLiteral("short.bin"));
        writeFile(shortFile, QByteArray(427, '\x02'));
        open();
        const _FILEDATA shown = *m_window->filedata();
        const std::pair<QString, const char*> refused[] = {
            {QStringLiteral("/dev/zero"), "regular"}, {shortFile, "427 bytes"},
            {elsewhere.filePath(QStringLiteral("missing.bin")), "does not exist"}};
        for (const auto& [bad, reason] : refused) {
            m_openAnswer = bad;
            click("openSettingFileButton");
            QCOMPARE(lastAlert().value(0), QStringLiteral("TAMEK"));
            QVERIFY2(lastAlert().value(1).contains(QLatin1String(reason)) && lastAlert().value(1).contains(bad),
                     qPrintable(lastAlert().value(1)));
            QCOMPARE(std::memcmp(m_window->filedata(), &shown, sizeof shown), 0);
            QVERIFY(!m_window->openedFilePath());
            dismissAlerts();
        }
        _FILEDATA saved = TKNonDefaultRecord();
        saved.rear_cpl_use = 2;
        writeRecord(elsewhere.filePath(QStringLiteral("saved-config.bin")), saved);
        const QString path = elsewhere.filePath(QStringLiteral("config.bin"));
        QVERIFY(QFile::link(elsewhere.filePath(QStringLiteral("saved-config.bin")), path));
        m_openAnswer = path;
        m_openPanels.clear();
        click("openSettingFileButton");
        QCOMPARE(m_openPanels.value(1), QDir::homePath());
        QCOMPARE(m_window->openedFilePath().value_or(QString()), path);
        QVERIFY(m_window->windowTitle().endsWith(QStringLiteral(" : ") + path));
        QVERIFY(banner()->text().contains(path));
        auto* video = page<TMKSettingForVideoViewController>();
        QVERIFY(video);
        QCOMPARE(video->rearTinting->selectedSegment(), 2); // the page shows the file at once

        TKClickSegment(video->rearTinting, 1);
        click("saveButton");
        QVERIFY(m_savePanels.isEmpty());
        QCOMPARE(writtenAt(path).rear_cpl_use, 1u);
        QCOMPARE(m_alerts->alerts.last().kind, TMKAlertService::Kind::Information);
        dismissAlerts();

        open();
        m_openAnswer.clear();
        m_openPanels.clear();
        click("openSettingFileButton");
        QCOMPARE(m_openPanels.value(1), elsewhere.path());
        QCOMPARE(m_window->recalledFilePath().value_or(QString()), path);
        QVERIFY(banner()->text().contains(path));
        QCOMPARE(page<TMKSettingForVideoViewController>()->rearTinting->selectedSegment(), 1);
        const QString chosen = elsewhere.filePath(QStringLiteral("car.bin"));
        m_chooseAnswer = chosen;
        click("saveButton");
        QCOMPARE(m_savePanels.value(1), path);
        QCOMPARE(TMKFileBytes(chosen).size(), 428);
        dismissAlerts();

        open();
        QCOMPARE(m_window->recalledFilePath().value_or(QString()), chosen);
        QCOMPARE(m_window->filedata()->rear_cpl_use, 1u);
        QFile::remove(chosen);
        open();
        QCOMPARE(m_window->filedata()->rear_cpl_use, 0u);
        QVERIFY(!m_window->recalledFilePath());
        QVERIFY(banner()->isVisible() && banner()->text().startsWith(TMKLocalizedString("setting.no_card").left(20)));
        QVERIFY(!m_window->settingFilePath());
        QCOMPARE(m_window->filedata()->gsen_x_threshold, 50); // the defaults

        m_disks->disks = {card()};
        m_disks->disks.at(0).label = "NO NAME";
        m_renameFails = true;
        QSignalSpy loaded(m_window.get(), &TMKSettingController::settingFileLoaded);
        QWidget other; // the user goes to another window and comes back to this one
        other.setWindowTitle(QStringLiteral("elsewhere"));
        other.show();
        other.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&other));
        other.close();
        m_window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
        QTRY_COMPARE(QString::fromStdString(m_window->settingFilePath().value_or("")), configPath());
        QVERIFY(loaded.count() > 0 || loaded.wait(5000));
        QCOMPARE(m_renamed, QStringList{QStringLiteral("/dev/sdb1=TAMEK")});
        QCOMPARE(QString::fromStdString(m_window->selectedUSBDisk()->volumeName()), QStringLiteral("NO NAME"));
        QCOMPARE(m_window->filedata()->gsen_x_threshold, 60); // the card's record
        QCOMPARE(m_window->filedata()->time_gmt, 20); // the card's zone, not the computer's
        QVERIFY(!banner()->isVisible());
        QVERIFY(m_window->windowTitle().endsWith(QStringLiteral(" : ") + configPath()));
        QVERIFY(m_window->windowTitle().contains(QStringLiteral("[Ver ")));
        QTRY_VERIFY(!m_window->isLoadingShown());

        m_renameFails = false;
        m_renamed.clear();
        open();
        QCOMPARE(m_renamed, QStringList{QStringLiteral("/dev/sdb1=TAMEK")});
        QCOMPARE(QString::fromStdString(m_window->selectedUSBDisk()->volumeName()), QStringLiteral("TAMEK"));

        writeFile(configPath(), QByteArray(427, '\x01'));
        m_renamed = m_savePanels = {};
        open();
        QVERIFY(!m_window->settingFilePath());
        QVERIFY(!m_window->windowTitle().contains(QStringLiteral(" : ")));
        QVERIFY(m_renamed.isEmpty());
        QVERIFY(banner()->isVisible() && banner()->text().contains(m_card->path()));
        click("saveButton");
        QCOMPARE(TMKFileBytes(configPath()).size(), 428);
        QVERIFY(m_savePanels.isEmpty());
    }
};

QTEST_MAIN(TMKSettingWindowTest)
#include "TMKSettingWindowTest.moc"
