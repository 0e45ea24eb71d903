#pragma once

#include <QString>

class TMKPrintSettings;
class TMKPrintSystem;

// Sends the captured frame at `jpegPath` to the printer chosen in `settings`
// as a JPEG job scaled to fit the page. Called once the user has confirmed
// the print dialog. Every failure is one line in the system log and no
// message to the user; the line (or the line of the queued job) is also
// handed back through `logLine`. Returns true when a job was queued.
bool TMKPrintCapturedFrame(TMKPrintSystem& system, TMKPrintSettings& settings, const QString& jpegPath,
                           QString* logLine = nullptr);

// True when the file starts like a JPEG stream (FF D8 FF). A job labelled
// image/jpeg that holds other bytes comes out as garbage or not at all.
[[nodiscard]] bool TMKIsJpegFile(const QString& path);
