#include "viewer/window/TMKViewerActions.h"

#include "strings/TMKStrings.h"
#include "viewer/window/TMKMainWindow.h"

#include <QAction>
#include <QKeySequence>

namespace {

using Keys = QList<QKeySequence>;
using K = QKeySequence;

struct Entry {
    const char* name;
    const char* descriptionKey;
    Keys keys;
    void (*trigger)(TMKMainWindow&);
};

// Every key has one meaning: a key held by two actions is ambiguous and
// fires neither, so each action is named and the table tested whole.
const QList<Entry>& table()
{
    using W = TMKMainWindow;
    static const QList<Entry> entries = {
        {"playAction", "shortcut.play", {K(Qt::Key_Space)}, [](W& w) { emit w.playClicked(); }},
        {"jumpForwardAction", "shortcut.jump_forward", {K(Qt::Key_Right)}, [](W& w) { emit w.jumpForwardRequested(); }},
        {"jumpBackwardAction", "shortcut.jump_backward", {K(Qt::Key_Left)},
         [](W& w) { emit w.jumpBackwardRequested(); }},
        {"frameForwardAction", "shortcut.frame_forward", {K(Qt::Key_Period)},
         [](W& w) { emit w.frameForwardRequested(); }},
        {"frameBackwardAction", "shortcut.frame_backward", {K(Qt::Key_Comma)},
         [](W& w) { emit w.frameBackwardRequested(); }},
        {"nextMarkerAction", "shortcut.next_marker", {K(Qt::Key_N)}, [](W& w) { emit w.nextMarkerRequested(); }},
        {"previousMarkerAction", "shortcut.previous_marker", {K(Qt::Key_P)},
         [](W& w) { emit w.previousMarkerRequested(); }},
        {"increaseSpeedAction", "shortcut.speed_up", {K(Qt::Key_BracketRight), K(Qt::CTRL | Qt::Key_Period)},
         [](W& w) { emit w.increaseSpeedRequested(); }},
        {"decreaseSpeedAction", "shortcut.speed_down", {K(Qt::Key_BracketLeft)},
         [](W& w) { emit w.decreaseSpeedRequested(); }},
        {"resetSpeedAction", "shortcut.speed_reset", {K(Qt::Key_Backspace)}, [](W& w) { emit w.resetSpeedRequested(); }},
        {"sizeUpAction", "shortcut.size_up", {K(Qt::CTRL | Qt::Key_Equal), K(Qt::CTRL | Qt::Key_Plus)},
         [](W& w) { emit w.sizeUpRequested(); }},
        {"sizeDownAction", "shortcut.size_down", {K(Qt::CTRL | Qt::Key_Minus)}, [](W& w) { emit w.sizeDownRequested(); }},
        {"fullScreenAction", "shortcut.full_screen", {K(Qt::Key_F), K(Qt::Key_F11), K(QKeySequence::FullScreen)},
         [](W& w) { emit w.fullScreenRequested(); }},
        {"swapAction", "shortcut.swap", {K(Qt::Key_S)}, [](W& w) { emit w.swapRequested(); }},
        {"volumeUpAction", "shortcut.volume_up", {K(Qt::Key_Up)}, [](W& w) { emit w.volumeUpRequested(); }},
        {"volumeDownAction", "shortcut.volume_down", {K(Qt::Key_Down)}, [](W& w) { emit w.volumeDownRequested(); }},
        {"muteAction", "shortcut.mute", {K(Qt::Key_M)}, [](W& w) { emit w.muteRequested(); }},
        {"captureAction", "shortcut.capture", {K(Qt::CTRL | Qt::Key_S)}, [](W& w) { emit w.captureRequested(); }},
        {"printAction", "shortcut.print", {K(QKeySequence::Print)}, [](W& w) { emit w.printRequested(); }},
        {"exportTrackAction", "main.export_track", {K(Qt::CTRL | Qt::Key_E)}, [](W& w) { emit w.exportTrackRequested(); }},
        {"clipStartAction", "shortcut.clip_start", {K(Qt::Key_I)}, [](W& w) { emit w.clipMarkRequested(false); }},
        {"clipEndAction", "shortcut.clip_end", {K(Qt::Key_O)}, [](W& w) { emit w.clipMarkRequested(true); }},
        {"clearClipMarksAction", "shortcut.clip_clear", {K(Qt::CTRL | Qt::SHIFT | Qt::Key_X)},
         [](W& w) { emit w.clipMarksClearRequested(); }},
        {"exportClipAction", "main.export_clip", {K(Qt::CTRL | Qt::SHIFT | Qt::Key_E)},
         [](W& w) { emit w.exportClipRequested(); }},
        {"openFolderAction", "shortcut.open_folder", {K(QKeySequence::Open)}, [](W& w) { emit w.openFolderRequested(); }},
        {"listViewAction", "shortcut.list", {K(Qt::CTRL | Qt::Key_1)}, [](W& w) { emit w.listViewRequested(); }},
        {"mapViewAction", "shortcut.map", {K(Qt::CTRL | Qt::Key_2)}, [](W& w) { emit w.mapViewRequested(); }},
        {"settingsAction", "shortcut.settings", {K(Qt::CTRL | Qt::Key_Comma)}, [](W& w) { emit w.settingsRequested(); }},
        {"timeSetupAction", "shortcut.time_setup", {K(Qt::CTRL | Qt::Key_T)}, [](W& w) { emit w.timeSetupRequested(); }},
        {"shortcutHelpAction", "shortcut.help", {K(Qt::Key_Question), K(Qt::Key_F1)},
         [](W& w) { w.setShortcutOverlayShown(!w.isShortcutOverlayShown()); }},
        // One meaning, backing out: the overlay first, then full screen.
        {"leaveFullScreenAction", "shortcut.escape", {K(Qt::Key_Escape)},
         [](W& w) {
             if (w.isShortcutOverlayShown())
                 w.setShortcutOverlayShown(false);
             else if (w.isFullScreen())
                 emit w.fullScreenRequested();
         }},
        // The desktop's own quit key is empty where no desktop theme names one.
        {"quitAction", "shortcut.quit", {K(Qt::CTRL | Qt::Key_Q), K(QKeySequence::Quit)}, [](W& w) { w.close(); }},
    };
    return entries;
}

} // namespace

TMKViewerActions::TMKViewerActions(TMKMainWindow* window) : QObject(window)
{
    for (const Entry& entry : table()) {
        // The desktop's standard keys may be empty or repeat one of ours.
        Keys unique;
        for (const QKeySequence& key : entry.keys) {
            if (!key.isEmpty() && !unique.contains(key))
                unique << key;
        }
        auto* action = new QAction(TMKLocalizedString(entry.descriptionKey), this);
        action->setObjectName(QLatin1String(entry.name));
        action->setShortcuts(unique);
        action->setShortcutContext(Qt::WindowShortcut);
        connect(action, &QAction::triggered, window, [window, trigger = entry.trigger] { trigger(*window); });
        window->addAction(action);
        m_actions << action;
    }
}

QAction* TMKViewerActions::action(const char* name) const
{
    for (QAction* action : m_actions) {
        if (action->objectName() == QLatin1String(name))
            return action;
    }
    return nullptr;
}

QList<TMKShortcutOverlay::Row> TMKViewerActions::rows() const
{
    QList<TMKShortcutOverlay::Row> rows;
    for (const QAction* action : m_actions) {
        QStringList keys;
        for (const QKeySequence& key : action->shortcuts())
            keys << key.toString(QKeySequence::NativeText);
        if (!keys.isEmpty())
            rows.push_back({keys.join(QStringLiteral(", ")), action->text()});
    }
    return rows;
}
