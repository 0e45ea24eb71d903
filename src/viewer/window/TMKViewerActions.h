#pragma once

#include "viewer/window/TMKShortcutOverlay.h"

#include <QList>
#include <QObject>

class QAction;
class TMKMainWindow;

// The window's one table of actions and their keys: every shortcut is made
// from it and the overlay of ? and F1 lists the actions it made, so what is
// shown cannot drift from what the keys do.
class TMKViewerActions : public QObject {
    Q_OBJECT

public:
    // Puts every action of the table into `window`; each tells one of its
    // intents (or shows the overlay, backs out, quits).
    explicit TMKViewerActions(TMKMainWindow* window);

    [[nodiscard]] QAction* action(const char* name) const;
    // Each action: its keys as the desktop writes them, and what it does.
    [[nodiscard]] QList<TMKShortcutOverlay::Row> rows() const;

private:
    QList<QAction*> m_actions;
};
