#pragma once

#include "viewer/window/TMKWindowLayout.h"

#include <QObject>
#include <QString>

class QAbstractButton;
class QLabel;
class QWidget;
class TMKLoadingOverlay;

// The head bar's content, built into the window's box for it: the open
// folder, clock and settings buttons, the folder and message texts and the
// loading bar centred between them.
class TMKHeadBar : public QObject {
    Q_OBJECT

public:
    TMKHeadBar(QWidget* box, QObject* parent);

    void layOut(const TMKWindowLayout& layout);
    void setFolder(const QString& path);
    // Cut in the middle to the room it has; whole as tooltip.
    void setMessage(const QString& text);
    void showLoading();
    void setLoadingProgress(double percent);
    void hideLoading();
    [[nodiscard]] bool isLoadingShown() const;

signals:
    void openFolderRequested();
    void settingsRequested();
    void timeSetupRequested();

private:
    QAbstractButton* m_openButton = nullptr;
    QAbstractButton* m_settingsButton = nullptr;
    QAbstractButton* m_timeSetupButton = nullptr;
    QLabel* m_folderLabel = nullptr;
    QLabel* m_messageLabel = nullptr;
    QString m_messageText; // whole, before it is elided to the label
    TMKLoadingOverlay* m_loading = nullptr;
};
