// The main window with a scripted player: regions in both layouts, the side
// panel, opening folders, drops, keys, remembered state, the languages.

#include "TMKAppDelegate.h"
#include "TMKMainWindow.h"
#include "TMKWindowLayout.h"
#include "player/TMKVideoView.h"

#include <QDropEvent>
#include <QFile>
#include <QMimeData>
#include <QSettings>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

namespace {

// Plays at once, pauses at once; remembers what it was told.
class TMKScriptedPlayer : public TMKMediaPlayer {
public:
    using TMKMediaPlayer::TMKMediaPlayer;

    void setMedia(std::optional<TMKPlayerMedia> media) override
    {
        m_media = media;
        setState(Stopped);
        m_time = 0;
    }
    [[nodiscard]] std::optional<TMKPlayerMedia> media() const override { return m_media; }
    [[nodiscard]] int64_t mediaLength() const override { return m_media ? length : 0; }
    void play() override
    {
        if (m_media)
            setState(Playing);
    }
    void pause() override
    {
        ++pauses;
        if (m_state == Playing)
            setState(Paused);
    }
    void stop() override
    {
        ++stops;
        setState(Stopped);
    }
    [[nodiscard]] bool isPlaying() const override { return m_state == Playing; }
    [[nodiscard]] State state() const override { return m_state; }
    [[nodiscard]] float position() const override
    {
        return length > 0 ? static_cast<float>(static_cast<double>(m_time) / static_cast<double>(length)) : 0.0f;
    }
    void setPosition(float position) override { setTime(static_cast<int64_t>(position * static_cast<float>(length))); }
    [[nodiscard]] float rate() const override { return m_rate; }
    void setRate(float rate) override { m_rate = rate; }
    [[nodiscard]] int64_t time() const override { return m_time; }
    void setTime(int64_t ms) override
    {
        timesSet.push_back(ms);
        m_time = std::clamp<int64_t>(ms, 0, length);
    }
    [[nodiscard]] int64_t remainingTime() const override { return m_time - length; }
    void jumpForward(int seconds) override { setTime(m_time + seconds * 1000); }
    void jumpBackward(int seconds) override { setTime(m_time - seconds * 1000); }
    void setMute(bool mute) override { m_muted = mute; }
    [[nodiscard]] bool isMuted() const override { return m_muted; }
    void setVolume(int volume) override { m_volume = volume; }
    [[nodiscard]] int volume() const override { return m_volume; }
    [[nodiscard]] QList<int> audioTrackIndexes() const override { return m_media ? QList<int>{1} : QList<int>{}; }
    [[nodiscard]] bool hasVideoOut() const override { return m_state == Playing; }
    [[nodiscard]] QSize videoSize() const override { return {1920, 1080}; }
    bool saveVideoSnapshotAt(const QString&, int, int) override { return false; }

    int64_t length = 60000;
    int pauses = 0;
    int stops = 0;
    std::vector<int64_t> timesSet;

private:
    void setState(State state)
    {
        m_state = state;
        QMetaObject::invokeMethod(this, [this] { emit stateChanged(this); }, Qt::QueuedConnection);
    }

    std::optional<TMKPlayerMedia> m_media;
    State m_state = Stopped;
    int64_t m_time = 0;
    float m_rate = 1.0f;
    bool m_muted = false;
    int m_volume = 100;
};

void touch(const QString& path)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
}

QRect geometryOf(QWidget* window, const char* name)
{
    auto* widget = window->findChild<QWidget*>(QLatin1String(name));
    return widget ? widget->geometry() : QRect();
}

} // namespace

class TMKMainWindowTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_folderA;
    QString m_folderB;
    std::unique_ptr<TMKAppDelegate> m_app;
    TMKScriptedPlayer* m_p1 = nullptr;
    TMKScriptedPlayer* m_p2 = nullptr;

    void launch(const QString& folder, bool restore = false)
    {
        TMKAppDelegate::Options options;
        options.restoreState = restore;
        options.settingsPath = m_dir.filePath(QStringLiteral("settings.ini"));
        options.playerFactory = [this](TMKVideoView*, QObject* parent) {
            auto player = std::make_unique<TMKScriptedPlayer>(parent);
            (m_p1 ? m_p2 : m_p1) = player.get();
            return player;
        };
        m_p1 = m_p2 = nullptr;
        m_app = std::make_unique<TMKAppDelegate>(options);
        QSignalSpy listed(m_app.get(), &TMKAppDelegate::mediaListReloaded);
        m_app->applicationDidFinishLaunching(folder);
        if (!folder.isEmpty() || restore)
            QVERIFY(listed.wait(5000));
    }

    void startFirstPair()
    {
        QSignalSpy started(m_app.get(), &TMKAppDelegate::pairStarted);
        QVERIFY(m_app->playAtIndex(0));
        QVERIFY(started.wait(5000));
        QTRY_VERIFY(!m_app->waitingForPlayStart());
    }

private slots:
    void initTestCase()
    {
        m_folderA = m_dir.filePath(QStringLiteral("a"));
        m_folderB = m_dir.filePath(QStringLiteral("b"));
        QDir().mkpath(m_folderA);
        QDir().mkpath(m_folderB);
        touch(m_folderA + "/alwa_20261107_081500_F.avi");
        touch(m_folderA + "/alwa_20261107_081500_R.avi");
        touch(m_folderB + "/alwa_20261107_091500_F.avi");
        touch(m_folderB + "/event_20261107_091600_F.avi");
        touch(m_folderB + "/event_20261107_091600_R.avi");
    }

    void cleanup()
    {
        m_app.reset();
        m_p1 = m_p2 = nullptr;
    }

    void regionsInBothLayouts()
    {
        launch(m_folderA);
        QWidget* window = m_app->window();
        window->resize(TMKWindowLayout::kMinWindowSize);
        QTRY_COMPARE(window->size(), TMKWindowLayout::kMinWindowSize);
        const TMKWindowLayout windowed = TMKWindowLayout::compute(TMKWindowLayout::kMinWindowSize, false);
        QCOMPARE(geometryOf(window, "headBox"), windowed.headBox);
        QCOMPARE(geometryOf(window, "videoBox"), windowed.videoBox);
        QCOMPARE(geometryOf(window, "subVideoBox"), windowed.subVideoBox);
        QCOMPARE(geometryOf(window, "bodyRightBox").width(), 334);
        QVERIFY(window->findChild<QWidget*>(QStringLiteral("bodyRightBox"))->isVisible());

        m_app->toggleFullScreen();
        QTRY_VERIFY(window->isFullScreen());
        QTRY_VERIFY(!window->findChild<QWidget*>(QStringLiteral("bodyRightBox"))->isVisible());
        QVERIFY(window->findChild<QWidget*>(QStringLiteral("mediaControlBoxForFullScreen"))->isVisible());
        QVERIFY(!window->findChild<QWidget*>(QStringLiteral("mediaControlBox"))->isVisible());
        QCOMPARE(geometryOf(window, "mediaControlBoxForFullScreen").height(), 36);

        m_app->toggleFullScreen();
        QTRY_VERIFY(!window->isFullScreen());
        QTRY_VERIFY(window->findChild<QWidget*>(QStringLiteral("bodyRightBox"))->isVisible());
        QVERIFY(!window->findChild<QWidget*>(QStringLiteral("mediaControlBoxForFullScreen"))->isVisible());
    }

    void sidePanelSwitchesOnlyOnChange()
    {
        launch(m_folderA);
        QWidget* map = m_app->window()->findChild<QWidget*>(QStringLiteral("mapContainerView"));
        QVERIFY(map);
        QCOMPARE(m_app->rightViewMode(), 0);
        QVERIFY(m_app->mediaListTableView()->isVisible());
        m_app->clickMapViewButton();
        QCOMPARE(m_app->rightViewMode(), 1);
        QVERIFY(map->isVisible());
        QVERIFY(!m_app->mediaListTableView()->isVisible());
        m_app->clickMapViewButton();
        QCOMPARE(m_app->rightViewMode(), 1);
        QVERIFY(map->isVisible());
        m_app->clickMediaListViewButton();
        QCOMPARE(m_app->rightViewMode(), 0);
        QVERIFY(!map->isVisible());
        QVERIFY(m_app->mediaListTableView()->isVisible());
    }

    // A new folder while a pair plays: both players stop, the list is the new
    // folder's once its scan ends, and the side panel shows the list again.
    void newFolderStopsPlayAndRebuildsTheList()
    {
        launch(m_folderA);
        startFirstPair();
        QVERIFY(m_p1->isPlaying() && m_p2->isPlaying());
        m_app->clickMapViewButton();
        QSignalSpy listed(m_app.get(), &TMKAppDelegate::mediaListReloaded);
        m_app->openMediaDirectory(m_folderB);
        QVERIFY(!m_p1->media() && !m_p2->media());
        QVERIFY(!m_p1->isPlaying() && !m_p2->isPlaying());
        QVERIFY(listed.wait(5000));
        QCOMPARE(m_app->mediaListTableView()->model()->rowCount(), 3);
        QCOMPARE(m_app->rightViewMode(), 0);
    }

    void droppedFilesOpenNothing()
    {
        launch(m_folderA);
        QTableView* table = m_app->mediaListTableView();
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(m_folderB + "/alwa_20261107_091500_F.avi")});
        const QPoint at = table->viewport()->rect().center();
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(table->viewport(), &enter);
        QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(table->viewport(), &drop);
        QCoreApplication::processEvents();
        QCOMPARE(m_app->mediaIndex(), -1);
        QVERIFY(!m_p1->media());
        QCOMPARE(QString::fromStdString(m_app->mediaList()->directoryPath().value_or("")), m_folderA);
        QCOMPARE(table->model()->rowCount(), 2);
    }

    void keysDriveThePlayback()
    {
        launch(m_folderA);
        startFirstPair();
        QWidget* window = m_app->window();
        window->activateWindow();
        QTRY_VERIFY(m_app->playInfo()->isPlaying());
        const int pauses = m_p1->pauses;
        QTest::keyClick(window, Qt::Key_Space);
        QCOMPARE(m_p1->pauses, pauses + 1);
        QTRY_VERIFY(!m_p1->isPlaying());

        // Forward with less than 10 s left goes to the end on both players.
        m_p1->play();
        m_p2->play();
        QTRY_VERIFY(m_app->playInfo()->isPlaying());
        m_p1->setTime(55000);
        m_p2->setTime(55000);
        QTest::keyClick(window, Qt::Key_Right);
        QCOMPARE(m_p1->timesSet.back(), 60000);
        QCOMPARE(m_p2->timesSet.back(), 60000);

        QTest::keyClick(window, Qt::Key_BracketRight);
        QCOMPARE(m_app->playInfo()->speed(), 2.0);
        QCOMPARE(m_p2->rate(), 2.0f);
        QTest::keyClick(window, Qt::Key_BracketLeft);
        QCOMPARE(m_app->playInfo()->speed(), 1.0);
        const int volume = m_app->volume();
        QTest::keyClick(window, Qt::Key_Down);
        QCOMPARE(m_app->volume(), volume - 10);
    }

    void lastFolderIsReopened()
    {
        launch(m_folderB, true);
        m_app->window()->close();
        m_app.reset();
        launch(QString(), true);
        QCOMPARE(QString::fromStdString(m_app->mediaList()->directoryPath().value_or("")), m_folderB);
    }

    // The preferred languages are logged, then only English is stored.
    void languagesAreLoggedThenEnglishStored()
    {
        const QString path = m_dir.filePath(QStringLiteral("languages.ini"));
        {
            QSettings settings(path, QSettings::IniFormat);
            settings.setValue(QStringLiteral("AppleLanguages"), QStringList{QStringLiteral("ko"), QStringLiteral("en")});
        }
        QTest::ignoreMessage(QtInfoMsg, "SUPPORT_LANGUAGE=ko");
        QTest::ignoreMessage(QtInfoMsg, "SUPPORT_LANGUAGE=en");
        TMKAppDelegate::Options options;
        options.restoreState = false;
        options.settingsPath = path;
        options.playerFactory = [](TMKVideoView*, QObject* parent) { return std::make_unique<TMKScriptedPlayer>(parent); };
        TMKAppDelegate app(options);
        app.applicationDidFinishLaunching(m_folderA);
        QSettings settings(path, QSettings::IniFormat);
        QCOMPARE(settings.value(QStringLiteral("AppleLanguages")).toStringList(), QStringList{QStringLiteral("en")});
    }
};

QTEST_MAIN(TMKMainWindowTest)
#include "TMKMainWindowTest.moc"
