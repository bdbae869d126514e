#include "fakes/testenvironment.h"
#include "model/persistencestore.h"
#include "model/statecodec.h"

#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryFile>
#include <QTest>

#include <cstdio>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace kelvo;

Q_DECLARE_METATYPE(kelvo::StoredState)
Q_DECLARE_METATYPE(std::optional<QString>)

namespace {

// Sends everything written to standard error into a file until finish().
class StderrCapture final {
public:
    StderrCapture()
    {
        m_file.open();
        std::fflush(stderr);
        m_saved = ::dup(STDERR_FILENO);
        ::dup2(m_file.handle(), STDERR_FILENO);
    }
    ~StderrCapture() { finish(); }

    QByteArray finish()
    {
        if (m_saved >= 0) {
            std::fflush(stderr);
            ::dup2(m_saved, STDERR_FILENO);
            ::close(m_saved);
            m_saved = -1;
        }
        m_file.seek(0);
        return m_file.readAll();
    }

private:
    QTemporaryFile m_file;
    int m_saved = -1;
};

StoredState stateNamed(const char* name)
{
    StoredState state;
    state.mutedReminderDayKey = QString::fromLatin1(name);
    return state;
}

QByteArray contents(const QString& fileName)
{
    QFile file(fileName);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

void writeFile(const QString& fileName, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(fileName).path());
    QFile file(fileName);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

mode_t modeOf(const QString& path)
{
    struct stat info {};
    ::stat(QFile::encodeName(path).constData(), &info);
    return info.st_mode & 07777;
}

// The files in `folder` whose names mark them as kept-aside unreadable state files.
QStringList keptFiles(const QString& folder)
{
    return QDir(folder).entryList({QStringLiteral("state.json.unreadable-*")},
                                  QDir::AllEntries | QDir::Hidden, QDir::Name);
}

// Makes `folder` refuse every change, root included; false when this system cannot.
bool lockFolder(const QString& folder, bool locked)
{
    if (::geteuid() != 0)
        return ::chmod(QFile::encodeName(folder).constData(), locked ? 0500 : 0700) == 0;
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY);
    int flags = 0;
    bool done = fd >= 0 && ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    flags = locked ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
    done = done && ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    if (fd >= 0)
        ::close(fd);
    return done;
}

} // namespace

class PersistenceStoreTest final : public QObject {
    Q_OBJECT

private slots:
    void defaultLocations_data()
    {
        QTest::addColumn<QString>("kelvo"); // null: not set
        QTest::addColumn<QString>("quorrin");
        QTest::addColumn<QString>("data");
        QTest::addColumn<QString>("file");
        QTest::addColumn<std::optional<QString>>("legacy");
        const QString unset;
        const std::optional<QString> none;
        QTest::newRow("KELVO_STORE_DIR") << "/k" << unset << "/d"
                                         << "/k/state.json" << none;
        QTest::newRow("QUORRIN_STORE_DIR") << unset << "/q/"
                                           << "/d"
                                           << "/q/state.json" << none;
        QTest::newRow("both: KELVO_STORE_DIR wins") << "/k"
                                                    << "/q"
                                                    << "/d"
                                                    << "/k/state.json" << none;
        QTest::newRow("empty counts as set") << ""
                                             << "/q"
                                             << "/d"
                                             << "./state.json" << none;
        QTest::newRow("taken verbatim") << "~/s" << unset << "/d"
                                        << "~/s/state.json" << none;
        QTest::newRow("data folder")
            << unset << unset << "/d"
            << "/d/Kelvo/state.json" << std::optional(QStringLiteral("/d/Quorrinell/state.json"));
        QTest::newRow("no data folder")
            << unset << unset << ""
            << "/t/Kelvo/state.json" << std::optional(QStringLiteral("/t/Quorrinell/state.json"));
    }

    void defaultLocations()
    {
        QFETCH(QString, kelvo);
        QFETCH(QString, quorrin);
        QFETCH(QString, data);
        QHash<QString, QString> environment{{QStringLiteral("HOME"), QStringLiteral("/h")}};
        if (!kelvo.isNull())
            environment.insert(QStringLiteral("KELVO_STORE_DIR"), kelvo);
        if (!quorrin.isNull())
            environment.insert(QStringLiteral("QUORRIN_STORE_DIR"), quorrin);
        const StoreLocations found =
            PersistenceStore::defaultLocations(environment, data, QStringLiteral("/t"));
        QTEST(found.fileName, "file");
        QTEST(found.legacyFileName, "legacy");
    }

    void saveCreatesPrivateFoldersWhereTheEnvironmentSays_data()
    {
        QTest::addColumn<QString>("kelvo"); // relative to the test's root; null: not set
        QTest::addColumn<QString>("quorrin");
        QTest::addColumn<QStringList>("created"); // the folders the save must create, in order
        QTest::newRow("KELVO_STORE_DIR, nested") << "a/b/c"
                                                 << "q" << QStringList{"a", "a/b", "a/b/c"};
        QTest::newRow("QUORRIN_STORE_DIR") << QString() << "q" << QStringList{"q"};
        QTest::newRow("XDG data folder")
            << QString() << QString() << QStringList{"xdg_data_home/Kelvo"};
    }

    void saveCreatesPrivateFoldersWhereTheEnvironmentSays()
    {
        QFETCH(QString, kelvo);
        QFETCH(QString, quorrin);
        QFETCH(QStringList, created);
        TestEnvironment environment;
        const QDir root(environment.root());
        for (const auto& [name, value] :
             {std::pair("KELVO_STORE_DIR", kelvo), {"QUORRIN_STORE_DIR", quorrin}}) {
            if (value.isNull())
                qunsetenv(name);
            else
                qputenv(name, root.filePath(value).toUtf8());
        }
        StderrCapture errors;
        PersistenceStore().save(stateNamed("saved"));
        QCOMPARE(errors.finish(), QByteArray());
        for (const QString& folder : created)
            QCOMPARE(modeOf(root.filePath(folder)), mode_t(0700));
        const QString file = root.filePath(created.last() + QStringLiteral("/state.json"));
        QCOMPARE(modeOf(file), mode_t(0600));
        QCOMPARE(StateCodec::decode(contents(file)), stateNamed("saved"));
        QCOMPARE(PersistenceStore().load(), stateNamed("saved"));
    }

    void loadFallsBackSilently_data()
    {
        QTest::addColumn<QByteArray>("current"); // null: no file
        QTest::addColumn<QByteArray>("legacy");
        QTest::addColumn<StoredState>("expected");
        const QByteArray a = StateCodec::encode(stateNamed("a"));
        const QByteArray b = StateCodec::encode(stateNamed("b"));
        const QByteArray none;
        QTest::newRow("current") << a << none << stateNamed("a");
        QTest::newRow("current before legacy") << a << b << stateNamed("a");
        QTest::newRow("legacy") << none << b << stateNamed("b");
        QTest::newRow("invalid current, legacy") << QByteArray("{") << b << stateNamed("b");
        QTest::newRow("both invalid")
            << QByteArray("{\"sessions\": []}") << QByteArray("[]") << StoredState{};
        QTest::newRow("neither") << none << none << StoredState{};
    }

    void loadFallsBackSilently()
    {
        QFETCH(QByteArray, current);
        QFETCH(QByteArray, legacy);
        TestEnvironment environment;
        qunsetenv("KELVO_STORE_DIR");
        const QString data = environment.root() + QStringLiteral("/xdg_data_home/");
        if (!current.isNull())
            writeFile(data + QStringLiteral("Kelvo/state.json"), current);
        if (!legacy.isNull())
            writeFile(data + QStringLiteral("Quorrinell/state.json"), legacy);
        StderrCapture errors;
        QTEST(PersistenceStore().load(), "expected");
        QCOMPARE(errors.finish(), QByteArray());
        const QByteArray missing("<missing>");
        QCOMPARE(contents(data + QStringLiteral("Kelvo/state.json")),
                 current.isNull() ? missing : current);
        QCOMPARE(contents(data + QStringLiteral("Quorrinell/state.json")),
                 legacy.isNull() ? missing : legacy);
    }

    void firstSaveMovesLegacyContentForwardAndKeepsTheLegacyFile()
    {
        TestEnvironment environment;
        qunsetenv("KELVO_STORE_DIR");
        const QString data = environment.root() + QStringLiteral("/xdg_data_home/");
        const QByteArray legacy = StateCodec::encode(stateNamed("legacy"));
        writeFile(data + QStringLiteral("Quorrinell/state.json"), legacy);
        PersistenceStore store;
        StoredState state = store.load();
        QCOMPARE(state, stateNamed("legacy"));
        state.lastDailySummaryDayKey = QStringLiteral("2026-03-07");
        store.save(state);
        QCOMPARE(PersistenceStore().load(), state);
        QCOMPARE(contents(data + QStringLiteral("Quorrinell/state.json")), legacy);
    }

    void failedSaveWritesOneLine_data()
    {
        QTest::addColumn<QString>(
            "storeDir"); // relative to the test's root, where "file" is a file
        QTest::addColumn<bool>("unwritableTime");
        QTest::newRow("plain file at the folder's path") << "file" << false;
        QTest::newRow("plain file above the folder") << "file/sub" << false;
        QTest::newRow("time past year 9999") << "store" << true;
    }

    void failedSaveWritesOneLine()
    {
        QFETCH(QString, storeDir);
        QFETCH(bool, unwritableTime);
        TestEnvironment environment;
        const QString file = environment.root() + QStringLiteral("/file");
        writeFile(file, "mine");
        StoredState state = stateNamed("lost");
        if (unwritableTime)
            state.sessions.append({QUuid::createUuid(),
                                   {},
                                   "Claude",
                                   {},
                                   {},
                                   {},
                                   {},
                                   {},
                                   QDateTime(QDate(10000, 1, 1), QTime(0, 0), Qt::UTC),
                                   {},
                                   {}});
        StderrCapture errors;
        PersistenceStore(environment.root() + u'/' + storeDir).save(state);
        const QByteArray output = errors.finish();
        QVERIFY2(output.startsWith("Failed to save state: "), output.constData());
        QCOMPARE(output.count('\n'), 1);
        QVERIFY(output.endsWith('\n'));
        QCOMPARE(contents(file), QByteArray("mine"));
    }

    void unreadableFileIsKeptAside_data()
    {
        QTest::addColumn<QByteArray>("content"); // null: a folder stands at state.json
        QTest::addColumn<bool>("loadFirst");
        QTest::newRow("not JSON, loaded first") << QByteArray("{\"sessions\": [") << true;
        QTest::newRow("not JSON, never loaded") << QByteArray("\xFF\xFE garbage") << false;
        QTest::newRow("wrong record, loaded first") << QByteArray(R"({"sessions": []})") << true;
        QTest::newRow("a folder, never loaded") << QByteArray() << false;
    }

    void unreadableFileIsKeptAside()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, loadFirst);
        TestEnvironment environment;
        const QString dir = environment.storeDir();
        const QString file = dir + QStringLiteral("/state.json");
        writeFile(content.isNull() ? file + QStringLiteral("/inner") : file, "unreadable");
        if (!content.isNull())
            writeFile(file, content);
        PersistenceStore store;
        StderrCapture errors;
        if (loadFirst)
            QCOMPARE(store.load(), StoredState{});
        store.save(stateNamed("new"));
        const QStringList kept = keptFiles(dir);
        QCOMPARE(kept.size(), 1);
        QVERIFY(QRegularExpression(QStringLiteral("^state\\.json\\.unreadable-\\d{8}T\\d{6}Z$"))
                    .match(kept.first())
                    .hasMatch());
        const QString keptPath = dir + u'/' + kept.first();
        QCOMPARE(errors.finish(), "Unreadable state file kept as " + keptPath.toUtf8() + '\n');
        QCOMPARE(contents(content.isNull() ? keptPath + QStringLiteral("/inner") : keptPath),
                 content.isNull() ? QByteArray("unreadable") : content);
        QCOMPARE(store.load(), stateNamed("new"));
        QCOMPARE(modeOf(file), mode_t(0600));

        StderrCapture again;
        store.save(stateNamed("newer"));
        QCOMPARE(again.finish(), QByteArray());
        QCOMPARE(keptFiles(dir), kept);
        QCOMPARE(PersistenceStore().load(), stateNamed("newer"));
    }

    void keptFileNeverReplacesAnEarlierOne()
    {
        TestEnvironment environment;
        const QString dir = environment.storeDir();
        const QDateTime now = QDateTime::currentDateTimeUtc();
        QStringList earlier;
        for (int second = -2; second <= 5; ++second) {
            earlier << QStringLiteral("state.json.unreadable-") +
                           now.addSecs(second).toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'"));
            writeFile(dir + u'/' + earlier.last(), "earlier");
        }
        writeFile(dir + QStringLiteral("/state.json"), "not a state");
        StderrCapture errors;
        PersistenceStore().save(stateNamed("new"));
        const QStringList kept = keptFiles(dir);
        QCOMPARE(kept.size(), earlier.size() + 1);
        for (const QString& name : earlier)
            QCOMPARE(contents(dir + u'/' + name), QByteArray("earlier"));
        const QString added = QSet<QString>(kept.begin(), kept.end())
                                  .subtract(QSet<QString>(earlier.begin(), earlier.end()))
                                  .values()
                                  .value(0);
        QVERIFY2(added.endsWith(QStringLiteral("Z-1")), qPrintable(added));
        QCOMPARE(contents(dir + u'/' + added), QByteArray("not a state"));
        QCOMPARE(errors.finish(),
                 "Unreadable state file kept as " + (dir + u'/' + added).toUtf8() + '\n');
    }

    void fileThatCannotBeKeptAsideIsNotReplaced()
    {
        TestEnvironment environment;
        const QString dir = environment.storeDir();
        writeFile(dir + QStringLiteral("/state.json"), "not a state");
        if (!lockFolder(dir, true))
            QSKIP("this system cannot make a folder unchangeable");
        auto unlock = qScopeGuard([&] { lockFolder(dir, false); });
        PersistenceStore store;
        StderrCapture errors;
        store.save(stateNamed("new"));
        const QByteArray output = errors.finish();
        QVERIFY2(output.startsWith("Failed to save state: "), output.constData());
        QCOMPARE(output.count('\n'), 1);
        QCOMPARE(contents(dir + QStringLiteral("/state.json")), QByteArray("not a state"));
        QVERIFY(keptFiles(dir).isEmpty());
        lockFolder(dir, false);
        StderrCapture afterwards;
        store.save(stateNamed("new"));
        QVERIFY(afterwards.finish().startsWith("Unreadable state file kept as "));
        QCOMPARE(keptFiles(dir).size(), 1);
        QCOMPARE(store.load(), stateNamed("new"));
    }
};

QTEST_GUILESS_MAIN(PersistenceStoreTest)
#include "test_persistencestore.moc"
