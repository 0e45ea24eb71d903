#pragma once

// The one launcher of the whole viewer for tests: scripted players, the
// quick timing, settings in the test's own file, and the scripts the map
// page was sent.

#include "TMKQuickTiming.h"
#include "TMKScriptedPlayer.h"
#include "viewer/TMKAppDelegate.h"

#include <QSignalSpy>
#include <QStringList>
#include <QTest>

#include <memory>

struct TMKTestViewer {
    QStringList scripts; // sent to the map page, oldest first (outlives the app)
    std::unique_ptr<TMKAppDelegate> app;
    TMKScriptedPlayer* p1 = nullptr;
    TMKScriptedPlayer* p2 = nullptr;
};

// Starts the viewer on `folder` (empty: none) and waits for its list when
// one is read. `options` brings any other service a test replaces.
inline void launch(TMKTestViewer& viewer, const QString& settings, const QString& folder,
                   TMKAppDelegate::Options options = {}, bool restore = false)
{
    options.restoreState = restore;
    if (options.settingsPath.isEmpty())
        options.settingsPath = settings;
    options.timing = TMKQuickTiming();
    options.playerFactory = [&viewer](TMKVideoView*, QObject* parent) {
        auto player = std::make_unique<TMKScriptedPlayer>(parent);
        (viewer.p1 ? viewer.p2 : viewer.p1) = player.get();
        return player;
    };
    viewer.p1 = viewer.p2 = nullptr;
    viewer.scripts.clear();
    viewer.app = std::make_unique<TMKAppDelegate>(options);
    QObject::connect(viewer.app.get(), &TMKAppDelegate::mapScriptSent, viewer.app.get(),
                     [&viewer](const QString& script) { viewer.scripts << script; });
    QSignalSpy listed(viewer.app.get(), &TMKAppDelegate::mediaListReloaded);
    viewer.app->applicationDidFinishLaunching(folder);
    if (!folder.isEmpty() || restore)
        QVERIFY(listed.wait(5000));
    viewer.app->window()->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(viewer.app->window()));
}
