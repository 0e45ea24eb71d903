#pragma once

#include <QMainWindow>

class TMKAppDelegate;

// The main window; its regions and controls are built and laid out by
// TMKAppDelegate, which it tells about closing, resizing and full screen.
class TMKMainWindow : public QMainWindow {
    Q_OBJECT

public:
    explicit TMKMainWindow(TMKAppDelegate* delegate);

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    TMKAppDelegate* m_delegate;
};
