// The main window alone, with no application object behind it: the user's
// clicks, drags and keys come out as intent signals, the setters show what
// they are given, and every control sits where the layout puts it.

#include "viewer/window/TMKMainWindow.h"
#include "viewer/window/TMKWindowLayout.h"

#include <QAbstractButton>
#include <QAction>
#include <QMap>
#include <QApplication>
#include <QResizeEvent>
#include <QLabel>
#include <QSignalSpy>
#include <QSlider>
#include <QStandardItemModel>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTableView>
#include <QTest>

#include <cmath>

#include <memory>
#include <utility>

namespace {

QPoint handleCentre(QSlider* slider)
{
    QStyleOptionSlider option;
    option.initFrom(slider);
    option.orientation = slider->orientation();
    option.minimum = slider->minimum();
    option.maximum = slider->maximum();
    option.sliderPosition = slider->sliderPosition();
    option.sliderValue = slider->value();
    return slider->style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, slider).center();
}

} // namespace

class TMKMainWindowPartTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TMKMainWindow> m_window;

    template <typename T = QWidget>
    T* child(const char* name)
    {
        auto* widget = m_window->findChild<T*>(QLatin1String(name));
        if (!widget)
            qFatal("no widget %s", name);
        return widget;
    }

private slots:
    void init()
    {
        m_window = std::make_unique<TMKMainWindow>();
        m_window->resize(TMKWindowLayout::kMinWindowSize);
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
        QTRY_COMPARE(m_window->size(), TMKWindowLayout::kMinWindowSize);
    }

    void cleanup() { m_window.reset(); }

    // The videos grow from the corners facing each other into their boxes
    // and stay there; a layout meanwhile does not snap them in early. Each
    // piece places what it built where the layout says, and follows a
    // resize.
    void controlsSitWhereTheLayoutPutsThem()
    {
        QWidget* video1 = child("video1View");
        QWidget* video2 = child("video2View");
        const QRect main = video1->geometry();
        const QRect sub = video2->geometry();
        m_window->setSwapAnimationMs(200);
        m_window->animateSwap();
        QCOMPARE(video1->geometry(), QRect(main.bottomRight() + QPoint(1, 1), QSize(0, 0)));
        QCOMPARE(video2->geometry(), QRect(0, 0, 0, 0));
        QResizeEvent resize(m_window->size(), m_window->size());
        QApplication::sendEvent(m_window.get(), &resize);
        QCOMPARE(video2->geometry(), QRect(0, 0, 0, 0));
        QTRY_COMPARE(video1->geometry(), main);
        QTRY_COMPARE(video2->geometry(), sub);

        for (const int extra : {0, 200}) {
            const QSize size = TMKWindowLayout::kMinWindowSize + QSize(extra, 0);
            m_window->resize(size);
            QTRY_COMPARE(m_window->size(), size);
            const TMKWindowLayout l = TMKWindowLayout::compute(size, false);
            const std::pair<const char*, QRect> cases[] = {
                {"playButton", l.controls.play}, {"speedTextButton", l.controls.speed},
                {"audioToggleButton", l.controls.audioToggle}, {"fullScreenButton", l.controls.fullScreen},
                {"videoPositionSlider", l.controls.positionSlider}, {"timeLabel", l.controls.timeLabel},
                {"playButtonForFullScreen", l.fullScreenControls.play}, {"settingsButton", l.head.settingsButton},
                {"progressIndicator", l.head.progress}, {"xLabel", l.gsensor.x},
                {"informationButton", l.sideButtons.map}, {"mediaListTableView", QRect({0, 0}, l.mediaListBox.size())},
            };
            for (const auto& [name, rect] : cases)
                QVERIFY2(child(name)->geometry() == rect, name);
        }
    }

    // The one table of keys: for every action of the window, each of its
    // keys pressed on the window fires that action alone and tells its
    // intent (or shows the overlay, backs out, closes), a click on its
    // button tells the same, and the overlay of ? lists the action with all
    // its keys.
    void everyKeyReachesItsIntentAndIsListed()
    {
        using W = TMKMainWindow;
        using K = QKeySequence;
        struct Row {
            const char* action;
            QList<K> keys;
            void (W::*intent)(); // none: the row checks the window itself
            const char* button = nullptr; // a click on it tells the same intent
        };
        const Row rows[] = {
            {"playAction", {K(Qt::Key_Space)}, &W::playClicked, "playButton"},
            {"jumpForwardAction", {K(Qt::Key_Right)}, &W::jumpForwardRequested, "jumpForwardButton"},
            {"jumpBackwardAction", {K(Qt::Key_Left)}, &W::jumpBackwardRequested, "jumpBackwardButton"},
            {"frameForwardAction", {K(Qt::Key_Period)}, &W::frameForwardRequested},
            {"frameBackwardAction", {K(Qt::Key_Comma)}, &W::frameBackwardRequested},
            {"nextMarkerAction", {K(Qt::Key_N)}, &W::nextMarkerRequested},
            {"previousMarkerAction", {K(Qt::Key_P)}, &W::previousMarkerRequested},
            {"increaseSpeedAction", {K(Qt::Key_BracketRight), K(Qt::CTRL | Qt::Key_Period)}, &W::increaseSpeedRequested},
            {"decreaseSpeedAction", {K(Qt::Key_BracketLeft)}, &W::decreaseSpeedRequested},
            {"resetSpeedAction", {K(Qt::Key_Backspace)}, &W::resetSpeedRequested},
            {"sizeUpAction", {K(Qt::CTRL | Qt::Key_Equal), K(Qt::CTRL | Qt::Key_Plus)}, &W::sizeUpRequested, "sizeTextButton"},
            {"sizeDownAction", {K(Qt::CTRL | Qt::Key_Minus)}, &W::sizeDownRequested},
            {"fullScreenAction", {K(Qt::Key_F), K(Qt::Key_F11)}, &W::fullScreenRequested, "fullScreenButton"},
            {"swapAction", {K(Qt::Key_S)}, &W::swapRequested, "swapButton"},
            {"volumeUpAction", {K(Qt::Key_Up)}, &W::volumeUpRequested},
            {"volumeDownAction", {K(Qt::Key_Down)}, &W::volumeDownRequested},
            {"muteAction", {K(Qt::Key_M)}, &W::muteRequested},
            {"captureAction", {K(Qt::CTRL | Qt::Key_S)}, &W::captureRequested, "captureButton"},
            {"printAction", {K(Qt::CTRL | Qt::Key_P)}, &W::printRequested, "printButton"},
            {"exportTrackAction", {K(Qt::CTRL | Qt::Key_E)}, &W::exportTrackRequested},
            {"clipStartAction", {K(Qt::Key_I)}, nullptr},
            {"clipEndAction", {K(Qt::Key_O)}, nullptr},
            {"clearClipMarksAction", {K(Qt::CTRL | Qt::SHIFT | Qt::Key_X)}, &W::clipMarksClearRequested},
            {"exportClipAction", {K(Qt::CTRL | Qt::SHIFT | Qt::Key_E)}, &W::exportClipRequested},
            {"openFolderAction", {K(Qt::CTRL | Qt::Key_O)}, &W::openFolderRequested, "openFolderButton"},
            {"listViewAction", {K(Qt::CTRL | Qt::Key_1)}, &W::listViewRequested, "recordButton"},
            {"mapViewAction", {K(Qt::CTRL | Qt::Key_2)}, &W::mapViewRequested, "informationButton"},
            {"settingsAction", {K(Qt::CTRL | Qt::Key_Comma)}, &W::settingsRequested, "settingsButton"},
            {"timeSetupAction", {K(Qt::CTRL | Qt::Key_T)}, &W::timeSetupRequested, "timeSetupButton"},
            {"shortcutHelpAction", {K(Qt::Key_Question), K(Qt::Key_F1)}, nullptr},
            {"leaveFullScreenAction", {K(Qt::Key_Escape)}, nullptr},
            {"quitAction", {K(Qt::CTRL | Qt::Key_Q)}, nullptr},
        };
        const QList<QAction*> actions = m_window->actions();
        QCOMPARE(actions.size(), qsizetype(std::size(rows)));
        QMap<QString, std::shared_ptr<QSignalSpy>> fired;
        for (QAction* action : actions)
            fired.insert(action->objectName(), std::make_shared<QSignalSpy>(action, &QAction::triggered));
        QSignalSpy fullScreen(m_window.get(), &W::fullScreenRequested);
        QSignalSpy clipMark(m_window.get(), &W::clipMarkRequested);
        for (const Row& row : rows) {
            QAction* action = m_window->findChild<QAction*>(QLatin1String(row.action));
            QVERIFY2(action, row.action);
            if (row.button) {
                QSignalSpy intent(m_window.get(), row.intent);
                auto* button = child<QAbstractButton>(row.button);
                QTest::mouseClick(button, Qt::LeftButton, {}, button->rect().center());
                QVERIFY2(intent.count() == 1, row.button);
            }
            for (const K& key : row.keys) {
                QVERIFY2(action->shortcuts().contains(key), qPrintable(key.toString()));
                std::unique_ptr<QSignalSpy> intent(row.intent ? new QSignalSpy(m_window.get(), row.intent) : nullptr);
                const bool overlayBefore = m_window->isShortcutOverlayShown();
                fullScreen.clear();
                QTest::keySequence(m_window.get(), key);
                for (auto it = fired.cbegin(); it != fired.cend(); ++it)
                    QVERIFY2(it.value()->count() == (it.key() == QLatin1String(row.action) ? 1 : 0),
                             qPrintable(it.key() + QStringLiteral(" on ") + key.toString()));
                fired.value(QLatin1String(row.action))->clear();
                if (intent)
                    QVERIFY2(intent->count() == 1, qPrintable(key.toString()));
                else if (key == K(Qt::Key_I) || key == K(Qt::Key_O)) { // the start or the end
                    QCOMPARE(clipMark.count(), 1);
                    QCOMPARE(clipMark.takeFirst().first().toBool(), key == K(Qt::Key_O));
                } else if (key == K(Qt::Key_Question)) { // shown over the whole window, listing every row
                    QVERIFY(m_window->isShortcutOverlayShown());
                    QVERIFY(m_window->shortcutOverlay()->geometry().contains(m_window->centralWidget()->rect()));
                    const QList<TMKShortcutOverlay::Row> shown = m_window->shortcutOverlay()->shownRows();
                    QCOMPARE(shown.size(), actions.size());
                    for (const QAction* listed : actions) {
                        QStringList keys;
                        for (const K& k : listed->shortcuts())
                            keys << k.toString(K::NativeText);
                        QVERIFY2(!listed->text().isEmpty() && !listed->text().startsWith(QLatin1String("shortcut.")),
                                 qPrintable(listed->objectName()));
                        QVERIFY2(shown.contains({keys.join(QStringLiteral(", ")), listed->text()}),
                                 qPrintable(listed->objectName()));
                    }
                    QTest::mouseClick(m_window->shortcutOverlay(), Qt::LeftButton); // a click on it closes it too
                    QVERIFY(!m_window->isShortcutOverlayShown());
                    QTest::keyClick(m_window.get(), Qt::Key_Question);
                    fired.value(QLatin1String(row.action))->clear();
                } else if (key == K(Qt::Key_F1)) { // the same action: F1 closes what ? opened
                    QVERIFY(overlayBefore && !m_window->isShortcutOverlayShown());
                    QTest::keyClick(m_window.get(), Qt::Key_F1); // open again: Escape closes it before anything else
                    fired.value(QLatin1String("shortcutHelpAction"))->clear();
                } else if (key == K(Qt::Key_Escape)) {
                    QVERIFY(overlayBefore && !m_window->isShortcutOverlayShown());
                    QCOMPARE(fullScreen.count(), 0);
                    QTest::keyClick(m_window.get(), Qt::Key_Escape); // windowed: nothing to leave
                    QCOMPARE(fullScreen.count(), 0);
                    fired.value(QLatin1String("leaveFullScreenAction"))->clear();
                } else {
                    QVERIFY(!m_window->isVisible()); // quit
                }
            }
        }
    }

    // The buttons no key has: the speed, and the sound toggle, which says
    // which recording the user now hears. The positions and the volume the
    // session sets are not a user's move; a drag is told once, when the
    // user lets go, with where it was let go.
    void keylessButtonsAndSlidersTellOnlyTheUser()
    {
        QSignalSpy speed(m_window.get(), &TMKMainWindow::speedClicked);
        QTest::mouseClick(child<QAbstractButton>("speedTextButton"), Qt::LeftButton);
        QCOMPARE(speed.count(), 1);
        QSignalSpy audio(m_window.get(), &TMKMainWindow::audioToggled);
        m_window->setAudioToggle(true, false);
        QTest::mouseClick(child<QAbstractButton>("audioToggleButton"), Qt::LeftButton);
        QCOMPARE(audio.count(), 1);
        QCOMPARE(audio.at(0).at(0).toBool(), true);
        QVERIFY(m_window->audioToggleRear());

        QSignalSpy moved(m_window.get(), &TMKMainWindow::positionSliderMoved);
        m_window->setPositionSlider(0.25);
        QCOMPARE(moved.count(), 0);
        m_window->setPositionSlider(1.5); // past the end: held at the end
        QCOMPARE(m_window->positionSliderValue(), 1.0);
        m_window->setPositionSlider(0.25);

        auto* slider = child<QSlider>("videoPositionSlider");
        const QPoint from = handleCentre(slider);
        const QPoint to(slider->width() * 3 / 4, from.y());
        QTest::mousePress(slider, Qt::LeftButton, {}, from);
        QMouseEvent move(QEvent::MouseMove, QPointF(to), slider->mapToGlobal(QPointF(to)), Qt::NoButton,
                         Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(slider, &move);
        QCOMPARE(moved.count(), 0); // still held
        // The play position arriving meanwhile does not pull the handle back.
        m_window->setPositionSlider(0.3);
        QVERIFY(m_window->positionSliderValue() > 0.5);
        QTest::mouseRelease(slider, Qt::LeftButton, {}, to);
        QCOMPARE(moved.count(), 1);
        const double position = moved.at(0).at(0).toDouble();
        QVERIFY2(position > 0.6 && position < 0.9, qPrintable(QString::number(position)));
        QCOMPARE(position, m_window->positionSliderValue());

        // A click away from the handle puts it there, told once.
        moved.clear();
        const QPoint click(slider->width() / 4, from.y());
        QTest::mouseClick(slider, Qt::LeftButton, {}, click);
        QCOMPARE(moved.count(), 1);
        QCOMPARE(m_window->positionSliderValue(), moved.at(0).at(0).toDouble());
        QVERIFY2(std::abs(handleCentre(slider).x() - click.x()) <= 1, qPrintable(QString::number(handleCentre(slider).x())));

        QSignalSpy volume(m_window.get(), &TMKMainWindow::volumeMoved);
        m_window->setVolume(70);
        QCOMPARE(volume.count(), 0);
        QCOMPARE(m_window->volumeSliderValue(), 70);
        auto* volumeSlider = child<QSlider>("volumeSlider");
        QTest::mouseClick(volumeSlider, Qt::LeftButton, {}, QPoint(volumeSlider->width() - 2, volumeSlider->height() / 2));
        QVERIFY(volume.count() >= 1);
        QCOMPARE(volume.last().at(0).toInt(), m_window->volumeSliderValue());
        QVERIFY(m_window->volumeSliderValue() > 70);
    }

    void doubleClickOnARowActivatesItOnce()
    {
        QStandardItemModel model(3, 4);
        m_window->setListModel(&model);
        QTableView* table = m_window->tableView();
        QSignalSpy activated(m_window.get(), &TMKMainWindow::rowActivated);
        const QPoint row1 = table->visualRect(model.index(1, 1)).center();
        QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, row1);
        QTest::mouseDClick(table->viewport(), Qt::LeftButton, {}, row1);
        QCOMPARE(activated.count(), 1);
        QCOMPARE(activated.at(0).at(0).toInt(), 1);

        QCOMPARE(m_window->currentRow(), 1);
        m_window->selectRow(2);
        QCOMPARE(table->selectionModel()->selectedRows().value(0).row(), 2);
    }

    void settersShapeWhatTheyShow()
    {
        // A long message is cut in the middle to its room, whole as tooltip.
        const QString written = QStringLiteral("Track written: /home/user/Documents/trips/2026/november/trip.gpx");
        m_window->setMessage(written);
        auto* message = child<QLabel>("messageLabel");
        QCOMPARE(message->toolTip(), written);
        QVERIFY(message->text().endsWith(QStringLiteral("trip.gpx")));
        QVERIFY(message->fontMetrics().horizontalAdvance(message->text()) <= message->width());
        // Until a folder is shown the empty list says how to fill it.
        auto* hint = child<QLabel>("openFolderHint");
        QVERIFY(hint->text().contains(QStringLiteral("Ctrl+O")));
        QVERIFY(hint->isVisible() && hint->geometry().contains(m_window->tableView()->viewport()->rect().center()));
        m_window->setFolder(QStringLiteral("/home/user/build/src/viewer/../../demo"));
        QVERIFY(!hint->isVisible());
        QCOMPARE(child<QLabel>("folderLabel")->text(), QStringLiteral("/home/user/build/demo"));

        auto* play = child<QAbstractButton>("playButton");
        const QString playTip = play->toolTip();
        m_window->setPlaying(true);
        QVERIFY(play->toolTip() != playTip);
        QCOMPARE(child<QAbstractButton>("playButtonForFullScreen")->toolTip(), play->toolTip());

        // Both recordings of a pair may be damaged: each is told once, one
        // a line; a new request starts afresh.
        auto* banner = child<QLabel>("playbackMessageLabel");
        QVERIFY(!banner->isVisible());
        m_window->addPlaybackMessage(QStringLiteral("front damaged"));
        m_window->addPlaybackMessage(QStringLiteral("rear damaged"));
        m_window->addPlaybackMessage(QStringLiteral("front damaged"));
        QVERIFY(banner->isVisible());
        QCOMPARE(banner->text(), QStringLiteral("front damaged\nrear damaged"));
        QCOMPARE(banner->geometry().topLeft(), QPoint(TMKWindowLayout::kBannerInset, TMKWindowLayout::kBannerInset));
        m_window->clearPlaybackMessages();
        QVERIFY(!banner->isVisible());
        m_window->addPlaybackMessage(QStringLiteral("next pair"));
        QCOMPARE(banner->text(), QStringLiteral("next pair"));
    }
};

QTEST_MAIN(TMKMainWindowPartTest)
#include "TMKMainWindowPartTest.moc"
