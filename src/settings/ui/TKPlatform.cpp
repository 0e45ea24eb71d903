#include "TKPlatform.h"

#include "TKShellCommand.h"

#include <QDebug>
#include <QMessageBox>
#include <QProcess>
#include <QSettings>

#include <memory>

QVariantMap TKRunShellScript(const QString& commandLine, bool administrator)
{
    const std::vector<std::string> argv = TKShellScriptArgv(commandLine.toStdString(), administrator);
    QVariantMap error;
    if (argv.empty()) {
        error.insert(kTKScriptErrorNumber, -1);
        error.insert(kTKScriptErrorMessage, QStringLiteral("empty command"));
    } else {
        QStringList arguments;
        for (std::size_t i = 1; i < argv.size(); ++i)
            arguments << QString::fromStdString(argv[i]);
        QProcess process;
        process.start(QString::fromStdString(argv.front()), arguments);
        if (!process.waitForStarted(-1)) {
            error.insert(kTKScriptErrorNumber, -1);
            error.insert(kTKScriptErrorMessage, process.errorString());
        } else {
            process.closeWriteChannel();
            process.waitForFinished(-1);
            const QString errors = QString::fromLocal8Bit(process.readAllStandardError()).trimmed();
            if (process.exitStatus() != QProcess::NormalExit) {
                error.insert(kTKScriptErrorNumber, -1);
                error.insert(kTKScriptErrorMessage, errors.isEmpty() ? process.errorString() : errors);
            } else if (process.exitCode() != 0) {
                error.insert(kTKScriptErrorNumber, process.exitCode());
                error.insert(kTKScriptErrorMessage, errors);
            }
        }
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
