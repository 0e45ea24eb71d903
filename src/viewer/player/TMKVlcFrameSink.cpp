#include "viewer/player/TMKVlcFrameSink.h"

#include "viewer/player/TMKVideoView.h"

#include <vlc/vlc.h>

#include <QDebug>

#include <algorithm>
#include <cstring>

TMKVlcFrameSink::TMKVlcFrameSink(TMKVideoView* view) : m_view(view)
{
    if (view)
        m_frames = view->frames();
}

void TMKVlcFrameSink::attach(libvlc_media_player_t* player)
{
    if (!m_view)
        return;
    m_view->setFillScreen(true);
    libvlc_video_set_callbacks(player, &lockCallback, nullptr, &displayCallback, this);
    libvlc_video_set_format_callbacks(player, &formatCallback, nullptr);
}

libvlc_media_t* TMKVlcFrameSink::exchangeMedia(libvlc_media_t* media)
{
    return m_media.exchange(media);
}

TMKVideoView* TMKVlcFrameSink::view() const
{
    return m_view;
}

QSize TMKVlcFrameSink::frameSize() const
{
    return m_frames ? m_frames->videoSize() : QSize();
}

QSize TMKVlcFrameSink::trackVideoSize() const
{
    libvlc_media_t* media = m_media.load();
    if (!media)
        return {};
    libvlc_media_track_t** tracks = nullptr;
    const unsigned count = libvlc_media_tracks_get(media, &tracks);
    QSize size;
    for (unsigned i = 0; i < count && size.isEmpty(); ++i) {
        if (tracks[i]->i_type == libvlc_track_video && tracks[i]->video)
            size = QSize(static_cast<int>(tracks[i]->video->i_width), static_cast<int>(tracks[i]->video->i_height));
    }
    libvlc_media_tracks_release(tracks, count);
    return size;
}

unsigned TMKVlcFrameSink::formatCallback(void** opaque, char* chroma, unsigned* width, unsigned* height,
                                         unsigned* pitches, unsigned* lines)
{
    auto* self = static_cast<TMKVlcFrameSink*>(*opaque);
    if (qEnvironmentVariableIsSet("TAMEK_PLAYER_TRACE"))
        qDebug("format %.4s %ux%u", chroma, *width, *height);
    // The decoder offers its padded size (180 lines become 192); frames
    // of that size would have the picture scaled into the padding. Ask
    // for the visible size instead, so a frame is the picture itself.
    const QSize visible = self->trackVideoSize();
    if (!visible.isEmpty() && static_cast<unsigned>(visible.width()) <= *width
        && static_cast<unsigned>(visible.height()) <= *height) {
        *width = static_cast<unsigned>(visible.width());
        *height = static_cast<unsigned>(visible.height());
    }
    std::memcpy(chroma, "RV32", 4);
    *width = std::max(1u, *width);
    *height = std::max(1u, *height);
    self->m_frames->setFormat(static_cast<int>(*width), static_cast<int>(*height), visible);
    *pitches = *width * 4;
    *lines = *height;
    return 1;
}

void* TMKVlcFrameSink::lockCallback(void* opaque, void** planes)
{
    auto* self = static_cast<TMKVlcFrameSink*>(opaque);
    *planes = self->m_frames->lockBuffer();
    return nullptr;
}

void TMKVlcFrameSink::displayCallback(void* opaque, void*)
{
    auto* self = static_cast<TMKVlcFrameSink*>(opaque);
    ++self->m_framesSinceMedia;
    if (!self->m_frames->publish(self->m_skipRepeatedFrames.load()))
        return;
    ++self->m_newPictures;
    QMetaObject::invokeMethod(
        self,
        [self] {
            if (self->m_view)
                self->m_view->frameReady();
            if (self->m_onNewPicture)
                self->m_onNewPicture();
        },
        Qt::QueuedConnection);
}
