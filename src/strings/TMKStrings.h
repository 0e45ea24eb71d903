#pragma once

#include <QHash>
#include <QString>

// The English text of a string key from the application's string table.
// A missing key is logged once and shown as the key itself.
[[nodiscard]] QString TMKLocalizedString(const char* key);
[[nodiscard]] QString TMKLocalizedString(const QString& key);

// The whole table, for checks.
[[nodiscard]] const QHash<QString, QString>& TMKStringTable();
