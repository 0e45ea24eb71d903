// The sound output: chosen once before libVLC starts, silent when the
// default device cannot be opened; libVLC's own log through the app's log.

#include "TMKFileText.h"
#include "viewer/player/TMKSoundOutput.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <optional>

#include <sys/stat.h>

namespace {

struct Run {
    QByteArray out;
    QList<QByteArray> errLines;
    int exitCode = -1;
};

// How many lines contain `needle`.
qsizetype containing(const QList<QByteArray>& lines, const char* needle)
{
    return std::count_if(lines.begin(), lines.end(), [needle](const QByteArray& line) { return line.contains(needle); });
}

} // namespace

class TMKSoundOutputTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_clip;
    QString m_nullConfig;  // an ALSA whose default device is the null sink
    QString m_emptyConfig; // an ALSA without any device, as on a server
    QString m_runtimeDir;  // no sound server listens here

    Run runHelper(const QStringList& args, const QString& alsaConfig)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("TAMEK_AUDIO_OUTPUT"));
        env.remove(QStringLiteral("PULSE_SERVER"));
        env.insert(QStringLiteral("ALSA_CONFIG_PATH"), alsaConfig);
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtimeDir);
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        QProcess process;
        process.setProcessEnvironment(env);
        process.start(QStringLiteral(TAMEK_SOUND_HELPER), args);
        Run run;
        if (!process.waitForFinished(60000)) {
            process.kill();
            process.waitForFinished();
            return run;
        }
        run.exitCode = process.exitCode();
        run.out = process.readAllStandardOutput();
        run.errLines = process.readAllStandardError().split('\n');
        run.errLines.removeAll(QByteArray());
        return run;
    }

    static QByteArray value(const Run& run, const QByteArray& key)
    {
        for (const QByteArray& line : run.out.split('\n')) {
            if (line.startsWith(key + '='))
                return line.mid(key.size() + 1);
        }
        return "<missing>";
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        if (QStandardPaths::findExecutable(QStringLiteral("ffmpeg")).isEmpty())
            QSKIP("ffmpeg is needed to make the test recording");
        m_clip = m_dir.filePath(QStringLiteral("clip.avi"));
        // A sound track, so that the player really opens a sound output.
        QCOMPARE(QProcess::execute(QStringLiteral("ffmpeg"),
                                   QStringList{"-loglevel", "error", "-y", "-f", "lavfi", "-i",
                                               "testsrc=size=160x90:rate=10", "-f", "lavfi", "-i", "sine", "-t", "4",
                                               "-c:v", "mjpeg", "-c:a", "pcm_s16le", m_clip}),
                 0);
        m_nullConfig = m_dir.filePath(QStringLiteral("null.conf"));
        QVERIFY(TMKWriteFileBytes(m_nullConfig, "pcm.!default { type null }\nctl.!default { type hw card 0 }\n"));
        m_emptyConfig = m_dir.filePath(QStringLiteral("empty.conf"));
        QVERIFY(TMKWriteFileBytes(m_emptyConfig, ""));
        m_runtimeDir = m_dir.path(); // made for the owner alone
    }

    // An output the user named is used as it stands, the device unasked;
    // else the default is kept when it opens, the silent output when not.
    void choice()
    {
        const struct {
            QByteArray named;
            std::optional<bool> opens; // unset: no probe at all
            QByteArray module;
            int asked;
        } cases[] = {
            {"pulse", false, "pulse", 0},
            {{}, true, {}, 1},
            {{}, false, kTMKSilentSoundOutput, 1},
            {{}, std::nullopt, kTMKSilentSoundOutput, 0},
        };
        for (const auto& c : cases) {
            int asked = 0;
            std::function<bool()> probe;
            if (c.opens)
                probe = [&asked, opens = *c.opens] { ++asked; return opens; };
            const TMKSoundOutputChoice chosen = TMKChooseSoundOutput(c.named, probe);
            QCOMPARE(chosen.module, c.module);
            QCOMPARE(chosen.fellBack, c.module == kTMKSilentSoundOutput);
            QCOMPARE(asked, c.asked);
        }
    }

    void soundServerSocket()
    {
        QTemporaryDir runtime;
        QVERIFY(!TMKPulseServerListens(QString()));
        QVERIFY(!TMKPulseServerListens(runtime.path())); // no pulse/ at all
        QVERIFY(QDir(runtime.path()).mkdir(QStringLiteral("pulse")));
        const QString socketPath = runtime.filePath(QStringLiteral("pulse/native"));

        {
            QLocalServer server;
            server.setSocketOptions(QLocalServer::UserAccessOption);
            QVERIFY(server.listen(socketPath));
            QVERIFY(TMKPulseServerListens(runtime.path()));

            // Reached through a symbolic link to the folder, as well.
            const QString linked = runtime.filePath(QStringLiteral("linked"));
            QVERIFY(QDir().mkpath(linked));
            QVERIFY(QFile::link(runtime.filePath(QStringLiteral("pulse")), linked + QStringLiteral("/pulse")));
            QVERIFY(TMKPulseServerListens(linked));
            server.close();
        }
        // A socket file left behind by a server that is gone.
        if (QFileInfo::exists(socketPath))
            QVERIFY(!TMKPulseServerListens(runtime.path()));
        QFile::remove(socketPath);

        // A FIFO in its place must neither be taken for a server nor block.
        QVERIFY(::mkfifo(QFile::encodeName(socketPath).constData(), 0600) == 0);
        QElapsedTimer timer;
        timer.start();
        QVERIFY(!TMKPulseServerListens(runtime.path()));
        QVERIFY(timer.elapsed() < 1000);
        QFile::remove(socketPath);

        QVERIFY(TMKWriteFileBytes(socketPath, "not a socket"));
        QVERIFY(!TMKPulseServerListens(runtime.path()));

        // A path too long for a socket address is refused, not cut short.
        QVERIFY(!TMKPulseServerListens(runtime.path() + QStringLiteral("/") + QString(200, QLatin1Char('x'))));
    }

    // The device "exists" for ALSA under the null configuration, and only
    // an injected probe fails there; the empty one has no device at all.
    // The default forced where no device is makes libVLC fail to open it
    // over and over, well over a thousand messages.
    void playsWithTheOutputThatOpens()
    {
        const QByteArray silent(kTMKSilentSoundOutput);
        const struct {
            const char* probe;
            bool deviceExists;
            QByteArray output;
            bool flood;
        } cases[] = {
            {"fail", true, silent, false}, // an injected failure
            {"real", false, silent, false}, // no device
            {"real", true, {}, false}, // a working device is kept
            {"default", false, {}, true}, // the default forced where there is no device
        };
        for (const auto& [probe, deviceExists, output, flood] : cases) {
            const Run run = runHelper({QStringLiteral("play"), QLatin1String(probe), m_clip,
                                       QLatin1String(flood ? "2000" : "300")},
                                      deviceExists ? m_nullConfig : m_emptyConfig);
            QCOMPARE(run.exitCode, 0);
            QCOMPARE(value(run, "output"), output);
            QCOMPARE(value(run, "played"), QByteArray("1"));
            QCOMPARE(value(run, "frames"), QByteArray("1"));
            // The fallback is said once; beside the app's own log (hidden in a
            // normal run) nothing reaches the terminal: no ALSA lines, no
            // libVLC lines. libVLC's log is relayed at info level; in a flood,
            // where the ALSA library itself prints, repeats are counted rather
            // than relayed each time.
            QList<QByteArray> printed;
            QList<QByteArray> relayed;
            for (const QByteArray& line : run.errLines) {
                QVERIFY2(!line.startsWith("[0"), line.constData());
                if (line.startsWith("APPLOG tamek.vlc "))
                    relayed.push_back(line);
                else if (!line.startsWith("APPLOG "))
                    printed.push_back(line);
            }
            for (const QByteArray& line : relayed)
                QVERIFY2(line.contains(" info "), line.constData());
            if (!flood) {
                QCOMPARE(printed, output.isEmpty() ? QList<QByteArray>()
                                                   : QList<QByteArray>{"tamek: the default sound output cannot be "
                                                                       "opened; playing without sound"});
                continue;
            }
            QVERIFY2(containing(relayed, "APPLOG tamek.vlc info alsa:") >= 1, run.errLines.join('\n').left(2000));
            QVERIFY2(containing(relayed, " times)") >= 1, relayed.join('\n').constData());
            QVERIFY2(relayed.size() < 60, QByteArray::number(relayed.size()).constData());
        }
    }
};

QTEST_GUILESS_MAIN(TMKSoundOutputTest)
#include "TMKSoundOutputTest.moc"
