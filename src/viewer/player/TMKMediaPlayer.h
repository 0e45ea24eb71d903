#pragma once

// The player interface the viewer plays through (libVLC behind it, or a
// scripted player in tests). Used and signalling on the main thread.

#include "media/TMKMedia.h"

#include <QList>
#include <QObject>
#include <QSize>
#include <QString>
#include <QUrl>

#include <cstdint>
#include <memory>
#include <optional>

class TMKVideoView;

// A recording as the player sees it: a local file.
class TMKPlayerMedia {
public:
    static TMKPlayerMedia mediaWithPath(const QString& path);

    [[nodiscard]] QString path() const { return m_path; }
    [[nodiscard]] QUrl url() const { return m_url; }
    // Front or rear by the URL's path (case-insensitive "_F.avi"/"_R.avi").
    [[nodiscard]] TMKMediaDirection mediaDirection() const;
    [[nodiscard]] bool isFrontMedia() const { return mediaDirection() == TMKMediaDirectionFront; }
    [[nodiscard]] bool isRearMedia() const { return mediaDirection() == TMKMediaDirectionRear; }

    friend bool operator==(const TMKPlayerMedia& a, const TMKPlayerMedia& b) { return a.m_path == b.m_path; }

private:
    QString m_path;
    QUrl m_url;
};

// The operations the viewer relies on from its media player. Everything
// else about the decoding back end stays behind this class.
//
// Events are delivered on the thread that owns the player (the main thread),
// never on the back end's own threads.
class TMKMediaPlayer : public QObject {
    Q_OBJECT

public:
    // The states the viewer looks at; Paused is also where a recording ends.
    enum State : int {
        Stopped = 0,
        Opening = 1,
        Buffering = 2,
        Ended = 3,
        Error = 4,
        Playing = 5,
        Paused = 6,
    };
    Q_ENUM(State)

    using QObject::QObject;
    ~TMKMediaPlayer() override = default;

    // Nothing means no recording loaded.
    virtual void setMedia(std::optional<TMKPlayerMedia> media) = 0;
    [[nodiscard]] virtual std::optional<TMKPlayerMedia> media() const = 0;
    // Length of the loaded recording in ms; 0 while unknown.
    [[nodiscard]] virtual int64_t mediaLength() const = 0;

    // Asynchronous: stateChanged follows.
    virtual void play() = 0;
    virtual void pause() = 0;
    virtual void stop() = 0;

    [[nodiscard]] virtual bool isPlaying() const = 0;
    [[nodiscard]] virtual State state() const = 0;
    // Why the loaded recording cannot be played, or only in part, as the
    // user reads it; empty while nothing is known to be wrong. A file whose
    // structure shows it is known right after setMedia (in state Error
    // when nothing of it can play); other faults once the player fails.
    [[nodiscard]] virtual QString errorText() const = 0;

    [[nodiscard]] virtual float position() const = 0; // 0..1
    virtual void setPosition(float position) = 0;
    [[nodiscard]] virtual float rate() const = 0; // 1.0 normal speed
    virtual void setRate(float rate) = 0;
    [[nodiscard]] virtual int64_t time() const = 0; // ms from the start
    virtual void setTime(int64_t ms) = 0;
    // Negative ms to the end; its text is "00:00" at the end.
    [[nodiscard]] virtual int64_t remainingTime() const = 0;
    virtual void jumpForward(int seconds) = 0;
    virtual void jumpBackward(int seconds) = 0;
    // The length of one video frame in ms, from the recording's frame
    // rate; 0 while unknown.
    [[nodiscard]] virtual double frameDurationMs() const = 0;
    // While paused: shows the next frame and stays paused. A frame back is
    // a seek of one frame's length.
    virtual void nextFrame() = 0;

    virtual void setMute(bool mute) = 0;
    [[nodiscard]] virtual bool isMuted() const = 0;
    virtual void setVolume(int volume) = 0; // 0..200
    [[nodiscard]] virtual int volume() const = 0;
    // Empty when the recording has no sound track.
    [[nodiscard]] virtual QList<int> audioTrackIndexes() const = 0;

    [[nodiscard]] virtual bool hasVideoOut() const = 0;
    [[nodiscard]] virtual QSize videoSize() const = 0; // the video's own size
    // Writes the current frame at its own size (width and height 0) to
    // `path`; false when there is no frame to take.
    virtual bool saveVideoSnapshotAt(const QString& path, int width, int height) = 0;

    // "mm:ss" (or "h:mm:ss" from one hour) of a time in ms; a negative time
    // is shown by its magnitude, as remaining times are.
    [[nodiscard]] static QString timeString(int64_t ms);

signals:
    void stateChanged(TMKMediaPlayer* player);
    void timeChanged(TMKMediaPlayer* player);
};

// The libVLC player drawing into `view` (which it does not own).
[[nodiscard]] std::unique_ptr<TMKMediaPlayer> TMKCreateMediaPlayer(TMKVideoView* view, QObject* parent = nullptr);

// Starts the player library ahead of the first recording, so the first
// play does not pay for it.
void TMKTouchMediaLibrary();
