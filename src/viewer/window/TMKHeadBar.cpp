#include "viewer/window/TMKHeadBar.h"

#include "kit/TMKLoadingOverlay.h"
#include "strings/TMKStrings.h"

#include <QDir>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

namespace {

QAbstractButton* makeButton(QWidget* parent, const char* textKey, const char* name, const char* tipKey)
{
    auto* button = new QPushButton(TMKLocalizedString(textKey), parent);
    button->setObjectName(QLatin1String(name));
    if (tipKey)
        button->setToolTip(TMKLocalizedString(tipKey));
    return button;
}

QLabel* makeLabel(QWidget* parent, const char* name)
{
    auto* label = new QLabel(parent);
    label->setObjectName(QLatin1String(name));
    return label;
}

} // namespace

TMKHeadBar::TMKHeadBar(QWidget* box, QObject* parent) : QObject(parent)
{
    m_openButton = makeButton(box, "main.open_folder", "openFolderButton", nullptr);
    connect(m_openButton, &QAbstractButton::clicked, this, &TMKHeadBar::openFolderRequested);
    m_settingsButton = makeButton(box, "main.settings_button", "settingsButton", "main.settings");
    connect(m_settingsButton, &QAbstractButton::clicked, this, &TMKHeadBar::settingsRequested);
    m_timeSetupButton = makeButton(box, "main.time_setup_button", "timeSetupButton", "main.time_setup");
    connect(m_timeSetupButton, &QAbstractButton::clicked, this, &TMKHeadBar::timeSetupRequested);
    m_folderLabel = makeLabel(box, "folderLabel");
    m_messageLabel = makeLabel(box, "messageLabel");
    // The app's one loading display, here only its bar: the head bar has no
    // room for a title.
    m_loading = new TMKLoadingOverlay(TMKLoadingOverlay::Form::Inline, box);
    m_loading->setObjectName(QStringLiteral("progressIndicator"));
    m_loading->titleField()->hide();
    m_loading->bar()->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
}

void TMKHeadBar::layOut(const TMKWindowLayout& layout)
{
    const TMKWindowLayout::Head& h = layout.head;
    m_openButton->setGeometry(h.openButton);
    m_folderLabel->setGeometry(h.folderLabel);
    m_messageLabel->setGeometry(h.messageLabel);
    setMessage(m_messageText);
    m_loading->setGeometry(h.progress);
    m_settingsButton->setGeometry(h.settingsButton);
    m_timeSetupButton->setGeometry(h.timeSetupButton);
}

void TMKHeadBar::setFolder(const QString& path)
{
    // As the user would write it: "a/b/../c" is "a/c".
    const QString clean = QDir::cleanPath(path);
    m_folderLabel->setText(QDir::toNativeSeparators(clean));
    m_folderLabel->setToolTip(clean);
}

// Long paths are cut in the middle so the file name stays.
void TMKHeadBar::setMessage(const QString& text)
{
    m_messageText = text;
    m_messageLabel->setToolTip(text);
    m_messageLabel->setText(m_messageLabel->fontMetrics().elidedText(text, Qt::ElideMiddle, m_messageLabel->width()));
}

// The session's progress drives the bar and ends it; a pair's start has no
// known length, so it shows busy, and the overlay's own end is only a
// backstop far behind the session's.
void TMKHeadBar::showLoading()
{
    constexpr double kBackstopSeconds = 3600;
    m_loading->start(QString(), kBackstopSeconds, true);
    m_loading->raise();
}

// A busy bar shows no value; a bar of known length would.
void TMKHeadBar::setLoadingProgress(double percent)
{
    m_loading->bar()->setValue(static_cast<int>(percent));
}

void TMKHeadBar::hideLoading()
{
    m_loading->stop();
}

bool TMKHeadBar::isLoadingShown() const
{
    return m_loading->isVisible();
}
