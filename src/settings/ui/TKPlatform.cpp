#include "settings/ui/TKPlatform.h"

#include "strings/TMKStrings.h"

#include <QDebug>
#include <QMargins>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSettings>

#include <algorithm>
#include <memory>

void TKShowAlertSheet(QWidget* window, const QString& messageText, const QString& informativeText,
                      std::function<void()> onEnd, bool success)
{
    auto* alert = new QMessageBox(success ? QMessageBox::Information : QMessageBox::Warning, messageText, messageText, QMessageBox::Ok, window);
    alert->setObjectName(QStringLiteral("alertSheet"));
    alert->setInformativeText(informativeText);
    alert->setAttribute(Qt::WA_DeleteOnClose);
    alert->setWindowModality(window ? Qt::WindowModal : Qt::ApplicationModal);
    QObject::connect(alert, &QMessageBox::finished, alert, [onEnd = std::move(onEnd)](int) {
        if (onEnd)
            onEnd();
    });
    alert->open();
}

void TKShowAlert(QWidget* window, const QString& messageText, const QString& informativeText)
{
    TKShowAlertSheet(window, messageText, informativeText);
}

void TKAskToDiscard(QWidget* window, const QString& informativeText, const char* acceptKey,
                    std::function<void()> onAccept)
{
    auto* ask = new QMessageBox(QMessageBox::Question, QStringLiteral("TAMEK"), TMKLocalizedString("msg.discard_edits"),
                                QMessageBox::NoButton, window);
    ask->setObjectName(QStringLiteral("discardSheet"));
    ask->setInformativeText(informativeText);
    ask->setAttribute(Qt::WA_DeleteOnClose);
    ask->setWindowModality(window ? Qt::WindowModal : Qt::ApplicationModal);
    QPushButton* accept = ask->addButton(TMKLocalizedString(acceptKey), QMessageBox::DestructiveRole);
    accept->setObjectName(QStringLiteral("discardButton"));
    QPushButton* keep = ask->addButton(TMKLocalizedString("cancel"), QMessageBox::RejectRole);
    keep->setObjectName(QStringLiteral("keepButton"));
    ask->setDefaultButton(keep);
    ask->setEscapeButton(keep);
    QObject::connect(ask, &QMessageBox::buttonClicked, ask, [accept, onAccept = std::move(onAccept)](QAbstractButton* clicked) {
        if (clicked == accept && onAccept)
            onAccept();
    });
    ask->open();
}

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

namespace {

std::unique_ptr<QSettings> settingsAt(const QString& path)
{
    return path.isEmpty() ? std::make_unique<QSettings>() : std::make_unique<QSettings>(path, QSettings::IniFormat);
}

} // namespace

std::optional<int64_t> TKQSettingsUserDefaults::integerForKey(std::string_view key) const
{
    const QVariant value = settingsAt(m_path)->value(QString::fromUtf8(key.data(), static_cast<qsizetype>(key.size())));
    bool ok = false;
    const qlonglong number = value.toLongLong(&ok);
    if (!value.isValid() || !ok)
        return std::nullopt;
    return number;
}

void TKQSettingsUserDefaults::setInteger(std::string_view key, int64_t value)
{
    settingsAt(m_path)->setValue(QString::fromUtf8(key.data(), static_cast<qsizetype>(key.size())),
                                 static_cast<qlonglong>(value));
}

void TKQSettingsUserDefaults::synchronize()
{
    settingsAt(m_path)->sync();
}
