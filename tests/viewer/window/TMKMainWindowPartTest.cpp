// The main window alone, with no application object behind it: the user's
// clicks, drags and keys come out as intent signals, the setters show what
// they are given, and every control sits where the layout puts it.

#include "viewer/window/TMKMainWindow.h"
#include "viewer/window/TMKWindowLayout.h"

#include <QAbstractButton>
#include <QApplication>
#include <QContextMenuEvent>
#include <QMenu>
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

    void controlsSitWhereTheLayoutPutsThem()
    {
        const TMKWindowLayout l = TMKWindowLayout::compute(TMKWindowLayout::kMinWindowSize, false);
        QCOMPARE(child("playButton")->geometry(), l.controls.play);
        QCOMPARE(child("jumpBackwardButton")->geometry(), l.controls.jumpBackward);
        QCOMPARE(child("speedTextButton")->geometry(), l.controls.speed);
        QCOMPARE(child("printButton")->geometry(), l.controls.print);
        QCOMPARE(child("audioToggleButton")->geometry(), l.controls.audioToggle);
        QCOMPARE(child("volumeSlider")->geometry(), l.controls.volume);
        QCOMPARE(child("fullScreenButton")->geometry(), l.controls.fullScreen);
        QCOMPARE(child("videoPositionSlider")->geometry(), l.controls.positionSlider);
        QCOMPARE(child("timeLabel")->geometry(), l.controls.timeLabel);
        QCOMPARE(child("settingsButton")->geometry(), l.head.settingsButton);
        QCOMPARE(child("timeSetupButton")->geometry(), l.head.timeSetupButton);
        QCOMPARE(child("xLabel")->geometry(), l.gsensor.x);
        QCOMPARE(child("informationButton")->geometry(), l.sideButtons.map);
        // After a resize the right end follows.
        m_window->resize(TMKWindowLayout::kMinWindowSize + QSize(200, 0));
        QTRY_COMPARE(child("fullScreenButton")->geometry(), l.controls.fullScreen.translated(200, 0));
    }

    void clicksAreIntents()
    {
        struct Case {
            const char* button;
            void (TMKMainWindow::*signal)();
        };
        const Case cases[] = {
            {"playButton", &TMKMainWindow::playClicked},
            {"jumpBackwardButton", &TMKMainWindow::jumpBackwardRequested},
            {"jumpForwardButton", &TMKMainWindow::jumpForwardRequested},
            {"speedTextButton", &TMKMainWindow::speedClicked},
            {"sizeTextButton", &TMKMainWindow::sizeUpRequested},
            {"swapButton", &TMKMainWindow::swapRequested},
            {"captureButton", &TMKMainWindow::captureRequested},
            {"printButton", &TMKMainWindow::printRequested},
            {"fullScreenButton", &TMKMainWindow::fullScreenRequested},
            {"openFolderButton", &TMKMainWindow::openFolderRequested},
            {"settingsButton", &TMKMainWindow::settingsRequested},
            {"timeSetupButton", &TMKMainWindow::timeSetupRequested},
            {"recordButton", &TMKMainWindow::listViewRequested},
            {"informationButton", &TMKMainWindow::mapViewRequested},
        };
        for (const Case& c : cases) {
            QSignalSpy spy(m_window.get(), c.signal);
            auto* button = child<QAbstractButton>(c.button);
            QTest::mouseClick(button, Qt::LeftButton, {}, button->rect().center());
            QVERIFY2(spy.count() == 1, c.button);
        }
        // The sound toggle says which recording the user now hears.
        QSignalSpy audio(m_window.get(), &TMKMainWindow::audioToggled);
        m_window->setAudioToggle(true, false);
        auto* toggle = child<QAbstractButton>("audioToggleButton");
        QTest::mouseClick(toggle, Qt::LeftButton, {}, toggle->rect().center());
        QCOMPARE(audio.count(), 1);
        QCOMPARE(audio.at(0).at(0).toBool(), true);
        QVERIFY(m_window->audioToggleRear());
    }

    void keysAreIntents()
    {
        QSignalSpy play(m_window.get(), &TMKMainWindow::playClicked);
        QSignalSpy fullScreen(m_window.get(), &TMKMainWindow::fullScreenRequested);
        QSignalSpy settings(m_window.get(), &TMKMainWindow::settingsRequested);
        QTest::keyClick(m_window.get(), Qt::Key_Space);
        QTest::keyClick(m_window.get(), Qt::Key_Comma, Qt::ControlModifier);
        // Escape leaves full screen only: windowed, it asks for nothing.
        QTest::keyClick(m_window.get(), Qt::Key_Escape);
        QCOMPARE(play.count(), 1);
        QCOMPARE(settings.count(), 1);
        QCOMPARE(fullScreen.count(), 0);
        QTest::keyClick(m_window.get(), Qt::Key_F);
        QCOMPARE(fullScreen.count(), 1);
    }

    // The position the session sets is not a user's move; a drag is told
    // once, when the user lets go, with where it was let go.
    void positionSliderTellsOnlyTheUsersMove()
    {
        QSignalSpy moved(m_window.get(), &TMKMainWindow::positionSliderMoved);
        m_window->setPositionSlider(0.25);
        QCOMPARE(moved.count(), 0);
        QCOMPARE(m_window->positionSliderValue(), 0.25);
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
    }

    void volumeSliderTellsOnlyTheUsersMove()
    {
        QSignalSpy moved(m_window.get(), &TMKMainWindow::volumeMoved);
        m_window->setVolume(70);
        QCOMPARE(moved.count(), 0);
        QCOMPARE(m_window->volumeSliderValue(), 70);
        auto* slider = child<QSlider>("volumeSlider");
        QTest::mouseClick(slider, Qt::LeftButton, {}, QPoint(slider->width() - 2, slider->height() / 2));
        QVERIFY(moved.count() >= 1);
        QCOMPARE(moved.last().at(0).toInt(), m_window->volumeSliderValue());
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

        // The menu opened on another row exports that row's trip.
        QSignalSpy rowExport(m_window.get(), &TMKMainWindow::exportRowTrackRequested);
        QSignalSpy playingExport(m_window.get(), &TMKMainWindow::exportTrackRequested);
        const QPoint row0 = table->visualRect(model.index(0, 1)).center();
        QContextMenuEvent menuEvent(QContextMenuEvent::Mouse, row0, table->viewport()->mapToGlobal(row0));
        QApplication::sendEvent(table->viewport(), &menuEvent);
        auto* menu = table->findChild<QMenu*>(QStringLiteral("mediaListMenu"));
        QVERIFY(menu);
        QTRY_VERIFY(menu->isVisible());
        QCOMPARE(table->currentIndex().row(), 0);
        QTest::keyClick(menu, Qt::Key_Down);
        QTest::keyClick(menu, Qt::Key_Return);
        QCOMPARE(rowExport.count(), 1);
        QCOMPARE(rowExport.at(0).at(0).toInt(), 0);
        QCOMPARE(playingExport.count(), 0);
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
        m_window->setFolder(QStringLiteral("/home/user/build/src/viewer/../../demo"));
        QCOMPARE(child<QLabel>("folderLabel")->text(), QStringLiteral("/home/user/build/demo"));

        m_window->setSpeed(1.5);
        m_window->setScale(2.0625);
        QCOMPARE(m_window->speedText(), QStringLiteral("1.5x"));
        QCOMPARE(m_window->sizeText(), QStringLiteral("2.06x"));
        auto* play = child<QAbstractButton>("playButton");
        const QString playTip = play->toolTip();
        m_window->setPlaying(true);
        QVERIFY(play->toolTip() != playTip);
        QCOMPARE(child<QAbstractButton>("playButtonForFullScreen")->toolTip(), play->toolTip());
        QVERIFY(child("openFolderHint")->isHidden()); // a folder is open
    }

    // Both recordings of a pair may be damaged: each is told once, one a
    // line; a new request starts afresh.
    void bannerGathersThePairsMessages()
    {
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
