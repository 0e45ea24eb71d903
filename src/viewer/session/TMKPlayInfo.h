#pragma once

#include <QObject>

// The observable playback state, derived from the main player: what the
// slider, the time, the readouts, the graph and the map show observe it.
// Every setter but setLengthMs notifies, also when the value does not
// change: observers such as the position display rely on being told again.
// Main thread.
class TMKPlayInfo : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool isPlaying READ isPlaying WRITE setIsPlaying NOTIFY isPlayingChanged)
    Q_PROPERTY(double position READ position WRITE setPosition NOTIFY positionChanged)
    // The main recording's length; 0 when nothing is loaded.
    Q_PROPERTY(qint64 lengthMs READ lengthMs WRITE setLengthMs NOTIFY lengthChanged)
    Q_PROPERTY(double speed READ speed WRITE setSpeed NOTIFY speedChanged)
    Q_PROPERTY(double scale READ scale WRITE setScale NOTIFY scaleChanged)
    Q_PROPERTY(int audioMediaDirection READ audioMediaDirection WRITE setAudioMediaDirection NOTIFY
                   audioMediaDirectionChanged)

public:
    using QObject::QObject;

    [[nodiscard]] bool isPlaying() const { return m_isPlaying; }
    [[nodiscard]] double position() const { return m_position; }
    [[nodiscard]] qint64 lengthMs() const { return m_lengthMs; }
    [[nodiscard]] double speed() const { return m_speed; }
    [[nodiscard]] double scale() const { return m_scale; }
    [[nodiscard]] int audioMediaDirection() const { return m_audioMediaDirection; }

    void setIsPlaying(bool value)
    {
        m_isPlaying = value;
        emit isPlayingChanged(value);
    }
    void setPosition(double value)
    {
        m_position = value;
        emit positionChanged(value);
    }
    void setLengthMs(qint64 value)
    {
        if (value == m_lengthMs)
            return;
        m_lengthMs = value;
        emit lengthChanged(value);
    }
    void setSpeed(double value)
    {
        m_speed = value;
        emit speedChanged(value);
    }
    void setScale(double value)
    {
        m_scale = value;
        emit scaleChanged(value);
    }
    void setAudioMediaDirection(int value)
    {
        m_audioMediaDirection = value;
        emit audioMediaDirectionChanged(value);
    }

signals:
    void isPlayingChanged(bool isPlaying);
    void positionChanged(double position);
    void lengthChanged(qint64 lengthMs);
    void speedChanged(double speed);
    void scaleChanged(double scale);
    void audioMediaDirectionChanged(int direction);

private:
    bool m_isPlaying = false;
    double m_position = 0;
    qint64 m_lengthMs = 0;
    double m_speed = 1.0;
    double m_scale = 0;
    int m_audioMediaDirection = 2;
};
