// Saving and printing the frame the main player shows.

#include "TMKAppDelegate.h"

#include "TMKStrings.h"

#include <QDebug>
#include <QDesktopServices>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QImage>
#include <QImageWriter>
#include <QMessageBox>
#include <QStandardPaths>

namespace {

const char* const kCaptureFileName = "tamek_capture.jpg";
const char* const kProposedName = "tamek_capture.png";

// Writes the snapshot to `target` in the format the target's name says:
// the JPEG bytes as they are for ".jpg"/".jpeg" (or a name without a known
// image suffix), converted otherwise.
bool saveSnapshotAs(const QString& snapshot, const QString& target)
{
    const QByteArray suffix = QFileInfo(target).suffix().toLower().toLatin1();
    const bool keepJpeg = suffix == "jpg" || suffix == "jpeg" || !QImageWriter::supportedImageFormats().contains(suffix);
    if (QFile::exists(target) && !QFile::remove(target))
        return false;
    if (keepJpeg)
        return QFile::copy(snapshot, target);
    const QImage image(snapshot);
    return !image.isNull() && image.save(target, suffix.constData());
}

} // namespace

QString TMKAppDelegate::captureTemporaryPath()
{
    // A folder only this user can enter, made fresh for this run, so no one
    // else can plant a link where the snapshot is written.
    if (!m_captureDir || !m_captureDir->isValid())
        m_captureDir = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/tamek-XXXXXX"));
    if (!m_captureDir->isValid())
        return {};
    return m_captureDir->filePath(QLatin1String(kCaptureFileName));
}

QString TMKAppDelegate::takeSnapshot()
{
    // The frame the main player shows, at its own size.
    const QString snapshot = captureTemporaryPath();
    if (snapshot.isEmpty() || !player1()->saveVideoSnapshotAt(snapshot, 0, 0)) {
        qWarning().noquote() << "snapshot: no frame to take";
        return {};
    }
    return snapshot;
}

void TMKAppDelegate::captureVideo()
{
    if (!player1() || !isPlaying(player1()))
        return;
    const QString snapshot = takeSnapshot();
    if (snapshot.isEmpty())
        return;
    const QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    const QString proposed = QDir(desktop.isEmpty() ? QDir::homePath() : desktop).filePath(QLatin1String(kProposedName));
    const QString title = TMKLocalizedString("main.capture_dialog");
    QString chosen;
    if (m_options.saveFileChooser) {
        chosen = m_options.saveFileChooser(m_window, title, proposed);
    } else {
        chosen = QFileDialog::getSaveFileName(m_window, title, proposed,
                                              QStringLiteral("PNG (*.png);;JPEG (*.jpg *.jpeg);;All files (*)"), nullptr,
                                              QFileDialog::Options());
    }
    if (chosen.isEmpty())
        return;
    if (!saveSnapshotAs(snapshot, chosen)) {
        m_lastMessage = TMKLocalizedString("main.capture_failed") + QStringLiteral(" (%1)").arg(chosen);
        qWarning().noquote() << m_lastMessage;
        if (!m_options.saveFileChooser)
            QMessageBox::warning(m_window, title, m_lastMessage);
        return;
    }
    // Show the snapshot in the desktop's image viewer, without a shell.
    const QUrl url = QUrl::fromLocalFile(snapshot);
    if (m_options.urlOpener)
        m_options.urlOpener(url);
    else
        QDesktopServices::openUrl(url);
}

void TMKAppDelegate::print()
{
    if (!player1() || !player1()->media())
        return;
    const TMKMediaPlayer::State state = player1()->state();
    if (state != TMKMediaPlayer::Playing && state != TMKMediaPlayer::Paused)
        return;
    if (!takeSnapshot().isEmpty())
        showPrintPanel();
}
