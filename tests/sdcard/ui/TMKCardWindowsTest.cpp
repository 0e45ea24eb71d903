// The format and time setup windows under offscreen, driven by clicks and
// keys, with recorded disks and a command layer that only records.

#include "TMKFileText.h"
#include "../TKCardTestSupport.h"
#include "kit/TMKAppSettings.h"
#include "sdcard/ui/TMKFormatWindowController.h"
#include "sdcard/ui/TMKTimeSetupController.h"
#include "settings/TKSettingFile.h"
#include "strings/TMKStrings.h"
#include "TMKRecordingAlertService.h"

#include <QApplication>
#include <QCalendarWidget>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QAbstractItemView>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeEdit>
#include <QWheelEvent>

namespace {

void writeAll(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

// Dismisses the last alert as the user's OK would.
bool pressAlertOk(TMKRecordingAlertService& alerts)
{
    if (alerts.alerts.isEmpty())
        return false;
    const auto onEnd = alerts.alerts.takeLast().onEnd;
    if (onEnd)
        onEnd();
    return true;
}

} // namespace

class TMKCardWindowsTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::shared_ptr<FakeDisks> m_disks;
    std::shared_ptr<FakeCommands> m_commands;
    std::shared_ptr<TMKRecordingAlertService> m_alerts;
    std::unique_ptr<TMKFormatWindowController> m_format;

    // What the last alert said: message and informative text.
    QStringList lastAlert() const
    {
        if (m_alerts->alerts.isEmpty())
            return {};
        return {m_alerts->alerts.last().message, m_alerts->alerts.last().informative};
    }

    QString cardPath() const { return m_dir->filePath(QStringLiteral("card")); }

    TestDisk card(uint64_t size, const std::string& device = "/dev/sdb1") const
    {
        return {.path = device, .diskPath = device.substr(0, 8), .mountPoint = cardPath().toStdString(), .size = size};
    }

    // The clock stands at 2024-02-29 17:05:09, an afternoon that a 12-hour
    // form would write wrong.
    TMKTimeSetupController::Services timeServices() const
    {
        TMKTimeSetupController::Services s;
        s.alerts = m_alerts;
        s.disks = m_disks;
        s.now = [] { return QDateTime(QDate(2024, 2, 29), QTime(17, 5, 9)); };
        return s;
    }

    void openFormatWindow()
    {
        TMKFormatWindowController::Services s;
        s.disks = m_disks;
        s.commands = m_commands;
        s.files = std::make_shared<TKMountedCardFiles>();
        s.defaults = std::make_shared<TKMemoryUserDefaults>();
        s.backupFolder = m_dir->filePath(QStringLiteral("state"));
        s.alerts = m_alerts;
        m_format = std::make_unique<TMKFormatWindowController>(s);
        QSignalSpy loaded(m_format.get(), &TMKFormatWindowController::disksLoaded);
        m_format->show();
        QVERIFY(loaded.wait(5000));
    }

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(QDir(m_dir->path()).mkpath(QStringLiteral("card")));
        m_disks = std::make_shared<FakeDisks>();
        m_commands = std::make_shared<FakeCommands>();
        m_alerts = std::make_shared<TMKRecordingAlertService>();
        m_commands->helperDisks = m_disks.get();
        m_commands->answers["udisksctl"] = [](const TKCommand&) { return exitWith(1, "udisksd not running"); };
        const QString card = cardPath();
        m_commands->answers["mkfs.fat"] = [card](const TKCommand&) {
            QDir(card).removeRecursively();
            QDir().mkpath(card);
            return exitWith(0);
        };
    }
    void cleanup()
    {
        m_format.reset();
        QLocale::setDefault(QLocale::c());
    }

    // Without disks Format says so. The window lists the disks; the field
    // shows what a cluster holds (the erase gets sectors), and a
    // write-protected card is refused. What the erase keeps and writes is the
    // core's to check; the window asks, shows its progress and tells the
    // outcome. Failed (the password not given), it stays with the card as it
    // was; completed, OK closes it.
    void formatWindowListsAsksShowsItsProgressAndTellsTheOutcome()
    {
        openFormatWindow();
        QCOMPARE(m_format->pathField->text(), QStringLiteral("-"));
        QCOMPARE(m_format->usbDiskCombo->count(), 0);
        QVERIFY(!m_format->progressBar->isVisible());
        QTest::mouseClick(m_format->formatButton, Qt::LeftButton);
        QCOMPARE(lastAlert(), (QStringList{QStringLiteral("TAMEK"), QStringLiteral("There is no USB drive.")}));
        QVERIFY(m_commands->log.empty());

        writeAll(cardPath() + QStringLiteral("/config.bin"), QByteArray(static_cast<int>(kTKSettingFileSize), 'K'));
        auto big = card(32'000'000'000, "/dev/sdc1");
        big.readOnly = true;
        m_disks->disks = {card(4'000'000'000), big};
        m_commands->answers["tamek-erase-card"] = [](const TKCommand&) { return exitWith(kTKPkexecDismissed); };
        openFormatWindow();
        QCOMPARE(m_format->usbDiskCombo->count(), 2);
        QCOMPARE(m_format->usbDiskCombo->itemText(0), QStringLiteral("[3.7 GB] TAMEK <Card Reader>"));
        QCOMPARE(m_format->allocationUnitField->text(), QStringLiteral("16 KB"));
        QCOMPARE(m_format->pathField->text(), QStringLiteral("/dev/sdb1   %1").arg(cardPath()));
        m_format->usbDiskCombo->setFocus();
        QTest::keyClick(m_format->usbDiskCombo, Qt::Key_Down);
        QCOMPARE(m_format->allocationUnitField->text(), QStringLiteral("64 KB"));
        QVERIFY(m_format->pathField->text().startsWith(QStringLiteral("/dev/sdc1   ")));
        QTest::mouseClick(m_format->formatButton, Qt::LeftButton);
        QCOMPARE(lastAlert().value(0), TMKLocalizedString("msg.cannot_format"));
        QVERIFY(lastAlert().value(1).endsWith(TMKLocalizedString("msg.write_protected_disk")));
        QTest::keyClick(m_format->usbDiskCombo, Qt::Key_Up);
        QSignalSpy finished(m_format.get(), &TMKFormatWindowController::formatFinished);
        // Cancel in the question: nothing runs.
        QTest::mouseClick(m_format->formatButton, Qt::LeftButton);
        QCOMPARE(m_alerts->questions.size(), 1);
        QCOMPARE(m_alerts->questions.at(0).acceptText, QStringLiteral("Erase"));
        QVERIFY(m_alerts->questions.at(0).informative.contains(m_dir->filePath(QStringLiteral("state"))));
        m_alerts->questions.takeLast().onAnswer(false);
        QVERIFY(m_commands->log.empty());
        for (const bool completes : {false, true}) {
            if (completes)
                m_commands->answers.erase("tamek-erase-card");
            QTest::mouseClick(m_format->formatButton, Qt::LeftButton);
            QCOMPARE(m_alerts->questions.value(0).message, QStringLiteral("Erase \u201cTAMEK\u201d (Card Reader, 3.7 GB)?"));
            m_alerts->questions.takeLast().onAnswer(true); // Erase
            QVERIFY(m_format->progressBar->isVisible());
            QVERIFY(!m_format->formatButton->isEnabled()); // one format at a time
            QVERIFY(finished.wait(5000));
            QVERIFY(!m_format->progressBar->isVisible());
            QCOMPARE(lastAlert().value(0), TMKLocalizedString(completes ? "msg.format_complete" : "msg.cannot_format"));
            if (completes) {
                QCOMPARE(finished.last().at(0).toInt(), static_cast<int>(TKFormatStatus::Completed));
            } else {
                QVERIFY(lastAlert().value(1).contains(QStringLiteral("password was not given")));
                QVERIFY(m_format->formatButton->isEnabled());
            }
            QVERIFY(pressAlertOk(*m_alerts));
            QTRY_COMPARE(m_format->isVisible(), !completes);
        }

        // The real question: Return takes Cancel, the default, so nothing is erased.
        QWidget window;
        window.show();
        std::optional<bool> answer;
        TMKMessageBoxAlertService().askQuestion(&window, QStringLiteral("Erase?"), QString(), QStringLiteral("Erase"),
                                                [&answer](bool accepted) { answer = accepted; });
        auto* box = window.findChild<QMessageBox*>(QStringLiteral("questionSheet"));
        QVERIFY(box);
        QTRY_VERIFY(box->isVisible());
        QTest::keyClick(box, Qt::Key_Return);
        QTRY_VERIFY(answer.has_value());
        QVERIFY(!*answer);
    }

    // --- time setup ---------------------------------------------------

    // "Today" changes only the date. Without a card Save asks where: a
    // cancelled panel writes and says nothing; a read-only file the user
    // chose is kept and the error told; then the time is written.
    void todayChangesOnlyTheDateAndSaveAsksWhereWithoutACard()
    {
        const QString chosen = m_dir->filePath(QStringLiteral("elsewhere.cfg"));
        QStringList panels;
        QString answer;
        auto s = timeServices(); // no card
        s.saveFileChooser = [&](QWidget*, const QString& proposed) {
            panels << proposed;
            return answer;
        };
        TMKTimeSetupController window(s);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(window.selectedDate(), QDate(2024, 2, 29));
        QVERIFY(window.nowDaySettingChk->text().startsWith(TMKLocalizedString("today") + QStringLiteral("(")));

        // A later day by keyboard in the calendar, a later hour in the text picker.
        auto* grid = window.datePicker->findChild<QAbstractItemView*>();
        QVERIFY(grid);
        grid->setFocus();
        QTest::keyClick(grid, Qt::Key_Right);
        QCOMPARE(window.selectedDate(), QDate(2024, 3, 1));
        QCOMPARE(window.dateField->text(), QLocale().toString(QDate(2024, 3, 1), QLocale::LongFormat));
        window.timePicker->setFocus();
        window.timePicker->setCurrentSection(QDateTimeEdit::HourSection);
        QTest::keyClick(window.timePicker, Qt::Key_Up);
        QCOMPARE(window.selectedTime(), QTime(18, 5, 9));
        QCOMPARE(window.clockTimePicker->time(), QTime(18, 5, 9));

        // The clock face follows the wheel, the text picker follows it.
        QWheelEvent wheel(QPointF(60, 60), window.clockTimePicker->mapToGlobal(QPointF(60, 60)), QPoint(),
                          QPoint(0, 240), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(window.clockTimePicker, &wheel);
        QCOMPARE(window.selectedTime(), QTime(18, 7, 9));
        QCOMPARE(window.timePicker->time(), QTime(18, 7, 9));
        // A click on the outer ring at 3 o'clock sets the minutes to 15.
        const QRect face = window.clockTimePicker->rect();
        QTest::mouseClick(window.clockTimePicker, Qt::LeftButton, {},
                          QPoint(face.center().x() + face.width() * 2 / 5, face.center().y()));
        QCOMPARE(window.selectedTime(), QTime(18, 15, 9));

        // On the box itself, where a user clicks.
        QTest::mouseClick(window.nowDaySettingChk, Qt::LeftButton, {}, QPoint(8, window.nowDaySettingChk->height() / 2));
        QCOMPARE(window.selectedDate(), QDate(2024, 2, 29));
        QCOMPARE(window.datePicker->selectedDate(), QDate(2024, 2, 29));
        QCOMPARE(window.selectedTime(), QTime(18, 15, 9));
        QVERIFY(window.nowDaySettingChk->isChecked());
        QTRY_VERIFY_WITH_TIMEOUT(!window.nowDaySettingChk->isChecked(), 1000);
        QVERIFY(!window.settingFilePath());

        // Cancelled: nothing written, nothing said.
        QTest::mouseClick(window.saveButton, Qt::LeftButton);
        QCOMPARE(panels.size(), 1);
        QVERIFY(panels.at(0).endsWith(QStringLiteral("timeset.cfg")));
        QVERIFY(lastAlert().isEmpty());
        QVERIFY(!QFile::exists(chosen));

        // A read-only file the user chose: the error is told, the file kept.
        writeAll(chosen, "2001/01/01 01:01:01");
        QFile::setPermissions(chosen, QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther);
        answer = chosen;
        QTest::mouseClick(window.saveButton, Qt::LeftButton);
        QCOMPARE(lastAlert().value(1).section(QLatin1Char('\n'), 0, 0), TMKLocalizedString("time.filesave_failed"));
        QVERIFY(pressAlertOk(*m_alerts));
        QVERIFY(window.isVisible());

        QFile::setPermissions(chosen, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        QTest::mouseClick(window.saveButton, Qt::LeftButton);
        QCOMPARE(TMKFileBytes(chosen), QByteArray("2024/02/29 18:15:09"));
        QVERIFY(pressAlertOk(*m_alerts));
        QTRY_VERIFY(!window.isVisible());

        // A card that holds the file: no panel. Other calendars and digits in
        // the user's locale never reach the file.
        m_disks->disks = {card(4'000'000'000)};
        s.saveFileChooser = [](QWidget*, const QString&) {
            qFatal("no save panel for a card that holds the file");
            return QString();
        };
        for (const QLocale& locale : {QLocale(QLocale::Thai, QLocale::Thailand), QLocale(QLocale::Arabic, QLocale::Egypt),
                                      QLocale(QLocale::Persian, QLocale::Iran)}) {
            QLocale::setDefault(locale);
            writeAll(cardPath() + QStringLiteral("/timeset.cfg"), "2000/01/01 00:00:00 and more");
            TMKTimeSetupController onCard(s);
            onCard.show();
            QTest::mouseClick(onCard.saveButton, Qt::LeftButton);
            QCOMPARE(TMKFileBytes(cardPath() + QStringLiteral("/timeset.cfg")), QByteArray("2024/02/29 17:05:09"));
            QCOMPARE(lastAlert().value(1), TMKLocalizedString("time.filesave"));
        }
    }

};

QTEST_MAIN(TMKCardWindowsTest)
#include "TMKCardWindowsTest.moc"
