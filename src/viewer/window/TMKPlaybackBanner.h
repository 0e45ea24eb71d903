#pragma once

#include <QLabel>
#include <QStringList>

class QTimer;

// The banner over the main video (also in full screen): the messages of the
// pair now requested, one a line, gone after a while or when another pair
// is asked for.
class TMKPlaybackBanner : public QLabel {
    Q_OBJECT

public:
    static constexpr int kShownMs = 10000;

    explicit TMKPlaybackBanner(QWidget* video);

    void addMessage(const QString& text);
    void clearMessages();
    // Across the top of its video, as high as its text needs.
    void layOut();

private:
    QTimer* m_timer;
    QStringList m_messages;
};
