#include "fakes/testenvironment.h"
#include "model/persistencestore.h"
#include "model/statecodec.h"
#include "support/stderrcapture.h"

#include <QRegularExpression>
#include <QScopeGuard>
#include <QTest>

#include <algorithm>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace kelvo;

Q_DECLARE_METATYPE(kelvo::StoredState)

namespace {

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
    // What the folder test below cannot set up: an empty or unexpanded variable, no data folder.
    void defaultLocationsTakeTheEnvironmentVerbatim()
    {
        const auto locate = [](const QHash<QString, QString>& environment, const QString& data) {
            return PersistenceStore::defaultLocations(environment, data, QStringLiteral("/t"));
        };
        QCOMPARE(locate({{"KELVO_STORE_DIR", ""}, {"QUORRIN_STORE_DIR", "/q"}}, "/d"),
                 (StoreLocations{"./state.json", std::nullopt}));
        QCOMPARE(locate({{"KELVO_STORE_DIR", "~/s"}}, "/d"),
                 (StoreLocations{"~/s/state.json", std::nullopt}));
        QCOMPARE(locate({}, ""),
                 (StoreLocations{"/t/Kelvo/state.json", "/t/Quorrinell/state.json"}));
    }

    void saveCreatesPrivateFoldersWhereTheEnvironmentSays_data()
    {
        QTest::addColumn<QString>("kelvo"); // relative to the test's root; null: not set
        QTest::addColumn<QString>("quorrin");
        QTest::addColumn<QStringList>("created"); // the folders the save must create, in order
        QTest::newRow("KELVO_STORE_DIR before QUORRIN_STORE_DIR")
            << "a/b/c"
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
        if (kelvo.isNull())
            qunsetenv("KELVO_STORE_DIR");
        else
            qputenv("KELVO_STORE_DIR", root.filePath(kelvo).toUtf8());
        if (!quorrin.isNull())
            qputenv("QUORRIN_STORE_DIR", root.filePath(quorrin).toUtf8());
        StderrCapture errors;
        PersistenceStore().save(stateNamed("saved"));
        QCOMPARE(errors.finish(), QByteArray());
        for (const QString& folder : created)
            QCOMPARE(modeOf(root.filePath(folder)), mode_t(0700));
        const QString file = root.filePath(created.last() + QStringLiteral("/state.json"));
        QCOMPARE(modeOf(file), mode_t(0600));
        QCOMPARE(PersistenceStore().load(), stateNamed("saved"));
    }

    void loadFallsBackSilently_data()
    {
        QTest::addColumn<QByteArray>("current"); // null: no file
        QTest::addColumn<QByteArray>("legacy");
        QTest::addColumn<StoredState>("expected");
        const QByteArray a = StateCodec::encode(stateNamed("a"));
        const QByteArray b = StateCodec::encode(stateNamed("b"));
        QTest::newRow("current before legacy") << a << b << stateNamed("a");
        QTest::newRow("legacy") << QByteArray() << b << stateNamed("b");
        QTest::newRow("invalid current, legacy") << QByteArray("{") << b << stateNamed("b");
        QTest::newRow("both invalid")
            << QByteArray("{\"sessions\": []}") << QByteArray("[]") << StoredState{};
        QTest::newRow("neither") << QByteArray() << QByteArray() << StoredState{};
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
        PersistenceStore store;
        StderrCapture errors;
        QTEST(store.load(), "expected");
        QCOMPARE(errors.finish(), QByteArray());
        QCOMPARE(contents(data + QStringLiteral("Kelvo/state.json")),
                 current.isNull() ? "<missing>" : current);
        // Saving writes only the current file, even where the legacy one was read.
        StderrCapture keptAside;
        store.save(stateNamed("saved"));
        QCOMPARE(PersistenceStore().load(), stateNamed("saved"));
        QCOMPARE(contents(data + QStringLiteral("Quorrinell/state.json")),
                 legacy.isNull() ? "<missing>" : legacy);
    }

    void failedSaveWritesOneLine_data()
    {
        QTest::addColumn<QString>("storeDir"); // relative to the test's root; "file" is a file
        QTest::addColumn<bool>("unwritable");  // a session without times, which has no text form
        QTest::addColumn<bool>("locked"); // an unreadable state file in a folder refusing changes
        QTest::newRow("plain file at the folder's path") << "file" << false << false;
        QTest::newRow("plain file above the folder") << "file/sub" << false << false;
        QTest::newRow("state without a text form") << "store" << true << false;
        QTest::newRow("unreadable file that cannot be kept aside") << "store" << false << true;
    }

    void failedSaveWritesOneLine()
    {
        QFETCH(QString, storeDir);
        QFETCH(bool, unwritable);
        QFETCH(bool, locked);
        TestEnvironment environment;
        const QString dir = environment.root() + u'/' + storeDir;
        const QString mine = locked ? dir + QStringLiteral("/state.json")
                                    : environment.root() + QStringLiteral("/file");
        writeFile(mine, "mine");
        if (locked && !lockFolder(dir, true))
            QSKIP("this system cannot make a folder unchangeable");
        auto unlock = qScopeGuard([&] {
            if (locked)
                lockFolder(dir, false);
        });
        StoredState state = stateNamed("lost");
        if (unwritable)
            state.sessions.append(AiUsageSession{});
        PersistenceStore store(dir);
        StderrCapture errors;
        store.save(state);
        const QByteArray output = errors.finish();
        QVERIFY2(output.startsWith("Failed to save state: "), output.constData());
        QCOMPARE(output.count('\n'), 1);
        QVERIFY(output.endsWith('\n'));
        QCOMPARE(contents(mine), QByteArray("mine"));
        QVERIFY(keptFiles(dir).isEmpty());
        if (locked) { // once the folder allows it, the file is still kept aside, not replaced
            lockFolder(dir, false);
            StderrCapture afterwards;
            store.save(state);
            QVERIFY(afterwards.finish().startsWith("Unreadable state file kept as "));
        }
    }

    void unreadableFileIsKeptAside_data()
    {
        QTest::addColumn<QByteArray>("content"); // null: a folder stands at state.json
        QTest::addColumn<bool>("loadFirst");
        QTest::newRow("not a state, loaded first") << QByteArray("{\"sessions\": [") << true;
        QTest::newRow("not a state, never loaded") << QByteArray("\xFF\xFE garbage") << false;
        QTest::newRow("a folder, never loaded") << QByteArray() << false;
    }

    void unreadableFileIsKeptAside()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, loadFirst);
        TestEnvironment environment;
        const QString dir = environment.storeDir();
        const QString file = dir + QStringLiteral("/state.json");
        writeFile(content.isNull() ? file + QStringLiteral("/inner") : file,
                  content.isNull() ? "unreadable" : content);
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
        for (int second = -2; second <= 5; ++second) {
            const QString stamp = now.addSecs(second).toString(u"yyyyMMdd'T'HHmmss'Z'");
            writeFile(dir + QStringLiteral("/state.json.unreadable-") + stamp, "earlier");
        }
        writeFile(dir + QStringLiteral("/state.json"), "not a state");
        StderrCapture errors;
        PersistenceStore().save(stateNamed("new"));
        QByteArrayList found;
        for (const QString& name : keptFiles(dir))
            found << contents(dir + u'/' + name);
        std::sort(found.begin(), found.end());
        QCOMPARE(found, QByteArrayList(8, "earlier") << "not a state");
    }
};

QTEST_GUILESS_MAIN(PersistenceStoreTest)
#include "test_persistencestore.moc"
