#include "kit/TMKAppSettings.h"

#include <QSettings>

std::unique_ptr<QSettings> TMKAppSettings(const QString& path)
{
    return path.isEmpty() ? std::make_unique<QSettings>() : std::make_unique<QSettings>(path, QSettings::IniFormat);
}

std::optional<int64_t> TKQSettingsUserDefaults::integerForKey(std::string_view key) const
{
    const QVariant value = TMKAppSettings(m_path)->value(QString::fromUtf8(key.data(), static_cast<qsizetype>(key.size())));
    bool ok = false;
    const qlonglong number = value.toLongLong(&ok);
    if (!value.isValid() || !ok)
        return std::nullopt;
    return number;
}

void TKQSettingsUserDefaults::setInteger(std::string_view key, int64_t value)
{
    TMKAppSettings(m_path)->setValue(QString::fromUtf8(key.data(), static_cast<qsizetype>(key.size())),
                                     static_cast<qlonglong>(value));
}

void TKQSettingsUserDefaults::synchronize()
{
    TMKAppSettings(m_path)->sync();
}
