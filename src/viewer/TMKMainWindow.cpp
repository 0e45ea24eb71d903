#include "TMKMainWindow.h"

#include "TMKAppDelegate.h"

#include <QCloseEvent>
#include <QEvent>
#include <QResizeEvent>

TMKMainWindow::TMKMainWindow(TMKAppDelegate* delegate) : m_delegate(delegate)
{
    setObjectName(QStringLiteral("mainWindow"));
}

void TMKMainWindow::closeEvent(QCloseEvent* event)
{
    m_delegate->windowWillClose();
    QMainWindow::closeEvent(event);
}

void TMKMainWindow::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    m_delegate->layoutWindow();
    m_delegate->contentResized();
}

void TMKMainWindow::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange)
        m_delegate->layoutWindow();
}
