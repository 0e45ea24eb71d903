// The end-of-dialog print steps against a scripted print service: where each
// step stops, the exact log line, and what reaches the job.

#include "viewer/print/TMKFramePrint.h"
#include "viewer/print/TMKPrintSettings.h"
#include "viewer/print/TMKPrintSystem.h"

#include <QFile>
#include <QImage>
#include <QPrinter>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

namespace {

const char* const kDestinationLine =
    "Either got an error from PMSessionGetDestinationType or the print destination wasn't kPMDestinationPrinter";

// Answers as scripted and records the order of the calls and what was printed.
class ScriptedPrintSystem final : public TMKPrintSystem {
public:
    std::optional<TMKPrintDestination> destination = TMKPrintDestination::Printer;
    int printerError = 0;
    QString printerName = QStringLiteral("office");
    std::optional<QStringList> formats = QStringList{QStringLiteral("application/pdf"), QStringLiteral("image/jpeg")};
    TMKPrintJob job{42, 0, {}};

    QStringList calls;
    QString fitToPageWhenAsked;
    QString printedOn;
    QString printedPath;
    QString printedType;
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
            *printer = printerName;
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
        calls << QStringLiteral("print");
        printedOn = printer;
        printedPath = path;
        printedType = mimeType;
        printedOptions = settings.jobOptions();
        return job;
    }
};

QImage testFrame()
{
    QImage image(64, 36, QImage::Format_RGB32);
    image.fill(QColor(200, 40, 40));
    return image;
}

} // namespace

class TMKFramePrintTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;

private slots:
    void init()
    {
        // Only the lines a row expects may be logged.
        QTest::failOnWarning(QRegularExpression(QStringLiteral(".*")));
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
        const QString destination = QString::fromLatin1(kDestinationLine);
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
            {printer, 1030, jpeg, "JPG", 0, 2, QStringLiteral("Got an error from PMSessionGetCurrentPrinter (1030)")},
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
        QVERIFY(m_dir.isValid());
        const QStringList all{QStringLiteral("destination"), QStringLiteral("printer"),
                              QStringLiteral("formats:office"), QStringLiteral("print")};
        for (const auto& c : cases) {
            const QString frame = m_dir.filePath(QStringLiteral("frame-%1.jpg").arg(QString::fromLatin1(c.bytes)));
            if (!c.bytes.isEmpty() && !QFile::exists(frame))
                QVERIFY(testFrame().save(frame, c.bytes.constData()));
            const QString line = c.line.contains(QLatin1String("%1")) ? c.line.arg(frame) : c.line;
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
            if (c.steps == 4) {
                QCOMPARE(system.printedOn, QStringLiteral("office"));
                QCOMPARE(system.printedPath, frame);
                QCOMPARE(system.printedType, QStringLiteral("image/jpeg"));
                QCOMPARE(system.printedOptions, settings.jobOptions());
            }
            QCOMPARE(logged, printed ? QStringLiteral("Printed %1 on office as job 42").arg(frame) : line);
        }
    }

    void destinationOfTheSettings()
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
    }

    void jobOptionsFromTheChoices()
    {
        TMKPrintSettings settings;
        // Nothing chosen: one copy, the printer's paper and orientation.
        QCOMPARE(settings.jobOptions(), (QMap<QString, QString>{{QStringLiteral("copies"), QStringLiteral("1")}}));

        settings.setPaperSize(QPageSize(QPageSize::A4));
        settings.setCopies(2);
        settings.setOrientation(QPageLayout::Landscape);
        settings.setOption(QStringLiteral("fit-to-page"), QStringLiteral("true"));
        const QMap<QString, QString> chosen{{QStringLiteral("fit-to-page"), QStringLiteral("true")},
                                            {QStringLiteral("media"), QStringLiteral("A4")},
                                            {QStringLiteral("copies"), QStringLiteral("2")},
                                            {QStringLiteral("orientation-requested"), QStringLiteral("4")}};
        QCOMPARE(settings.jobOptions(), chosen);

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
    }

    // The dialog works on a QPrinter; the choices survive the trip to the
    // settings and back onto the next dialog's printer.
    void choicesRoundTripThroughQPrinter()
    {
        const QString pdf = m_dir.filePath(QStringLiteral("out.pdf"));
        QPrinter chosen;
        chosen.setOutputFileName(pdf);
        chosen.setPageSize(QPageSize(QPageSize::A5));
        chosen.setPageOrientation(QPageLayout::Landscape);
        chosen.setCopyCount(3);

        TMKPrintSettings settings;
        settings.setOption(QStringLiteral("fit-to-page"), QStringLiteral("true"));
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
    }

    void printInfoIsMadeOnce()
    {
        TMKPrintSettings& first = TMKLoadPrintInfo();
        first.setPaperSize(QPageSize(QPageSize::A4));
        QCOMPARE(&TMKLoadPrintInfo(), &first);
        QCOMPARE(TMKLoadPrintInfo().paperSize().id(), QPageSize::A4);
    }
};

int runFramePrintTests(int argc, char** argv)
{
    TMKFramePrintTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "TMKFramePrintTest.moc"
