#include "kit/TMKScreenFit.h"

#include <QMargins>
#include <QScreen>
#include <QWidget>

#include <algorithm>

void TKFitToScreen(QWidget* window, QSize wanted)
{
    const QScreen* screen = window->screen();
    if (!screen) {
        window->resize(wanted);
        return;
    }
    const QRect available = screen->availableGeometry();
    const QRect inside = window->geometry();
    const QRect outside = window->frameGeometry();
    QMargins frame(inside.left() - outside.left(), inside.top() - outside.top(), outside.right() - inside.right(),
                   outside.bottom() - inside.bottom());
    // Until the window system has framed the window, move() places its
    // inside (there is no frame yet to place): leave room for the title bar.
    const bool framed = frame.top() > 0;
    if (!framed)
        frame = QMargins(4, 30, 4, 4); // an ordinary title bar
    const QSize size = wanted.boundedTo(available.size().shrunkBy(frame)).expandedTo(window->minimumSize());
    window->resize(size);
    const QSize outer = size.grownBy(frame);
    const QPoint origin(std::max(available.left(), available.left() + (available.width() - outer.width()) / 2),
                        std::max(available.top(), available.top() + (available.height() - outer.height()) / 2));
    window->move(framed ? origin : origin + QPoint(frame.left(), frame.top()));
}
