#include "viewer/window/TMKMediaListTableView.h"

#include <QKeyEvent>
#include <QMouseEvent>

void TMKMediaListTableView::mouseDoubleClickEvent(QMouseEvent* event)
{
    QTableView::mouseDoubleClickEvent(event);
    if (event->button() != Qt::LeftButton)
        return;
    const QModelIndex index = indexAt(event->position().toPoint());
    if (index.isValid())
        emit rowChosen(index.row());
}

void TMKMediaListTableView::keyPressEvent(QKeyEvent* event)
{
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && currentIndex().isValid()) {
        event->accept();
        emit rowChosen(currentIndex().row());
        return;
    }
    QTableView::keyPressEvent(event);
}
