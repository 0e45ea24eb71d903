#include "kit/TMKLoadingOverlay.h"

#include <QLabel>
#include <QProgressBar>
#include <QTimer>
#include <QVBoxLayout>

TMKLoadingOverlay::TMKLoadingOverlay(Form form, QWidget* parent)
    : QWidget(parent), m_form(form), m_progress(new TMKLoadingProgress(this)), m_title(new QLabel(this)), m_bar(new QProgressBar(this))
{
    auto* layout = new QVBoxLayout(this);
    m_title->setObjectName(QStringLiteral("progressMessageField"));
    m_bar->setObjectName(QStringLiteral("progressBar"));
    m_bar->setTextVisible(false);
    layout->addWidget(m_title);
    layout->addWidget(m_bar);
    if (form == Form::Sheet) {
        setObjectName(QStringLiteral("progressPanel"));
        setWindowFlags(Qt::Dialog);
        setWindowModality(Qt::WindowModal);
        resize(320, 80);
    } else {
        layout->setContentsMargins(0, 0, 0, 0);
    }
    QWidget::hide();
    connect(m_progress, &TMKLoadingProgress::progressChanged, m_bar, [this](double percent) {
        if (m_bar->maximum() > 0)
            m_bar->setValue(static_cast<int>(percent));
    });
    connect(m_progress, &TMKLoadingProgress::hidden, this, [this] {
        m_bar->setRange(0, 100);
        m_bar->setValue(0);
        // A sheet that had the focus hands it back to its window, not to
        // whichever window the system picks next.
        const bool hadFocus = m_form == Form::Sheet && isActiveWindow();
        QWidget::hide();
        if (hadFocus && parentWidget())
            parentWidget()->window()->activateWindow();
    });
}

void TMKLoadingOverlay::start(const QString& title, double seconds, bool indeterminate)
{
    m_title->setText(title);
    m_bar->setRange(0, indeterminate ? 0 : 100);
    m_bar->setValue(0);
    ++m_starts;
    m_shownFor.start();
    m_progress->start(seconds);
    show();
}

void TMKLoadingOverlay::setTitle(const QString& title)
{
    m_title->setText(title);
}

void TMKLoadingOverlay::stop()
{
    const qint64 left = TMKLoadingProgress::kTickMs - (m_shownFor.isValid() ? m_shownFor.elapsed() : 0);
    if (m_form == Form::Inline || !m_progress->isShown() || left <= 0) {
        m_progress->hide();
        return;
    }
    QTimer::singleShot(left, this, [this, run = m_starts] {
        if (run == m_starts)
            m_progress->hide();
    });
}
