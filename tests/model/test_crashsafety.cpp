#include "crash/crashstates.h"
#include "fakes/testenvironment.h"
#include "model/persistencestore.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>
#include <QThread>

using namespace kelvo;
using namespace Qt::StringLiterals;

// Kills a program that saves large states in a loop at random moments, again and again, and
// checks after every kill that state.json is whole: exactly one of the states that were saved.
class CrashSafetyTest final : public QObject {
    Q_OBJECT

private slots:
    void stateFileSurvivesKillsAtRandomMoments()
    {
        constexpr int runs = 250;
        TestEnvironment environment;
        const QString dir = environment.storeDir();
        // How long one save takes here (slower under sanitizers), to spread the kills over
        // several saves.
        QElapsedTimer timer;
        timer.start();
        PersistenceStore(dir).save(crashTestState(0));
        const qint64 window = std::max<qint64>(4 * timer.nsecsElapsed() / 1000, 20'000);
        const quint32 seed = QRandomGenerator::global()->generate();
        qInfo("seed %u, kills spread over %lld us after start-up", seed, window);
        QRandomGenerator random(seed);

        quint64 last = 0;
        int advanced = 0;
        for (int run = 1; run <= runs; ++run) {
            const quint64 first = quint64(run) * 1'000'000;
            QProcess saver;
            saver.start(QStringLiteral(KELVO_CRASHSAVER), {dir, QString::number(first)});
            QVERIFY(saver.waitForReadyRead(30'000));
            QThread::usleep(random.bounded(quint64(window)));
            saver.kill();
            QVERIFY(saver.waitForFinished(30'000));
            QCOMPARE(saver.exitStatus(), QProcess::CrashExit);
            QCOMPARE(saver.readAllStandardError(), QByteArray());

            // An unreadable file loads as the defaults, which are no crash-test state.
            const StoredState state = PersistenceStore(dir).load();
            const quint64 k = state.mutedReminderDayKey.value_or(QString()).toULongLong();
            QVERIFY2((k == last || (k >= first && k < first + 1'000'000)) &&
                         state == crashTestState(k),
                     qPrintable(u"state %1 after kill %2"_s.arg(k).arg(run)));
            advanced += k != last ? 1 : 0;
            last = k;
        }
        QVERIFY2(advanced >= runs / 10, qPrintable(QString::number(advanced)));
        QVERIFY(QDir(dir).entryList({QStringLiteral("*.unreadable-*")}).isEmpty());
    }

    // A power cut can undo a rename that is not on disk yet: after each link or rename that puts
    // state.json in place, the folder itself is flushed before anything else is saved.
    void folderIsFlushedAfterEachSave()
    {
        const QString strace = QStandardPaths::findExecutable(QStringLiteral("strace"));
        if (strace.isEmpty())
            QFAIL("strace is missing; scripts/setup installs it");
        TestEnvironment environment;
        const QString dir = environment.storeDir();
        const QString log = environment.root() + QStringLiteral("/strace.log");
        QProcess traced;
        QProcessEnvironment variables = QProcessEnvironment::systemEnvironment();
        // LeakSanitizer cannot run under strace.
        variables.insert(u"ASAN_OPTIONS"_s,
                         variables.value(u"ASAN_OPTIONS"_s) + u":detect_leaks=0"_s);
        traced.setProcessEnvironment(variables);
        traced.start(strace, {u"-f"_s, u"-y"_s, u"-o"_s, log, u"-e"_s,
                              u"trace=rename,renameat,renameat2,linkat,fsync"_s,
                              QStringLiteral(KELVO_CRASHSAVER), dir, u"1"_s, u"3"_s});
        QVERIFY(traced.waitForFinished(60'000));
        const QByteArray errors = traced.readAllStandardError();
        if (traced.exitCode() != 0 && errors.startsWith("strace: ") &&
            errors.contains("Operation not permitted"))
            QSKIP(qPrintable(QStringLiteral("strace cannot trace here: ") + errors));
        QCOMPARE(traced.exitCode(), 0);

        const QString folder = QRegularExpression::escape(QFileInfo(dir).canonicalFilePath());
        const QRegularExpression placed(
            u"(rename|linkat)\\(.*\"%1/state\\.json\"(, \\w+)?\\) += 0$"_s.arg(folder));
        const QRegularExpression flushed(QStringLiteral("fsync\\(\\d+<%1>\\) += 0$").arg(folder));
        QFile trace(log);
        QVERIFY(trace.open(QIODevice::ReadOnly));
        QString events; // P: state.json put in place, F: its folder flushed
        for (const QString& line : QString::fromUtf8(trace.readAll()).split(u'\n'))
            events += placed.match(line).hasMatch()    ? u"P"
                      : flushed.match(line).hasMatch() ? u"F"
                                                       : u"";
        QVERIFY2(QRegularExpression(QStringLiteral("^F*(PF+){3}$")).match(events).hasMatch(),
                 qPrintable(events));
    }
};

QTEST_GUILESS_MAIN(CrashSafetyTest)
#include "test_crashsafety.moc"
