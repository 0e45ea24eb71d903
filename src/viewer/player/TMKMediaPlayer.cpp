#include "viewer/player/TMKMediaPlayer.h"

#include <QFileInfo>

#include <cstdlib>

TMKPlayerMedia TMKPlayerMedia::mediaWithPath(const QString& path)
{
    TMKPlayerMedia media;
    media.m_path = QFileInfo(path).absoluteFilePath();
    media.m_url = QUrl::fromLocalFile(media.m_path);
    return media;
}

TMKMediaDirection TMKPlayerMedia::mediaDirection() const
{
    return TMKPlayerMediaDirection(m_url.toString(QUrl::FullyEncoded).toStdString());
}

QString TMKMediaPlayer::timeString(int64_t ms)
{
    const int64_t total = std::llabs(static_cast<long long>(ms)) / 1000;
    const auto hours = static_cast<int>(total / 3600);
    const auto minutes = static_cast<int>((total / 60) % 60);
    const auto seconds = static_cast<int>(total % 60);
    if (hours > 0)
        return QString::asprintf("%d:%02d:%02d", hours, minutes, seconds);
    return QString::asprintf("%02d:%02d", minutes, seconds);
}
