// A clip from the window: I and O across two recordings of a trip, the span
// on the slider, Export Clip… with the inset and an overlay written whole,
// Cancel leaving nothing, the units preference on the speed readout.

#include "TMKH264Recording.h"
#include "TMKRecordingAlertService.h"
#include "TMKTestViewer.h"
#include "viewer/clip/TMKClipExporter.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QThreadPool>

class TMKClipWindowTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    TMKTestViewer m_viewer;
    std::shared_ptr<TMKRecordingAlertService> m_alerts = std::make_shared<TMKRecordingAlertService>();
    QString m_output;

    TMKAppDelegate& app() { return *m_viewer.app; }
    void play(const char* name)
    {
        TMKMediaList* list = app().session()->mediaList();
        int row = 0;
        while (!list->mediaAtIndex(static_cast<std::size_t>(row))->path.ends_with(name))
            ++row;
        QTableView* table = app().window()->tableView();
        QSignalSpy started(app().session()->sequence(), &TMKPairSequence::pairStarted);
        QTest::mouseDClick(table->viewport(), Qt::LeftButton, Qt::NoModifier,
                           table->visualRect(table->model()->index(row, 3)).center());
        QVERIFY(started.wait(5000));
        QTRY_VERIFY(!app().session()->sequence()->waitingForPlayStart() && !app().playingTrip()->isBusy());
    }
    void checkSpan(double start, double end)
    {
        const auto span = app().window()->positionSlider()->span();
        QVERIFY(span);
        QVERIFY2(std::abs(span->start - start) < 0.02 && std::abs(span->end - end) < 0.02,
                 qPrintable(QStringLiteral("%1..%2").arg(span->start).arg(span->end)));
    }
    // ffprobe's view of the written clip: `entries` as comma-separated values.
    QByteArray probe(const char* entries)
    {
        QProcess ffprobe;
        ffprobe.start(QStringLiteral("ffprobe"), QStringList{"-v", "error", "-show_entries", entries, "-of", "csv=p=0", m_output});
        return ffprobe.waitForFinished(20000) ? ffprobe.readAllStandardOutput().simplified() : QByteArray();
    }
    TMKClipExportDialog* openDialog()
    {
        app().window()->activateWindow();
        if (!QTest::qWaitForWindowActive(app().window()))
            return nullptr;
        QTest::keyClick(app().window(), Qt::Key_E, Qt::ControlModifier | Qt::ShiftModifier);
        TMKClipExportDialog* dialog = app().clipExporter()->dialog();
        return dialog && dialog->isVisible() ? dialog : nullptr;
    }

private slots:
    void initTestCase()
    {
        TMKDriveOptions options;
        options.startUtc = {2026, 11, 7, 7, 15, 0, 0};
        const TMKDriveSimulator drive(TMKMunichRoute(), TMKSpeedProfile(20).ramp(60, 8), options);
        for (const auto& [name, ms] : {std::pair{"alwa_20261107_081500_F.avi", 0u}, {"alwa_20261107_081503_F.avi", 3000u},
                                       {"alwa_20261107_091500_F.avi", 0u}, {"alwa_20261107_101500_F.avi", 0u},
                                       {"alwa_20261107_101503_F.avi", 3000u}})
            QVERIFY(TMKWriteH264Recording(m_dir.filePath(QLatin1String(name)).toStdString(), drive, ms, 3000,
                                          {192, 108, 30, 16}, false));
        // The second recording of the 10:15 trip breaks off half-way.
        QFile cut(m_dir.filePath(QStringLiteral("alwa_20261107_101503_F.avi")));
        QVERIFY(cut.resize(cut.size() / 2));
        TMKAppDelegate::Options services;
        services.alerts = m_alerts;
        services.clipFileChooser = [this](QWidget*, const QString&, const QString& proposed) {
            return QFileInfo(proposed).suffix() == QFileInfo(m_output).suffix() ? m_output : QString();
        };
        launch(m_viewer, m_dir.filePath(QStringLiteral("settings.ini")), m_dir.path(), services);
    }
    void cleanupTestCase()
    {
        m_viewer.app.reset();
        QThreadPool::globalInstance()->waitForDone();
    }

    void marksExportAndCancel()
    {
        TMKMainWindow* window = app().window();
        m_viewer.p1->length = m_viewer.p2->length = 3000;
        play("081500_F.avi");
        m_viewer.p1->setTime(1000);
        QTest::keyClick(window, Qt::Key_I);
        checkSpan(1 / 3.0, 1 / 3.0);
        play("081503_F.avi");
        m_viewer.p1->setTime(1500);
        QTest::keyClick(window, Qt::Key_O);
        checkSpan(0, 0.5); // the start, in the recording before, runs to the slider's start
        QTRY_VERIFY(window->speedFieldText().endsWith(QStringLiteral("Km/h")));

        // The copied path is said for one camera without an overlay; the
        // inset with time and speed in mph is encoded, 1.0 s to 4.5 s.
        TMKClipExportDialog* dialog = openDialog();
        QVERIFY(dialog);
        auto* note = dialog->findChild<QLabel*>(QStringLiteral("clipCopyNote"));
        QVERIFY(note->text().contains(QStringLiteral("no re-encoding")));
        dialog->findChild<QComboBox*>(QStringLiteral("clipLayout"))->setCurrentIndex(4);
        QTest::mouseClick(dialog->findChild<QCheckBox*>(QStringLiteral("clipTime")), Qt::LeftButton);
        QTest::mouseClick(dialog->findChild<QCheckBox*>(QStringLiteral("clipSpeed")), Qt::LeftButton);
        dialog->findChild<QComboBox*>(QStringLiteral("clipUnits"))->setCurrentIndex(1);
        QVERIFY(!note->text().contains(QStringLiteral("no re-encoding")));
        m_output = m_dir.filePath(QStringLiteral("clip.mp4"));
        QSignalSpy finished(app().clipExporter(), &TMKClipExporter::finished);
        QTest::mouseClick(dialog->findChild<QPushButton*>(QStringLiteral("clipExportButton")), Qt::LeftButton);
        QVERIFY(app().clipExporter()->progress());
        QVERIFY(finished.wait(60000));
        QVERIFY(finished.first().first().value<TMKClipResult>().ok);
        const double duration = probe("format=duration").toDouble();
        QVERIFY2(std::abs(duration - 3.5) <= 1.0 / 30 + 1e-6, qPrintable(QString::number(duration)));
        QTRY_VERIFY(window->speedFieldText().endsWith(QStringLiteral("Mi/h")));
        QVERIFY(m_alerts->alerts.isEmpty());

        // Cancel at once: no clip, nothing left aside.
        dialog = openDialog();
        QVERIFY(dialog);
        dialog->findChild<QComboBox*>(QStringLiteral("clipLayout"))->setCurrentIndex(2);
        m_output = m_dir.filePath(QStringLiteral("cancelled.mp4"));
        finished.clear();
        QTest::mouseClick(dialog->findChild<QPushButton*>(QStringLiteral("clipExportButton")), Qt::LeftButton);
        QVERIFY(app().clipExporter()->progress());
        QTest::mouseClick(app().clipExporter()->progress()->findChild<QPushButton*>(), Qt::LeftButton);
        QVERIFY(finished.wait(60000));
        QVERIFY(finished.first().first().value<TMKClipResult>().cancelled);
        QCOMPARE(QDir(m_dir.path()).entryList({QStringLiteral("*.mp4*"), QStringLiteral(".*mp4*")}, QDir::Files | QDir::Hidden),
                 QStringList{QStringLiteral("clip.mp4")});

        // Another trip shows no span and clears nothing; the clear key does.
        play("091500_F.avi");
        QVERIFY(!window->positionSlider()->span());
        play("081503_F.avi");
        checkSpan(0, 0.5);
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window));
        QTest::keyClick(window, Qt::Key_X, Qt::ControlModifier | Qt::ShiftModifier);
        QVERIFY(!window->positionSlider()->span());
        // Unmarked, the clip is the playing recording whole; the dialog
        // starts with the last clip's choices.
        dialog = openDialog();
        QVERIFY(dialog);
        QVERIFY(dialog->findChild<QLabel*>(QStringLiteral("clipSpan"))->text().contains(QStringLiteral("(3.0 s)")));
        QCOMPARE(dialog->findChild<QComboBox*>(QStringLiteral("clipLayout"))->currentIndex(), 2);
        QVERIFY(dialog->findChild<QCheckBox*>(QStringLiteral("clipSpeed"))->isChecked());
        dialog->reject();
    }

    // A recording that breaks off in the span is told; the readable part is
    // kept only when the user says so. The copied front keeps its sound.
    void damagedInMidSpanAsksBeforeKeepingThePart()
    {
        play("101500_F.avi");
        m_viewer.p1->setTime(1000);
        QTest::keyClick(app().window(), Qt::Key_I);
        play("101503_F.avi");
        m_viewer.p1->setTime(2900);
        QTest::keyClick(app().window(), Qt::Key_O);
        QSignalSpy finished(app().clipExporter(), &TMKClipExporter::finished);
        for (const bool keep : {false, true}) {
            TMKClipExportDialog* dialog = openDialog();
            QVERIFY(dialog);
            dialog->findChild<QComboBox*>(QStringLiteral("clipLayout"))->setCurrentIndex(0);
            for (const char* part : {"clipTime", "clipSpeed"})
                dialog->findChild<QCheckBox*>(QLatin1String(part))->setChecked(false);
            QVERIFY(dialog->copies());
            m_output = m_dir.filePath(QStringLiteral("damaged.mkv"));
            finished.clear();
            m_alerts->questions.clear();
            QTest::mouseClick(dialog->findChild<QPushButton*>(QStringLiteral("clipExportButton")), Qt::LeftButton);
            QTRY_COMPARE_WITH_TIMEOUT(m_alerts->questions.size(), 1, 30000);
            QVERIFY(m_alerts->questions.first().informative.contains(QStringLiteral("damaged")));
            QVERIFY(finished.isEmpty()); // the export waits for the answer
            m_alerts->questions.first().onAnswer(keep);
            QVERIFY(finished.wait(30000));
            const auto result = finished.first().first().value<TMKClipResult>();
            QCOMPARE(result.partial, keep);
            QCOMPARE(QFileInfo::exists(m_output), keep);
        }
        QCOMPARE(probe("stream=codec_type"), QByteArray("video audio"));
        QCOMPARE(m_alerts->alerts.size(), 2); // each failed clip is told
    }
};

QTEST_MAIN(TMKClipWindowTest)
#include "TMKClipWindowTest.moc"
