#include "settings/ui/TKPlatform.h"

#include "sdcard/TKExternalCommand.h"

#include <QDebug>
#include <QMessageBox>
#include <QSettings>

#include <memory>

QVariantMap TKRunShellScript(const QString& commandLine, bool administrator)
{
    TKProcessRunner runner;
    return TKRunShellScript(commandLine, administrator, runner);
}

QVariantMap TKRunShellScript(const QString& commandLine, bool administrator, TKCommandRunner& runner)
{
    // The line goes to /bin/sh as one argument; the shell is the only program
    // that reads it as a command line.
    const TKCommandResult result = runner.run({"sh", {"-c", commandLine.toStdString()}, administrator});
    QVariantMap error;
    if (!result.started) {
        error.insert(kTKScriptErrorNumber, -1);
        error.insert(kTKScriptErrorMessage, QString::fromStdString(result.failure));
    } else if (result.exitStatus != 0) {
        const QString errors = QString::fromLocal8Bit(result.errors.data(), static_cast<qsizetype>(result.errors.size())).trimmed();
        error.insert(kTKScriptErrorNumber, result.exitStatus);
        error.insert(kTKScriptErrorMessage, errors.isEmpty() ? QString::fromStdString(result.message()) : errors);
    }
    qInfo().noquote() << QStringLiteral("ERROR=%1").arg(
        error.isEmpty() ? QStringLiteral("{}")
                        : QStringLiteral("{%1=%2, %3=%4}")
                              .arg(kTKScriptErrorNumber, error.value(kTKScriptErrorNumber).toString(),
                                   kTKScriptErrorMessage, error.value(kTKScriptErrorMessage).toString()));
    return error;
}

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
