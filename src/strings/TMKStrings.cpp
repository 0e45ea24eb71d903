#include "strings/TMKStrings.h"

#include <QDebug>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMutex>
#include <QSet>

const QHash<QString, QString>& TMKStringTable()
{
    static const QHash<QString, QString> table = [] {
        QHash<QString, QString> strings;
        QFile file(QStringLiteral(":/strings/InfoPlist.json"));
        if (!file.open(QIODevice::ReadOnly)) {
            qWarning("string table missing from the application's resources");
            return strings;
        }
        QJsonParseError error{};
        const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &error);
        if (error.error != QJsonParseError::NoError)
            qWarning().noquote() << QStringLiteral("string table: %1").arg(error.errorString());
        const QJsonObject object = document.object();
        for (auto it = object.begin(); it != object.end(); ++it)
            strings.insert(it.key(), it.value().toString());
        return strings;
    }();
    return table;
}

QString TMKLocalizedString(const QString& key)
{
    const auto& table = TMKStringTable();
    const auto found = table.constFind(key);
    if (found != table.constEnd())
        return *found;
    static QMutex lock;
    static QSet<QString> reported;
    QMutexLocker guard(&lock);
    if (!reported.contains(key)) {
        reported.insert(key);
        qWarning().noquote() << QStringLiteral("no text for string key \"%1\"").arg(key);
    }
    return key;
}

QString TMKLocalizedString(const char* key)
{
    return TMKLocalizedString(QString::fromUtf8(key));
}
