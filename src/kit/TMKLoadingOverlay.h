#pragma once

#include "kit/TMKLoadingProgress.h"

#include <QElapsedTimer>
#include <QWidget>

class QLabel;
class QProgressBar;

// The windows' one loading display: a title over a bar that follows a
// TMKLoadingProgress. As a sheet it is a window-modal panel over its window
// (the settings window); inline it sits in its window's layout (the format
// window). It hides itself when the progress ends.
class TMKLoadingOverlay : public QWidget {
    Q_OBJECT

public:
    enum class Form { Sheet, Inline };

    TMKLoadingOverlay(Form form, QWidget* parent);

    // Shows `title` and fills the bar over `seconds`; a busy bar instead
    // when `indeterminate` (the time is then only how long it may take).
    void start(const QString& title, double seconds = 15, bool indeterminate = false);
    void setTitle(const QString& title);
    // A sheet stays one tick at least, so a quick read does not flash it
    // over the window.
    void stop();
    [[nodiscard]] bool isShown() const { return m_progress->isShown(); }

    [[nodiscard]] TMKLoadingProgress* progress() const { return m_progress; }
    [[nodiscard]] QLabel* titleField() const { return m_title; }
    [[nodiscard]] QProgressBar* bar() const { return m_bar; }

private:
    Form m_form;
    TMKLoadingProgress* m_progress;
    QLabel* m_title;
    QProgressBar* m_bar;
    QElapsedTimer m_shownFor;
    quint64 m_starts = 0; // a stop left for later is dropped by a new start
};
