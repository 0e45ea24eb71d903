// Printing a captured frame through a private CUPS scheduler (started by
// scripts/cups-test-server.sh) with a JPEG-capable queue and a text-only one.

#include "viewer/print/TMKCupsPrintSystem.h"
#include "viewer/print/TMKFramePrint.h"
#include "viewer/print/TMKPrintSettings.h"

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

class TMKCupsPrintTest : public QObject {
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
    // job exists.
    void refusedBeforeAnyJob()
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
            QPrinter chosen;
            chosen.setPrinterName(c.printer);
            TMKPrintSettings settings = TMKPrintSettings::fromPrinter(chosen);
            settings.setPrinterName(c.printer); // QPrinter forgets a queue it does not know
            const QList<int> before = jobIds(nullptr);
            QTest::ignoreMessage(QtWarningMsg, c.line.toUtf8().constData());
            QString logged;
            QVERIFY(!TMKPrintCapturedFrame(cups, settings, m_jpeg, &logged));
            QCOMPARE(logged, c.line);
            QCOMPARE(jobIds(nullptr), before);
        }
    }

    // No printer name: the scheduler's default, an error while none is set;
    // what the scheduler answers when a job is refused reaches the caller.
    void defaultPrinterAndRefusedJob()
    {
        TMKCupsPrintSystem cups;
        TMKPrintSettings settings;
        QString printer;
        QCOMPARE(cups.currentPrinter(settings, &printer), static_cast<int>(IPP_STATUS_ERROR_NOT_FOUND));
        QVERIFY(QProcess::execute(QStringLiteral("lpadmin"), {QStringLiteral("-d"), QStringLiteral("textq")}) == 0);
        QCOMPARE(cups.currentPrinter(settings, &printer), 0);
        QCOMPARE(printer, QStringLiteral("textq"));

        const TMKPrintJob job = cups.printFile(QStringLiteral("textq"), m_jpeg, QStringLiteral("image/jpeg"), settings);
        QVERIFY(!job.queued());
        QCOMPARE(job.error, static_cast<int>(IPP_STATUS_ERROR_DOCUMENT_FORMAT_NOT_SUPPORTED));
        QVERIFY2(job.errorText.contains(QStringLiteral("image/jpeg")), qPrintable(job.errorText));
    }
};

int runFramePrintTests(int argc, char** argv);

int main(int argc, char** argv)
{
    // QPrinter needs the application object for its print support plugin.
    QApplication app(argc, argv);
    const int frame = runFramePrintTests(argc, argv);
    TMKCupsPrintTest cups;
    return frame | QTest::qExec(&cups, argc, argv);
}

#include "TMKCupsPrintTest.moc"
