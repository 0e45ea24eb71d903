// Playback faults a user met, driven as the user drives the window (keys,
// clicks, double-clicks) on a 1280x800 screen with scripted players: a new
// folder while playing, damaged recordings, full screen across a recording
// boundary, stepping back while paused, the speaker, and the video size steps.

#include "TMKScriptedPlayer.h"
#include "TMKTestViewer.h"
#include "TMKViewerTestFiles.h"
#include "map/TMKMapScripts.h"
#include "viewer/TMKAppDelegate.h"
#include "widgets/TMKLogoView.h"
#include "viewer/telemetry/GraphView.h"
#include "viewer/player/TMKVideoView.h"
#include "widgets/TMKImageButton.h"

#include <QApplication>
#include <QBrush>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QSignalSpy>
#include <QSlider>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QThreadPool>

#include <cmath>
#include <memory>
#include <utility>

#include <sys/stat.h>

namespace {

template <typename T>
T* child(QWidget* window, const char* name)
{
    auto* widget = window->findChild<T*>(QLatin1String(name));
    if (!widget)
        qWarning("no %s in the window", name);
    return widget;
}

} // namespace

class TMKPlaybackFaultTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_settings;
    QString m_folderA;  // 0 081500_F, 1 081500_R, 2 081600_F, 3 081600_R
    QString m_folderB;  // 0 091500_F
    QString m_empty;
    QString m_damaged;  // 0 100000_F (cut), 1 100000_R, 2 100100_F, 3 100100_R (noise), 4 100200_F
    QString m_notFiles; // 0 110000_F, 1 110000_R (a FIFO), 2 110100_R (a dangling link)
    QString m_chosenFolder; // what the folder chooser answers
    TMKTestViewer m_viewer;

    TMKAppDelegate& app() { return *m_viewer.app; }
    QWidget* window() { return m_viewer.app->window(); }

    void launch(const QString& folder)
    {
        TMKAppDelegate::Options options;
        options.folderChooser = [this](QWidget*, const QString&, const QString&) { return m_chosenFolder; };
        options.extractor = [](const QString&) {
            TMKBlackBoxData data;
            data.m_GSensors.assign(600, TMKGSensor(0.5f, -0.25f, 1.0f));
            return data;
        };
        ::launch(m_viewer, m_settings, folder, std::move(options));
    }

    void doubleClickRow(int row)
    {
        QTableView* table = app().window()->tableView();
        const QPoint centre = table->visualRect(table->model()->index(row, 3)).center();
        QTest::mouseDClick(table->viewport(), Qt::LeftButton, Qt::NoModifier, centre);
    }

    void playRow(int row)
    {
        QSignalSpy started(app().session()->sequence(), &TMKPairSequence::pairStarted);
        doubleClickRow(row);
        QVERIFY(started.wait(5000));
        QCOMPARE(started.first().first().toLongLong(), row);
        QTRY_VERIFY(!app().session()->sequence()->waitingForPlayStart());
        QVERIFY(app().session()->playInfo()->isPlaying());
    }

    // Ctrl+O with the chooser answering `folder`, until the list is read.
    void openFolderByKey(const QString& folder)
    {
        m_chosenFolder = folder;
        QSignalSpy listed(&app(), &TMKAppDelegate::mediaListReloaded);
        QTest::keySequence(window(), QKeySequence(Qt::CTRL | Qt::Key_O));
        QVERIFY(listed.wait(5000));
    }

    QString timeText() { return child<QLabel>(window(), "timeLabel")->text(); }
    int sliderValue() { return child<QSlider>(window(), "videoPositionSlider")->value(); }
    QString playImage() { return child<TMKImageButton>(window(), "playButton")->image(); }

    QLabel* messageBanner() { return child<QLabel>(window(), "playbackMessageLabel"); }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_settings = m_dir.filePath(QStringLiteral("settings.ini"));
        m_folderA = m_dir.filePath(QStringLiteral("a"));
        m_folderB = m_dir.filePath(QStringLiteral("b"));
        m_empty = m_dir.filePath(QStringLiteral("empty"));
        m_damaged = m_dir.filePath(QStringLiteral("damaged"));
        m_notFiles = m_dir.filePath(QStringLiteral("notfiles"));
        for (const QString& folder : {m_folderA, m_folderB, m_empty, m_damaged, m_notFiles})
            QVERIFY(QDir().mkpath(folder));
        touch(m_notFiles + "/alwa_20261107_110000_F.avi");
        QCOMPARE(::mkfifo(QFile::encodeName(m_notFiles + "/alwa_20261107_110000_R.avi").constData(), 0600), 0);
        QVERIFY(QFile::link(m_notFiles + "/gone.avi", m_notFiles + "/alwa_20261107_110100_R.avi"));
        for (const char* name : {"alwa_20261107_081500_F.avi", "alwa_20261107_081500_R.avi",
                                 "alwa_20261107_081600_F.avi", "alwa_20261107_081600_R.avi"})
            touch(m_folderA + QLatin1Char('/') + QLatin1String(name));
        touch(m_folderB + "/alwa_20261107_091500_F.avi");
        for (const char* name : {"alwa_20261107_100000_F.avi", "alwa_20261107_100000_R.avi",
                                 "alwa_20261107_100100_F.avi", "alwa_20261107_100100_R.avi",
                                 "alwa_20261107_100200_F.avi"})
            touch(m_damaged + QLatin1Char('/') + QLatin1String(name));
        // The players' verdict on the files (the libVLC player derives it
        // from the file; its own test covers that).
        TMKScriptedPlayer::faults.insert(QStringLiteral("alwa_20261107_100000_F.avi"),
                                         {QStringLiteral("the file is cut short"), false, 1000});
        TMKScriptedPlayer::faults.insert(QStringLiteral("alwa_20261107_100100_R.avi"),
                                         {QStringLiteral("not an AVI recording"), true, 0});
        QVERIFY(QGuiApplication::primaryScreen());
        QCOMPARE(QGuiApplication::primaryScreen()->size(), QSize(1280, 800));
    }

    void cleanup()
    {
        m_viewer.app.reset();
        QThreadPool::globalInstance()->waitForDone();
    }

    // Ctrl+O while a pair plays: both players stop and let go, the controls
    // show the stopped state, and play works again in the new folder.
    void newFolderWhilePlayingStopsEverything()
    {
        launch(m_folderA);
        playRow(0);
        m_viewer.p1->tick(12000);
        QCOMPARE(playImage(), QStringLiteral("icon_pause"));
        QVERIFY(app().window()->video1View()->isVisible());
        QTest::keySequence(window(), QKeySequence(Qt::CTRL | Qt::Key_2));
        QCOMPARE(app().window()->sideView(), TMKMainWindow::SideView::Map);
        QTRY_COMPARE(child<QLabel>(window(), "xLabel")->text(), QStringLiteral("X=+0.50"));
        QVERIFY(!app().window()->graphView()->values().empty());
        app().session()->playInfo()->setScale(0.5);
        app().window()->setSliderMarkers({{0.5, true}});

        openFolderByKey(m_empty);
        QVERIFY(!m_viewer.p1->media());
        QVERIFY(!m_viewer.p2->media());
        QVERIFY(m_viewer.p1->stops > 0);
        QCOMPARE(m_viewer.p1->state(), TMKMediaPlayer::Stopped);
        QVERIFY(!app().session()->playInfo()->isPlaying());
        QCOMPARE(playImage(), QStringLiteral("icon_play"));
        QCOMPARE(timeText(), QStringLiteral("00:00 / 00:00"));
        QCOMPARE(sliderValue(), 0);
        QVERIFY(!app().window()->video1View()->isVisible());
        QVERIFY(!app().window()->video1View()->hasFrame());
        QCOMPARE(app().session()->sequence()->mediaIndex(), -1);
        QCOMPARE(app().window()->sideView(), TMKMainWindow::SideView::List); // the list again
        // Nothing of the old recording stays: readouts, graph, scale.
        QCOMPARE(child<QLabel>(window(), "xLabel")->text(), QStringLiteral("X=+0.00"));
        QCOMPARE(child<QLabel>(window(), "zLabel")->text(), QStringLiteral("Z=+0.00"));
        QVERIFY(app().window()->graphView()->values().empty());
        QCOMPARE(child<QPushButton>(window(), "sizeTextButton")->text(), QStringLiteral("\u2013"));
        QVERIFY(app().window()->sliderMarkers().isEmpty());
        QVERIFY(m_viewer.scripts.contains(TMKClearMapScript())); // nor on the map

        // Nothing to play in an empty folder: Space does nothing.
        QTest::keyClick(window(), Qt::Key_Space);
        QCoreApplication::processEvents();
        QVERIFY(!m_viewer.p1->media());

        // In a folder with recordings Space plays its first row.
        openFolderByKey(m_folderB);
        QSignalSpy started(app().session()->sequence(), &TMKPairSequence::pairStarted);
        QTest::keyClick(window(), Qt::Key_Space);
        QVERIFY(started.wait(5000));
        QCOMPARE(fileOf(m_viewer.p1), QStringLiteral("alwa_20261107_091500_F.avi"));
        QTRY_VERIFY(app().session()->playInfo()->isPlaying());
        QTRY_COMPARE(playImage(), QStringLiteral("icon_pause"));
        // And Space pauses it.
        QTest::keyClick(window(), Qt::Key_Space);
        QTRY_VERIFY(!app().session()->playInfo()->isPlaying());
    }

    // A damaged front: said at once with the reason; the rear takes the
    // main area and the clock, the controls work, and the next pair follows.
    // A rear of noise: said at once, the front plays alone, the next follows.
    void damagedRecordingsAreToldAndTheRestPlays()
    {
        launch(m_damaged);
        QSignalSpy started(app().session()->sequence(), &TMKPairSequence::pairStarted);
        doubleClickRow(0);
        QVERIFY(messageBanner());
        QTRY_VERIFY_WITH_TIMEOUT(messageBanner()->isVisible(), 200); // at once, before the start
        QCOMPARE(started.count(), 0);
        QVERIFY(messageBanner()->text().contains(QStringLiteral("alwa_20261107_100000_F.avi")));
        QVERIFY(messageBanner()->text().contains(QStringLiteral("cut short")));
        QVERIFY(started.wait(5000));
        QTRY_VERIFY(!app().session()->sequence()->waitingForPlayStart());
        QCOMPARE(fileOf(m_viewer.p1), QStringLiteral("alwa_20261107_100000_R.avi"));
        QCOMPARE(fileOf(m_viewer.p2), QStringLiteral("alwa_20261107_100000_F.avi"));
        QCOMPARE(app().window()->findChildren<TMKLogoView*>().value(0)->logoImage(), QStringLiteral("v1_rear_logo"));

        // The cut front ends after its one second; the rear goes on.
        m_viewer.p1->tick(1500);
        m_viewer.p2->tick(1500);
        QCOMPARE(m_viewer.p2->state(), TMKMediaPlayer::Paused);
        QTRY_VERIFY(app().window()->video2View()->isHidden()); // its logo, not its last broken picture
        QTRY_VERIFY(app().session()->playInfo()->isPlaying());
        QCOMPARE(timeText(), QStringLiteral("00:01 / 01:00"));
        QTest::keyClick(window(), Qt::Key_Space);
        QTRY_VERIFY(!app().session()->playInfo()->isPlaying());
        QTRY_COMPARE(playImage(), QStringLiteral("icon_play"));
        QTest::mouseClick(child<TMKImageButton>(window(), "playButton"), Qt::LeftButton);
        QTRY_COMPARE(m_viewer.p1->state(), TMKMediaPlayer::Playing);
        m_viewer.p1->tick(250); // the play state shows from the next time event
        QTRY_VERIFY(app().session()->playInfo()->isPlaying());

        // At the end of the rear the next pair follows: its rear is noise.
        started.clear();
        m_viewer.p1->tick(60000);
        QVERIFY(started.wait(5000));
        QCOMPARE(started.first().first().toLongLong(), 2);
        QVERIFY(messageBanner()->isVisible());
        QVERIFY(messageBanner()->text().contains(QStringLiteral("alwa_20261107_100100_R.avi")));
        QVERIFY(messageBanner()->text().contains(QStringLiteral("not an AVI recording")));
        QTRY_VERIFY(!app().session()->sequence()->waitingForPlayStart());
        QCOMPARE(fileOf(m_viewer.p1), QStringLiteral("alwa_20261107_100100_F.avi"));
        QVERIFY(!m_viewer.p2->media());
        QVERIFY(app().window()->video2View()->isHidden());
        QVERIFY(app().session()->playInfo()->isPlaying());

        started.clear();
        m_viewer.p1->tick(60000);
        QVERIFY(started.wait(5000));
        QCOMPARE(started.first().first().toLongLong(), 4);
        QVERIFY(!messageBanner()->isVisible()); // a healthy pair: nothing of the one before
    }

    // A pair of which nothing plays fails at once with its reason, and the
    // pair after it still follows.
    void anUnplayablePairIsSkipped()
    {
        TMKScriptedPlayer::faults.insert(QStringLiteral("alwa_20261107_100100_F.avi"),
                                         {QStringLiteral("the file cannot be read"), true, 0});
        launch(m_damaged);
        QSignalSpy failed(app().session()->sequence(), &TMKPairSequence::pairFailed);
        QSignalSpy started(app().session()->sequence(), &TMKPairSequence::pairStarted);
        doubleClickRow(2);
        QCOMPARE(failed.count(), 1);
        QVERIFY(!app().session()->sequence()->waitingForPlayStart());
        QVERIFY(!app().window()->isLoadingShown());
        QVERIFY(messageBanner() && messageBanner()->isVisible());
        QVERIFY(messageBanner()->text().contains(QStringLiteral("alwa_20261107_100100_F.avi")));
        QVERIFY(messageBanner()->text().contains(QStringLiteral("cannot be read")));
        QVERIFY(started.wait(3000));
        QCOMPARE(started.first().first().toLongLong(), 4);
        QVERIFY(!messageBanner()->isVisible());
        TMKScriptedPlayer::faults.remove(QStringLiteral("alwa_20261107_100100_F.avi"));
    }

    // A FIFO and a dangling link named as recordings are rows, greyed with
    // their reason once checked; the FIFO's partner plays alone and says why.
    void filesThatAreNoRecordingsAreToldNotOpened()
    {
        launch(m_notFiles);
        QAbstractItemModel* rows = app().window()->tableView()->model();
        QCOMPARE(rows->rowCount(), 3);
        const QString greyed = QApplication::palette().brush(QPalette::Disabled, QPalette::Text).color().name();
        for (const auto& [row, reason] : {std::pair{1, "not a regular file"}, std::pair{2, "link target missing"}}) {
            QTRY_VERIFY(rows->index(row, 3).data(Qt::ToolTipRole).toString().contains(QLatin1String(reason)));
            QCOMPARE(rows->index(row, 3).data(Qt::ForegroundRole).value<QBrush>().color().name(), greyed);
        }
        playRow(0);
        QCOMPARE(fileOf(m_viewer.p1), QStringLiteral("alwa_20261107_110000_F.avi"));
        QVERIFY(!m_viewer.p2->media());
        QVERIFY(messageBanner()->isVisible());
        QVERIFY(messageBanner()->text().contains(QStringLiteral("alwa_20261107_110000_R.avi")));
        QVERIFY(messageBanner()->text().contains(QStringLiteral("not a regular file")));
    }

    // Full screen stays when the next pair starts; only the user leaves it.
    void fullScreenHoldsAcrossARecordingBoundary()
    {
        launch(m_folderA);
        playRow(0);
        QTest::keyClick(window(), Qt::Key_F);
        QTRY_VERIFY(window()->isFullScreen());
        QSignalSpy started(app().session()->sequence(), &TMKPairSequence::pairStarted);
        m_viewer.p1->tick(60000);
        QVERIFY(started.wait(5000));
        QCOMPARE(started.first().first().toLongLong(), 2);
        QTRY_VERIFY(!app().session()->sequence()->waitingForPlayStart());
        QVERIFY(window()->isFullScreen());
        QVERIFY(child<QWidget>(window(), "mediaControlBoxForFullScreen")->isVisible());
        QVERIFY(!child<QWidget>(window(), "bodyRightBox")->isVisible() && !child<QWidget>(window(), "mediaControlBox")->isVisible());
        QTest::keyClick(window(), Qt::Key_Escape);
        QTRY_VERIFY(!window()->isFullScreen());
        QVERIFY(child<QWidget>(window(), "bodyRightBox")->isVisible());
    }

    // ← and → while paused: the time text and the slider follow each jump
    // at once, as they do while playing, however quick the presses; a
    // click on the bar seeks there.
    void jumpsWhilePausedShowTheirTime()
    {
        launch(m_folderA);
        playRow(0);
        m_viewer.p1->tick(30000);
        QCOMPARE(timeText(), QStringLiteral("00:30 / 01:00"));
        QTest::keyClick(window(), Qt::Key_Space);
        QTRY_VERIFY(!app().session()->playInfo()->isPlaying());

        // Presses in quick succession each count.
        const QList<QPair<Qt::Key, QString>> presses{{Qt::Key_Left, QStringLiteral("00:20")},
                                                     {Qt::Key_Left, QStringLiteral("00:10")},
                                                     {Qt::Key_Right, QStringLiteral("00:20")},
                                                     {Qt::Key_Left, QStringLiteral("00:10")},
                                                     {Qt::Key_Left, QStringLiteral("00:00")}};
        for (const auto& [key, shown] : presses) {
            QTest::keyClick(window(), key);
            QCOMPARE(timeText(), shown + QStringLiteral(" / 01:00"));
            QCOMPARE(sliderValue(), static_cast<int>(std::lround(shown.right(2).toInt() * 10000.0 / 60.0)));
        }
        QCOMPARE(m_viewer.p1->time(), 0);
        QVERIFY(!app().session()->playInfo()->isPlaying());

        // A click on the bar's middle seeks both there, paused too.
        auto* slider = child<QSlider>(window(), "videoPositionSlider");
        QTRY_VERIFY(!app().session()->sync()->isMoving()); // the jumps' follow-up is over
        QTest::mouseClick(slider, Qt::LeftButton, {}, slider->rect().center());
        QVERIFY(std::abs(m_viewer.p1->time() - 30000) < 2000);
        QCOMPARE(m_viewer.p2->time(), m_viewer.p1->time());
        QVERIFY(!app().session()->playInfo()->isPlaying());
    }

    // M mutes and the speaker says so; at volume 0 it says nothing is
    // heard either.
    // The keys reach the players through the app's wiring (the part test
    // sees them only up to the window's intents), and the speaker shows
    // what is heard.
    void theSpeakerShowsWhatIsHeard()
    {
        launch(m_folderA);
        playRow(0);
        m_viewer.p1->tick(1200);
        QTest::keyClick(window(), Qt::Key_Space);
        QTRY_COMPARE(m_viewer.p2->state(), TMKMediaPlayer::Paused);
        QTest::keyClick(window(), Qt::Key_Period);
        QCOMPARE(m_viewer.p2->time(), 1300);
        QTest::keyClick(window(), Qt::Key_Comma);
        QTest::keyClick(window(), Qt::Key_Comma);
        QCOMPARE(m_viewer.p1->time(), 1100);
        QTest::keyClick(window(), Qt::Key_BracketRight);
        QCOMPARE(m_viewer.p1->rate(), 2.0f);
        QTest::keyClick(window(), Qt::Key_Backspace);
        QCOMPARE(m_viewer.p1->rate(), 1.0f);
        auto* speaker = child<TMKImageButton>(window(), "audioToggleButton");
        QTest::keyClick(window(), Qt::Key_M);
        QVERIFY(m_viewer.p1->isMuted());
        QCOMPARE(speaker->image(), QStringLiteral("icon_volume_muted"));
        QTest::keyClick(window(), Qt::Key_M);
        QVERIFY(!m_viewer.p1->isMuted());
        QCOMPARE(speaker->image(), QStringLiteral("icon_volume"));
        while (app().session()->sound()->volume() > 0)
            QTest::keyClick(window(), Qt::Key_Down);
        QCOMPARE(speaker->image(), QStringLiteral("icon_volume_muted"));
    }

    // On a 1280x800 screen each Ctrl+= grows the window inside the screen;
    // only from the screen's size does it go full screen. The size button
    // shows the scale and says what it does.
    void sizeStepsStayOnTheScreen()
    {
        launch(m_folderA);
        playRow(0);
        const QRect available = window()->screen()->availableGeometry();
        QSize before = window()->size();
        int steps = 0;
        while (!window()->isFullScreen() && steps < 6) {
            QTest::keySequence(window(), QKeySequence(Qt::CTRL | Qt::Key_Equal));
            QTRY_VERIFY(window()->isFullScreen() || window()->size() != before);
            ++steps;
            if (window()->isFullScreen())
                break;
            QVERIFY2(available.contains(window()->frameGeometry()),
                     qPrintable(QStringLiteral("step %1: %2,%3 %4x%5")
                                    .arg(steps)
                                    .arg(window()->frameGeometry().x())
                                    .arg(window()->frameGeometry().y())
                                    .arg(window()->frameGeometry().width())
                                    .arg(window()->frameGeometry().height())));
            QVERIFY(window()->width() > before.width() || window()->height() > before.height());
            before = window()->size();
        }
        QVERIFY2(steps >= 2, "the first step went straight to full screen");
        QVERIFY(window()->isFullScreen());
        QTest::keySequence(window(), QKeySequence(Qt::CTRL | Qt::Key_Minus));
        QTRY_VERIFY(!window()->isFullScreen());

        auto* size = child<QPushButton>(window(), "sizeTextButton");
        QTRY_VERIFY(app().session()->playInfo()->scale() > 0);
        QVERIFY(QRegularExpression(QStringLiteral("^\\d+\\.\\d\\dx$")).match(size->text()).hasMatch());
        QVERIFY(size->toolTip().contains(QString::asprintf("%.2f", app().session()->playInfo()->scale())));
        QVERIFY(size->toolTip().contains(QStringLiteral("Ctrl+=")));
    }
};

QTEST_MAIN(TMKPlaybackFaultTest)
#include "TMKPlaybackFaultTest.moc"
