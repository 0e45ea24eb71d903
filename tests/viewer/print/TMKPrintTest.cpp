// Printing a captured frame: the end-of-dialog steps against a scripted
// print service (where each step stops, the exact log line, what reaches the
// job), and through a private CUPS scheduler (started by
// scripts/cups-test-server.sh) with a JPEG-capable queue and a text-only one.

#include "viewer/print/TMKCupsPrintSystem.h"
#include "viewer/print/TMKFramePrint.h"
#include "viewer/print/TMKPrintSettings.h"
#include "viewer/print/TMKPrintSystem.h"

#include <QApplication>
#include <QFile>
#include <QImage>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <cups/cups.h>

namespace {

// Answers as scripted and records the order of the calls and what was printed.
class ScriptedPrintSystem final : public TMKPrintSystem {
public:
    std::optional<TMKPrintDestination> destination = TMKPrintDestination::Printer;
    int printerError = 0;
    std::optional<QStringList> formats = QStringList{QStringLiteral("application/pdf"), QStringLiteral("image/jpeg")};
    TMKPrintJob job{42, 0, {}};

    QStringList calls;
    QString fitToPageWhenAsked;
    QMap<QString, QString> printedOptions;

    std::optional<TMKPrintDestination> destinationType(const TMKPrintSettings& settings) override
    {
        calls << QStringLiteral("destination");
        fitToPageWhenAsked = settings.option(QStringLiteral("fit-to-page"));
        return destination;
    }
    int currentPrinter(const TMKPrintSettings&, QString* printer) override
    {
        calls << QStringLiteral("printer");
        if (printerError == 0)
            *printer = QStringLiteral("office");
        return printerError;
    }
    std::optional<QStringList> acceptedDocumentFormats(const QString& printer) override
    {
        calls << QStringLiteral("formats:") + printer;
        return formats;
    }
    TMKPrintJob printFile(const QString& printer, const QString& path, const QString& mimeType,
                          const TMKPrintSettings& settings) override
    {
        calls << QStringLiteral("print %1 %2 as %3").arg(printer, path, mimeType);
        printedOptions = settings.jobOptions();
        return job;
    }
};


// Ids of the jobs a queue (or every queue, for an empty name) holds, in
// any state, finished ones included.
QList<int> jobIds(const char* queue, int which = CUPS_WHICHJOBS_ALL)
{
    cups_job_t* jobs = nullptr;
    const int count = cupsGetJobs2(CUPS_HTTP_DEFAULT, &jobs, queue, 0, which);
    QList<int> ids;
    for (int i = 0; i < count; ++i)
        ids.append(jobs[i].id);
    cupsFreeJobs(count, jobs);
    return ids;
}

// The first PDF in the printer's output: the Generic PDF driver wraps it
// in PJL.
QByteArray pdfIn(const QByteArray& output)
{
    const qsizetype begin = output.indexOf("%PDF");
    const qsizetype end = output.indexOf("%%EOF", begin);
    return begin < 0 || end < 0 ? QByteArray() : output.mid(begin, end - begin + 5);
}

// The attributes the scheduler keeps for a job, as "name" -> text.
QMap<QString, QString> jobAttributes(int jobId)
{
    ipp_t* request = ippNewRequest(IPP_OP_GET_JOB_ATTRIBUTES);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, "ipp://localhost/printers/jpegq");
    ippAddInteger(request, IPP_TAG_OPERATION, IPP_TAG_INTEGER, "job-id", jobId);
    ipp_t* response = cupsDoRequest(CUPS_HTTP_DEFAULT, request, "/jobs/");
    QMap<QString, QString> attributes;
    for (ipp_attribute_t* attribute = ippFirstAttribute(response); attribute; attribute = ippNextAttribute(response)) {
        char value[512];
        ippAttributeString(attribute, value, sizeof value);
        if (const char* name = ippGetName(attribute))
            attributes.insert(QString::fromUtf8(name), QString::fromUtf8(value));
    }
    ippDelete(response);
    return attributes;
}

} // namespace

class TMKPrintTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_server;
    QString m_jpeg;

    bool runScript(const QString& action, QString* output)
    {
        QProcess script;
        script.setProcessChannelMode(QProcess::SeparateChannels);
        script.start(QStringLiteral(TAMEK_CUPS_TEST_SERVER), {action, m_dir.path()});
        if (!script.waitForFinished(30000) || script.exitStatus() != QProcess::NormalExit || script.exitCode() != 0) {
            qWarning().noquote() << script.readAllStandardError();
            return false;
        }
        if (output)
            *output = QString::fromLocal8Bit(script.readAllStandardOutput()).trimmed();
        return true;
    }

private slots:
    void initTestCase()
    {
        const QStringList sbin{QStringLiteral("/usr/sbin"), QStringLiteral("/sbin")};
        if (QStandardPaths::findExecutable(QStringLiteral("cupsd")).isEmpty() &&
            QStandardPaths::findExecutable(QStringLiteral("cupsd"), sbin).isEmpty())
            QSKIP("cupsd is not installed");
        QVERIFY(m_dir.isValid());
        QVERIFY(runScript(QStringLiteral("start"), &m_server));
        QVERIFY(m_server.endsWith(QStringLiteral("/cups.sock")));
        qputenv("CUPS_SERVER", m_server.toLocal8Bit());
        // libcups keeps the server it found first; make it read the
        // environment again in case anything asked before.
        cupsSetServer(nullptr);
        QCOMPARE(QString::fromLocal8Bit(cupsServer()), m_server);

        // 640 x 360 at 300 dpi: 2.1 inches wide unless scaled to the page.
        QImage frame(640, 360, QImage::Format_RGB32);
        frame.fill(QColor(30, 90, 160));
        frame.setDotsPerMeterX(11811);
        frame.setDotsPerMeterY(11811);
        m_jpeg = m_dir.filePath(QStringLiteral("tamek_capture.jpg"));
        QVERIFY(frame.save(m_jpeg, "JPG"));
    }

    void cleanupTestCase()
    {
        // Also after a failed start: stopping a scheduler that is not
        // running does nothing.
        if (m_dir.isValid() && QFile::exists(m_dir.filePath(QStringLiteral("cupsd.conf"))))
            QVERIFY(runScript(QStringLiteral("stop"), nullptr));
    }

    // Each row: the service's answers and the frame (JPEG bytes unless
    // `bytes` names another format, or none: no file); then how many of
    // destination, printer, formats, print were taken and the line logged
    // ("%1" is the frame's path).
    void eachStepStopsWithItsLine()
    {
        using Destination = std::optional<TMKPrintDestination>;
        using Formats = std::optional<QStringList>;
        const Destination printer = TMKPrintDestination::Printer;
        const Formats jpeg = QStringList{QStringLiteral("image/jpeg")};
        const QString destination = QStringLiteral("Either got an error from PMSessionGetDestinationType or the "
                                                   "print destination wasn't kPMDestinationPrinter");
        const QString noJpeg = QStringLiteral("MIME type image/jpeg isn't supported by the printer");
        const QString notJpeg = QStringLiteral("The captured frame %1 is not a JPEG file; nothing was printed");
        const struct {
            Destination destination;
            int printerError;
            Formats formats;
            QByteArray bytes;
            int jobError;
            int steps;
            QString line;
        } cases[] = {
            {TMKPrintDestination::File, 0, jpeg, "JPG", 0, 1, destination},
            {std::nullopt, 0, jpeg, "JPG", 0, 1, destination},
            {printer, -30870, jpeg, "JPG", 0, 2, QStringLiteral("Got an error from PMSessionGetCurrentPrinter (-30870)")},
            {printer, 0, std::nullopt, "JPG", 0, 3, {}}, // formats unknown: silent
            {printer, 0, QStringList{QStringLiteral("text/plain")}, "JPG", 0, 3, noJpeg},
            {printer, 0, QStringList{}, "JPG", 0, 3, noJpeg},
            {printer, 0, jpeg, "PNG", 0, 3, notJpeg}, // named .jpg
            {printer, 0, jpeg, {}, 0, 3, notJpeg},
            {printer, 0, QStringList{QStringLiteral("IMAGE/JPEG")}, "JPG", 0, 4, {}},
            {printer, 0, jpeg, "JPG", 1034, 4, QStringLiteral("PMPrinterPrintWithFile returned error 1034")},
            {printer, 0, jpeg, "JPG", 0, 4, {}},
        };
        // Only the lines a row expects may be logged.
        QTest::failOnWarning(QRegularExpression(QStringLiteral(".*")));
        QImage picture(64, 36, QImage::Format_RGB32);
        picture.fill(QColor(200, 40, 40));
        for (const auto& c : cases) {
            const QString frame = m_dir.filePath(QStringLiteral("frame-%1.jpg").arg(QString::fromLatin1(c.bytes)));
            if (!c.bytes.isEmpty() && !QFile::exists(frame))
                QVERIFY(picture.save(frame, c.bytes.constData()));
            const QString line = c.line.contains(QLatin1String("%1")) ? c.line.arg(frame) : c.line;
            const QStringList all{QStringLiteral("destination"), QStringLiteral("printer"), QStringLiteral("formats:office"),
                                  QStringLiteral("print office %1 as image/jpeg").arg(frame)};
            ScriptedPrintSystem system;
            system.destination = c.destination;
            system.printerError = c.printerError;
            system.formats = c.formats;
            system.job = TMKPrintJob{c.jobError == 0 ? 42 : 0, c.jobError, {}};
            TMKPrintSettings settings;

            if (!line.isEmpty())
                QTest::ignoreMessage(QtWarningMsg, line.toUtf8().constData());
            QString logged;
            const bool printed = c.steps == 4 && line.isEmpty();
            QCOMPARE(TMKPrintCapturedFrame(system, settings, frame, &logged), printed);
            QCOMPARE(system.calls, all.mid(0, c.steps));
            // Fit to page is set before anything is asked, and kept in the
            // settings the application holds on to.
            QCOMPARE(system.fitToPageWhenAsked, QStringLiteral("true"));
            QCOMPARE(settings.option(QStringLiteral("fit-to-page")), QStringLiteral("true"));
            if (c.steps == 4)
                QCOMPARE(system.printedOptions, settings.jobOptions());
            QCOMPARE(logged, printed ? QStringLiteral("Printed %1 on office as job 42").arg(frame) : line);
        }
    }

    // Where the settings print to, the job options from the choices, and
    // the trip through the dialog's QPrinter.
    void settingsDestinationOptionsAndDialog()
    {
        const auto printer = TMKPrintDestination::Printer;
        const auto file = TMKPrintDestination::File;
        const struct {
            QString printer;
            bool toFile;
            QString fileName;
            TMKPrintDestination destination;
        } cases[] = {
            {{}, false, {}, printer}, // the default printer
            {QStringLiteral("Office_Laser"), false, {}, printer},
            {QStringLiteral("HP-PDF-Printer"), false, {}, printer},
            {QStringLiteral("Office_Laser"), true, {}, file},
            {QStringLiteral("Office_Laser"), false, QStringLiteral("/tmp/a.pdf"), file},
            {QStringLiteral("cups-pdf"), false, {}, file},
            {QStringLiteral("PDF"), false, {}, file},
            {QStringLiteral("Print to PDF"), false, {}, file},
            {QStringLiteral("Open in Preview"), false, {}, file},
        };
        for (const auto& c : cases) {
            TMKPrintSettings settings;
            settings.setPrinterName(c.printer);
            settings.setOutputToFile(c.toFile);
            settings.setOutputFileName(c.fileName);
            QVERIFY2(settings.destination() == c.destination, qPrintable(c.printer + c.fileName));
        }

        TMKPrintSettings settings;
        // Nothing chosen: one copy, the printer's paper and orientation.
        QCOMPARE(settings.jobOptions(), (QMap<QString, QString>{{QStringLiteral("copies"), QStringLiteral("1")}}));

        settings.setPaperSize(QPageSize(QPageSize::A4));
        settings.setCopies(2);
        settings.setOrientation(QPageLayout::Landscape);
        settings.setOption(QStringLiteral("fit-to-page"), QStringLiteral("true"));
        const QMap<QString, QString> options{{QStringLiteral("fit-to-page"), QStringLiteral("true")},
                                            {QStringLiteral("media"), QStringLiteral("A4")},
                                            {QStringLiteral("copies"), QStringLiteral("2")},
                                            {QStringLiteral("orientation-requested"), QStringLiteral("4")}};
        QCOMPARE(settings.jobOptions(), options);

        settings.setPaperSize(QPageSize(QPageSize::Letter));
        QCOMPARE(settings.jobOptions().value(QStringLiteral("media")), QStringLiteral("Letter"));
        settings.setPaperSize(QPageSize(QSizeF(100, 150), QPageSize::Millimeter, QStringLiteral("Odd")));
        QVERIFY(!settings.jobOptions().contains(QStringLiteral("media")));

        settings.setCopies(0);
        QCOMPARE(settings.jobOptions().value(QStringLiteral("copies")), QStringLiteral("1"));

        // The dialog's orientation wins over an option set by hand.
        settings.setOption(QStringLiteral("orientation-requested"), QStringLiteral("4"));
        settings.setOrientation(QPageLayout::Portrait);
        QVERIFY(!settings.jobOptions().contains(QStringLiteral("orientation-requested")));

        // The dialog works on a QPrinter; the choices survive the trip to the
        // settings and back onto the next dialog's printer.
        const QString pdf = m_dir.filePath(QStringLiteral("out.pdf"));
        QPrinter chosen;
        chosen.setOutputFileName(pdf);
        chosen.setPageSize(QPageSize(QPageSize::A5));
        chosen.setPageOrientation(QPageLayout::Landscape);
        chosen.setCopyCount(3);

        // Over the choices above, fit to page among them.
        settings.updateFrom(chosen);
        QCOMPARE(settings.destination(), TMKPrintDestination::File);
        QCOMPARE(settings.option(QStringLiteral("fit-to-page")), QStringLiteral("true"));
        QVERIFY(TMKPrintSettings::fromPrinter(chosen).option(QStringLiteral("fit-to-page")).isEmpty());

        QPrinter next;
        settings.applyTo(next);
        QCOMPARE(next.outputFormat(), QPrinter::PdfFormat);
        QCOMPARE(next.outputFileName(), pdf);
        QCOMPARE(next.pageLayout().pageSize().id(), QPageSize::A5);
        QCOMPARE(next.pageLayout().orientation(), QPageLayout::Landscape);
        QCOMPARE(next.copyCount(), 3);

        // The application's settings are made once and kept.
        QCOMPARE(&TMKLoadPrintInfo(), &TMKLoadPrintInfo());
    }

    void jpegReachesThePrinterFittedToThePage()
    {
        QFile::remove(m_dir.filePath(QStringLiteral("out/jpeg.prn")));
        const QList<int> before = jobIds("jpegq");
        TMKCupsPrintSystem cups;
        // Chosen in the dialog, which works on a QPrinter that must see
        // the private queue, whatever the printer showed before.
        TMKPrintSettings chosen;
        chosen.setPrinterName(QStringLiteral("jpegq"));
        QPrinter printer;
        printer.setPrinterName(QStringLiteral("textq"));
        chosen.applyTo(printer);
        QCOMPARE(printer.outputFormat(), QPrinter::NativeFormat);
        TMKPrintSettings settings = TMKPrintSettings::fromPrinter(printer);
        QCOMPARE(settings.printerName(), QStringLiteral("jpegq"));
        settings.setPaperSize(QPageSize(QPageSize::A4));
        QString line;
        QVERIFY2(TMKPrintCapturedFrame(cups, settings, m_jpeg, &line), qPrintable(line));

        QList<int> added;
        const auto finished = [&] {
            added.clear();
            for (const int id : jobIds("jpegq", CUPS_WHICHJOBS_COMPLETED)) {
                if (!before.contains(id))
                    added.append(id);
            }
            return !added.isEmpty();
        };
        QTRY_VERIFY_WITH_TIMEOUT(finished(), 60000);
        QCOMPARE(added.size(), 1);
        QCOMPARE(line, QStringLiteral("Printed %1 on jpegq as job %2").arg(m_jpeg).arg(added.first()));
        const QMap<QString, QString> attributes = jobAttributes(added.first());
        QCOMPARE(attributes.value(QStringLiteral("fit-to-page")), QStringLiteral("true"));
        // Sent as JPEG, not left to the scheduler's guess.
        QCOMPARE(attributes.value(QStringLiteral("document-format-supplied")), QStringLiteral("image/jpeg"));
        QCOMPARE(attributes.value(QStringLiteral("media")), QStringLiteral("A4"));

        QFile output(m_dir.filePath(QStringLiteral("out/jpeg.prn")));
        QVERIFY(output.open(QIODevice::ReadOnly));
        const QByteArray pdf = pdfIn(output.readAll());
        QVERIFY2(!pdf.isEmpty(), "the printer wrote no PDF");
        // A4 reached the job ("media"), not the driver's default Letter.
        QVERIFY(QRegularExpression(QStringLiteral("MediaBox \\[ 0 0 595[.0]* 842[.0]* \\]"))
                    .match(QString::fromLatin1(pdf))
                    .hasMatch());
        // The image is drawn by the matrix just before it: scaled to the
        // page rather than at its own 2.1 inches, keeping its proportions.
        const QRegularExpressionMatch placed =
            QRegularExpression(QStringLiteral("([0-9.]+) 0 0 ([0-9.]+) 0 0 cm\\s*/Im Do"))
                .match(QString::fromLatin1(pdf));
        QVERIFY2(placed.hasMatch(), "no image drawn");
        QVERIFY2(placed.captured(1).toDouble() > 500, qPrintable(placed.captured(0)));
        QVERIFY(qAbs(placed.captured(1).toDouble() / placed.captured(2).toDouble() - 640.0 / 360.0) < 0.01);
    }

    // Each refusal of the real scheduler stops with its line before any
    // job exists. No printer name: the scheduler's default, an error while
    // none is set; a file is no printer; what the scheduler answers when a
    // job is refused reaches the caller.
    void refusalsAndTheDefaultPrinter()
    {
        TMKCupsPrintSystem cups;
        const struct {
            QString printer;
            QString line;
        } cases[] = {
            {QStringLiteral("textq"), QStringLiteral("MIME type image/jpeg isn't supported by the printer")},
            {QStringLiteral("nosuchq"), QStringLiteral("Got an error from PMSessionGetCurrentPrinter (%1)")
                                            .arg(static_cast<int>(IPP_STATUS_ERROR_NOT_FOUND))},
        };
        for (const auto& c : cases) {
            TMKPrintSettings settings;
            settings.setPrinterName(c.printer);
            const QList<int> before = jobIds(nullptr);
            QTest::ignoreMessage(QtWarningMsg, c.line.toUtf8().constData());
            QString logged;
            QVERIFY(!TMKPrintCapturedFrame(cups, settings, m_jpeg, &logged));
            QCOMPARE(logged, c.line);
            QCOMPARE(jobIds(nullptr), before);
        }

        TMKPrintSettings settings;
        QString printer;
        QCOMPARE(cups.currentPrinter(settings, &printer), static_cast<int>(IPP_STATUS_ERROR_NOT_FOUND));
        QVERIFY(QProcess::execute(QStringLiteral("lpadmin"), {QStringLiteral("-d"), QStringLiteral("textq")}) == 0);
        QCOMPARE(cups.currentPrinter(settings, &printer), 0);
        QCOMPARE(printer, QStringLiteral("textq"));
        TMKPrintSettings toFile; // a PDF file is no printer: refused before any job
        toFile.setOutputFileName(m_dir.filePath(QStringLiteral("frame.pdf")));
        QCOMPARE(cups.destinationType(toFile), std::optional(TMKPrintDestination::File));

        const TMKPrintJob job = cups.printFile(QStringLiteral("textq"), m_jpeg, QStringLiteral("image/jpeg"), settings);
        QVERIFY(!job.queued());
        QCOMPARE(job.error, static_cast<int>(IPP_STATUS_ERROR_DOCUMENT_FORMAT_NOT_SUPPORTED));
        QVERIFY2(job.errorText.contains(QStringLiteral("image/jpeg")), qPrintable(job.errorText));
    }
};

int main(int argc, char** argv)
{
    // QPrinter needs the application object for its print support plugin.
    QApplication app(argc, argv);
    TMKPrintTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "TMKPrintTest.moc"
