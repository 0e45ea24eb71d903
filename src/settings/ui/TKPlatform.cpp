#include "settings/ui/TKPlatform.h"

#include <QMessageBox>
#include <QSettings>

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
