// The recording list marks what cannot be played or read, found after the
// scan in the background, and never marks a new folder's rows with the
// results of the old one's check.

#include "TMKDriveRecording.h"
#include "TMKDriveSimulator.h"
#include "TMKViewerTestFiles.h"
#include "media/TMKMediaList.h"
#include "viewer/player/TMKRecordingCheck.h"
#include "viewer/window/TMKMediaListModel.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QFile>
#include <QHeaderView>
#include <QHelpEvent>
#include <QIcon>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QToolTip>

#include <memory>

namespace {

TMKDriveSimulator drive()
{
    TMKSpeedProfile profile(0);
    profile.ramp(50, 10).hold(600);
    TMKDriveOptions options;
    options.startUtc = TMKUtcTime{2026, 11, 7, 7, 15, 0, 0};
    return TMKDriveSimulator(TMKMunichRoute(), profile, options);
}

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeAll(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

int rowOf(const TMKMediaListModel& model, const QString& fileName)
{
    for (int row = 0; row < model.rowCount(); ++row)
        if (model.index(row, TMKMediaListModel::FileColumn).data().toString() == fileName)
            return row;
    return -1;
}

} // namespace

class TMKMediaListHealthTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QByteArray m_good;

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        const QString good = m_dir.filePath(QStringLiteral("good.avi"));
        QVERIFY(TMKWriteDriveRecording(good.toStdString(), drive(), 0, 10000));
        m_good = readAll(good);
        QVERIFY(m_good.size() > 20000);
    }

    // A card with a good pair and one recording cut short: that one is
    // greyed, carries the warning icon and tells its reason in the tooltip,
    // also as the table shows it on hover. (What each kind of damage is
    // called is the media check's own test.)
    void damagedRecordingsAreMarked()
    {
        QTemporaryDir card;
        const QString d = card.path() + QLatin1Char('/');
        QVERIFY(writeAll(d + "alwa_20261107_071500_F.avi", m_good));
        QVERIFY(writeAll(d + "alwa_20261107_071500_R.avi", m_good));
        QVERIFY(writeAll(d + "alwa_20261107_071600_F.avi", m_good.left(m_good.size() / 2)));

        auto list = scannedList(card.path());
        TMKMediaListModel model(list.get());
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QSignalSpy checked(&model, &TMKMediaListModel::healthChecked);
        QVERIFY(model.isChecking());
        QVERIFY(checked.wait(10000));
        QVERIFY(!model.isChecking());

        const int good = rowOf(model, QStringLiteral("alwa_20261107_071500_F.avi"));
        const int cut = rowOf(model, QStringLiteral("alwa_20261107_071600_F.avi"));
        QVERIFY(good >= 0 && cut >= 0);

        QCOMPARE(model.problem(good), TMKMediaProblem::None);
        QCOMPARE(model.index(good, 0).data(Qt::ToolTipRole).toString(), d + "alwa_20261107_071500_F.avi");
        QVERIFY(!model.index(good, 1).data(Qt::ForegroundRole).isValid());

        QCOMPARE(model.problem(cut), TMKMediaProblem::CutShort);
        QCOMPARE(model.index(cut, TMKMediaListModel::ModeColumn).data(TMKMediaListModel::ProblemRole).toInt(),
                 int(TMKMediaProblem::CutShort));
        const QString reason = model.problemText(cut);
        QVERIFY(!reason.isEmpty());
        for (int column = 0; column < 4; ++column) {
            QVERIFY(model.index(cut, column).data(Qt::ToolTipRole).toString().contains(reason));
            QVERIFY(model.index(cut, column).data(Qt::ForegroundRole).isValid());
        }
        // The mode column shows a warning instead of the camera's icon.
        const QIcon warning = model.index(cut, 0).data(Qt::DecorationRole).value<QIcon>();
        const QIcon camera = model.index(good, 0).data(Qt::DecorationRole).value<QIcon>();
        QVERIFY(!warning.isNull() && !camera.isNull());
        QVERIFY(warning.pixmap(16).toImage() != camera.pixmap(16).toImage());

        // Hovering the row in a table shows the tooltip with the reason.
        QTableView view;
        view.setModel(&model);
        view.resize(600, 300);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        const QRect cell = view.visualRect(model.index(cut, TMKMediaListModel::FileColumn));
        QVERIFY(cell.isValid());
        QHelpEvent help(QEvent::ToolTip, cell.center(), view.viewport()->mapToGlobal(cell.center()));
        QApplication::sendEvent(view.viewport(), &help);
        QTRY_VERIFY(QToolTip::isVisible());
        QVERIFY(QToolTip::text().contains(reason));
        QToolTip::hideText();

        // What the list tells is what the player tells when the row plays.
        QCOMPARE(TMKRecordingFaultText(TMKCheckRecording(d + "alwa_20261107_071600_F.avi")), reason);
    }

    // A reload while the check of the old rows is under way: the old
    // results, posted but not yet delivered, must not mark the new rows;
    // nor may those of a model destroyed mid-check reach anything.
    void anotherFolderMidCheckIsNotMarkedWithOldResults()
    {
        QTemporaryDir damaged;
        QTemporaryDir sound;
        const QByteArray cut = m_good.left(5000);
        for (int i = 0; i < 200; ++i) {
            const QString name = QString::asprintf("alwa_20261107_07%02d%02d_F.avi", i / 60, i % 60);
            QVERIFY(writeAll(damaged.filePath(name), cut));
            if (i < 20)
                QVERIFY(writeAll(sound.filePath(name), m_good));
        }
        auto list = scannedList(damaged.path());
        TMKMediaListModel model(list.get());
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        // The worker posts its first batches meanwhile; none is delivered.
        QThread::msleep(300);

        list->setDirectoryPath(sound.path().toStdString());
        list->waitUntilIdle();
        QSignalSpy checked(&model, &TMKMediaListModel::healthChecked);
        model.reload();
        QCOMPARE(model.rowCount(), 20);
        QVERIFY(checked.wait(10000));
        QTest::qWait(200); // anything the old check might still deliver
        QCOMPARE(checked.count(), 1);
        for (int row = 0; row < model.rowCount(); ++row) {
            QCOMPARE(model.problem(row), TMKMediaProblem::None);
            QVERIFY(!model.index(row, 0).data(Qt::ToolTipRole).toString().contains(QLatin1Char('\n')));
        }

        // And back: the damaged card is marked in full again.
        list->setDirectoryPath(damaged.path().toStdString());
        list->waitUntilIdle();
        model.reload();
        QVERIFY(checked.wait(10000));
        for (int row = 0; row < model.rowCount(); ++row)
            QCOMPARE(model.problem(row), TMKMediaProblem::CutShort);

        // A model that goes while its check still runs: nothing is
        // delivered to it.
        auto gone = std::make_unique<TMKMediaListModel>(list.get());
        QVERIFY(gone->isChecking());
        gone.reset();
        QTest::qWait(100); // a result posted to it would be delivered here
    }
};

QTEST_MAIN(TMKMediaListHealthTest)
#include "TMKMediaListHealthTest.moc"
