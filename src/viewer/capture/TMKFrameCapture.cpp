#include "viewer/capture/TMKFrameCapture.h"

#include "base/TKAtomicFile.h"
#include "kit/TMKAlertService.h"
#include "media/TMKMedia.h"
#include "strings/TMKStrings.h"
#include "viewer/player/TMKMediaPlayer.h"
#include "viewer/print/TMKCupsPrintSystem.h"
#include "viewer/print/TMKFramePrint.h"
#include "viewer/print/TMKPrintSettings.h"

#include <QBuffer>
#include <QDate>
#include <QDateTime>
#include <QDebug>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QImage>
#include <QImageWriter>
#include <QPrintDialog>
#include <QPrinter>
#include <QStandardPaths>
#include <QTime>
#include <QTimeZone>

namespace {

const char* const kCaptureFileName = "tamek_capture.jpg";
const char* const kProposedBaseName = "tamek_capture";

// Writes the snapshot to `chosen` in the format the name says: the JPEG
// bytes as they are for ".jpg"/".jpeg" (or a name without a known image
// suffix), converted otherwise. The one writer (media/TKAtomicFile.h)
// replaces an old file only once the new one is whole, writes through a
// link and leaves a folder, device or pipe at that name alone.
bool saveSnapshotAs(const QString& snapshot, const QString& chosen)
{
    const QByteArray suffix = QFileInfo(chosen).suffix().toLower().toLatin1();
    const bool keepJpeg = suffix == "jpg" || suffix == "jpeg" || !QImageWriter::supportedImageFormats().contains(suffix);
    QByteArray bytes;
    if (keepJpeg) {
        QFile in(snapshot);
        if (!in.open(QIODevice::ReadOnly))
            return false;
        bytes = in.readAll();
    } else {
        const QImage image(snapshot);
        QBuffer buffer(&bytes);
        if (image.isNull() || !buffer.open(QIODevice::WriteOnly) || !image.save(&buffer, suffix.constData()))
            return false;
    }
    if (bytes.isEmpty())
        return false;
    const auto failure = TKWriteFileAtomically(QFile::encodeName(chosen).toStdString(), bytes.constData(),
                                               static_cast<std::size_t>(bytes.size()));
    if (failure)
        qWarning().noquote() << "frame capture:" << chosen << QString::fromStdString(*failure);
    return !failure;
}

} // namespace

TMKFrameCapture::TMKFrameCapture(Services services, std::function<TMKMediaPlayer*()> player, QObject* parent)
    : QObject(parent), m_services(std::move(services)), m_player(std::move(player))
{
    if (!m_services.urlOpener)
        m_services.urlOpener = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
    if (!m_services.alerts)
        m_services.alerts = std::make_shared<TMKMessageBoxAlertService>();
    if (!m_services.printSystem)
        m_services.printSystem = std::make_shared<TMKCupsPrintSystem>();
}

TMKFrameCapture::~TMKFrameCapture() = default;

void TMKFrameCapture::setWindow(QWidget* window)
{
    m_window = window;
}

QString TMKFrameCapture::proposedFileName(const TMKPlayerMedia& media, int64_t timeMs)
{
    const TMKMedia named(QFileInfo(media.path()).fileName().toStdString());
    const QDate date(named.year, named.month, named.day);
    const QTime time(named.hour, named.minute, named.second);
    if (!date.isValid() || !time.isValid())
        return QStringLiteral("%1.png").arg(QLatin1String(kProposedBaseName));
    // The camera's clock has no zone; UTC keeps daylight-saving jumps out.
    const QDateTime shown = QDateTime(date, time, QTimeZone::utc()).addMSecs(std::max<int64_t>(timeMs, 0));
    return QStringLiteral("%1_%2.png").arg(QLatin1String(kProposedBaseName),
                                           shown.toString(QStringLiteral("yyyyMMdd_HHmmss")));
}

QString TMKFrameCapture::captureTemporaryPath()
{
    // A folder only this user can enter, made fresh for this run, so no one
    // else can plant a link where the snapshot is written.
    if (!m_captureDir || !m_captureDir->isValid())
        m_captureDir = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/tamek-XXXXXX"));
    if (!m_captureDir->isValid())
        return {};
    return m_captureDir->filePath(QLatin1String(kCaptureFileName));
}

QString TMKFrameCapture::takeSnapshot()
{
    TMKMediaPlayer* player = m_player();
    const QString snapshot = captureTemporaryPath();
    if (!player || snapshot.isEmpty() || !player->saveVideoSnapshotAt(snapshot, 0, 0)) {
        qWarning().noquote() << "snapshot: no frame to take";
        return {};
    }
    return snapshot;
}

void TMKFrameCapture::captureVideo()
{
    TMKMediaPlayer* player = m_player();
    // Paused too: pausing on the wanted frame is how users pick it.
    if (!player || !player->media()
        || (player->state() != TMKMediaPlayer::Playing && player->state() != TMKMediaPlayer::Paused))
        return;
    // The name comes from the moment of the snapshot, before the dialog
    // lets the picture move on.
    const auto media = player->media();
    const QString name = media ? proposedFileName(*media, player->time())
                               : QStringLiteral("%1.png").arg(QLatin1String(kProposedBaseName));
    const QString snapshot = takeSnapshot();
    if (snapshot.isEmpty())
        return;
    const QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    const QString proposed = QDir(desktop.isEmpty() ? QDir::homePath() : desktop).filePath(name);
    const QString title = TMKLocalizedString("main.capture_dialog");
    const QString chosen = m_services.saveFileChooser
        ? m_services.saveFileChooser(m_window, title, proposed)
        : QFileDialog::getSaveFileName(m_window, title, proposed,
                                       QStringLiteral("PNG (*.png);;JPEG (*.jpg *.jpeg);;All files (*)"));
    if (chosen.isEmpty())
        return;
    if (!saveSnapshotAs(snapshot, chosen)) {
        const QString message = TMKLocalizedString("main.capture_failed") + QStringLiteral(" (%1)").arg(chosen);
        report(message);
        m_services.alerts->showAlert(m_window, TMKAlertService::Kind::Warning, QStringLiteral("TAMEK"), message);
        return;
    }
    // The file the user just saved, in the desktop's image viewer; without
    // one, at least where it went.
    const QString saved = QFileInfo(chosen).absoluteFilePath();
    if (!m_services.urlOpener(QUrl::fromLocalFile(saved)))
        emit messageChanged(TMKLocalizedString("main.capture_saved").arg(QDir::toNativeSeparators(saved)));
}

void TMKFrameCapture::print()
{
    TMKMediaPlayer* player = m_player();
    if (!player || !player->media())
        return;
    const TMKMediaPlayer::State state = player->state();
    if (state != TMKMediaPlayer::Playing && state != TMKMediaPlayer::Paused)
        return;
    if (!takeSnapshot().isEmpty())
        showPrintPanel();
}

void TMKFrameCapture::showPrintPanel()
{
    TMKPrintSettings& settings = TMKLoadPrintInfo();
    auto printer = std::make_shared<QPrinter>(QPrinter::HighResolution);
    settings.applyTo(*printer);
    if (m_services.printPanel) {
        const int code = m_services.printPanel(*printer);
        if (code == 1)
            settings.updateFrom(*printer);
        printPanelDidEnd(code);
        return;
    }
    auto* dialog = new QPrintDialog(printer.get(), m_window);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    // The paper choice among the usual options; no page ranges for one frame.
    dialog->setOptions(QAbstractPrintDialog::PrintToFile | QAbstractPrintDialog::PrintShowPageSize);
    dialog->setWindowModality(Qt::WindowModal);
    connect(dialog, &QDialog::finished, this, [this, printer](int result) {
        if (result == QDialog::Accepted)
            TMKLoadPrintInfo().updateFrom(*printer);
        printPanelDidEnd(result == QDialog::Accepted ? 1 : 0);
    });
    dialog->open();
}

void TMKFrameCapture::printPanelDidEnd(int returnCode)
{
    if (returnCode != 1)
        return;
    // Every failure here is a log line, not an alert: the print system
    // already told the user what it could.
    QString line;
    TMKPrintCapturedFrame(*m_services.printSystem, TMKLoadPrintInfo(), captureTemporaryPath(), &line);
    if (!line.isEmpty())
        emit messageChanged(line); // already in the log
}

void TMKFrameCapture::report(const QString& message)
{
    qWarning().noquote() << message;
    emit messageChanged(message);
}
