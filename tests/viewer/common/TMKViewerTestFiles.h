#pragma once

// Small helpers the viewer's window and session tests share.

#include "media/TMKMediaList.h"
#include "viewer/player/TMKMediaPlayer.h"

#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QTest>

#include <memory>

// An empty file: enough for the catalogue, which goes by the name.
inline void touch(const QString& path)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
}

// The file name of what a player has loaded, empty when nothing.
inline QString fileOf(const TMKMediaPlayer* player)
{
    const auto media = player ? player->media() : std::nullopt;
    return media ? QFileInfo(media->path()).fileName() : QString();
}

// The catalogue of `folder`, its scan finished.
inline std::unique_ptr<TMKMediaList> scannedList(const QString& folder)
{
    auto list = TMKMediaList::mediaList();
    list->setDirectoryPath(folder.toStdString());
    list->waitUntilIdle();
    return list;
}
