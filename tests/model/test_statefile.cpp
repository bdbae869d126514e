#include "fakes/testenvironment.h"
#include "model/persistencestore.h"
#include "model/privatefiles.h"
#include "model/statecodec.h"
#include "support/stderrcapture.h"

#include <QRegularExpression>
#include <QScopeGuard>
#include <QTest>

#include <algorithm>
#include <limits>

#include <fcntl.h>
#include <linux/capability.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

using namespace kelvo;

Q_DECLARE_METATYPE(kelvo::StoredState)

namespace {

QDateTime utc(const char* text)
{
    return QDateTime::fromString(QString::fromLatin1(text), Qt::ISODateWithMs);
}

QUuid uuid(int n)
{
    return QUuid(uint(0x3F2504E0 + n), 0x4F89, 0x11D3, 0x9A, 0x0C, 0x03, 0x05, 0xE8, 0x2C, 0x33, 1);
}

// What sessionDocument() below reads as when no member is changed.
StoredState sessionState()
{
    AiUsageSession session;
    session.id = uuid(0);
    session.appName = QStringLiteral("Claude");
    session.startedAt = utc("2026-03-07T12:00:05Z");
    session.endedAt = utc("2026-03-07T12:30:00Z");
    StoredState state;
    state.sessions = {session};
    return state;
}

// Every setting away from its default, every stored text of every enumeration but two appearance
// modes, Chinese texts, and each optional field both present and absent; no list is empty. Its
// written form is fuzz/corpus/state/full.json.
StoredState fullState()
{
    StoredState state;
    const QList<MonitoredAppRule> apps{
        {uuid(1), QStringLiteral("通义千问"), AppMatchStrategy::bundleIdentifier, "qwen"},
        {uuid(7), QStringLiteral("Kimi"), AppMatchStrategy::localizedNameContains, "Kimi"}};
    const QList<BrowserDomainRule> webRules{{"kimi.com", QStringLiteral("Kimi 网页"), "moon"}};
    // In declaration order, each the opposite of or different from its default.
    state.settings = {apps, webRules, false, false, 7,
                      30,   true,     23,    15,    6,
                      45,   false,    false, true,  AppearanceMode::light};
    const AiUsageSession web{uuid(2),
                             uuid(3),
                             QStringLiteral("ChatGPT 网页"),
                             "google-chrome",
                             SessionSourceType::browserDomain,
                             "google-chrome::chatgpt.com",
                             "chatgpt.com",
                             "Chrome",
                             utc("2026-03-07T12:00:05Z"),
                             utc("2026-03-07T12:30:00Z"),
                             utc("2026-03-07T12:00:06Z")};
    state.sessions = {web, sessionState().sessions.first()};
    using K = ReminderKind;
    using A = ReminderAction;
    const QDateTime shown = utc("2026-03-07T12:00:06Z");
    state.reminderEvents = {
        {uuid(5), uuid(2), K::sessionStart, shown, A::snoozed},
        {uuid(8), uuid(2), K::sessionFollowUp, shown, A::acknowledged},
        {uuid(9), uuid(2), K::sessionStart, shown, A::muteToday},
        {uuid(10), uuid(2), K::sessionFollowUp, shown, A::dismissed},
        {uuid(6), std::nullopt, K::dailySummary, utc("2026-03-07T20:00:00Z"), A::shown}};
    state.lastDailySummaryDayKey = "2026-03-07";
    state.mutedReminderDayKey = "2026-03-08";
    return state;
}

QByteArray document(const QByteArray& settings, const QByteArray& sessions = "[]",
                    const QByteArray& events = "[]")
{
    return "{\"reminderEvents\": " + events + ", \"sessions\": " + sessions +
           ", \"settings\": " + settings + "}";
}

QByteArray settingDocument(const QByteArray& key, const QByteArray& value)
{
    return document("{\"" + key + "\": " + value + '}');
}

// A document with one session whose member `key` is given `value`: the parser keeps the last
// of repeated keys.
QByteArray sessionDocument(const QByteArray& key, const QByteArray& value)
{
    return document("{}", R"([{"appName": "Claude", "endedAt": "2026-03-07T12:30:00Z", )"
                          R"("id": "3F2504E0-4F89-11D3-9A0C-0305E82C3301", )"
                          R"("sourceType": "desktopApp", "startedAt": "2026-03-07T12:00:05Z", ")" +
                              key + "\": " + value + "}]");
}

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

struct stat identityOf(const QString& path)
{
    struct stat info {};
    ::lstat(QFile::encodeName(path).constData(), &info);
    return info;
}

// The files in `folder` whose names mark them as kept-aside unreadable state files.
QStringList keptFiles(const QString& folder)
{
    return QDir(folder).entryList({QStringLiteral("state.json.unreadable-*")},
                                  QDir::AllEntries | QDir::Hidden | QDir::System, QDir::Name);
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

// Mounts a file system of 64 KiB at `folder`; false when this system cannot.
bool mountSmallDisk(const QString& folder)
{
    return ::geteuid() == 0 && QDir().mkpath(folder) &&
           ::mount("kelvo-test", QFile::encodeName(folder).constData(), "tmpfs", 0,
                   "size=64k,mode=0700") == 0;
}

// Root reads and writes any file whatever its mode; without these two capabilities it meets file
// modes as a user does. Only the effective set changes, so they can be taken back.
bool overrideFileModes(bool overriding)
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2]{};
    if (::syscall(SYS_capget, &header, data) != 0)
        return false;
    constexpr quint32 bits = 1U << CAP_DAC_OVERRIDE | 1U << CAP_DAC_READ_SEARCH;
    data[0].effective =
        overriding ? data[0].effective | (data[0].permitted & bits) : data[0].effective & ~bits;
    return ::syscall(SYS_capset, &header, data) == 0;
}

// Bytes this process has read from files so far.
qint64 bytesRead()
{
    QFile io(QStringLiteral("/proc/self/io"));
    const QByteArray text = io.open(QIODevice::ReadOnly) ? io.readAll() : QByteArray();
    return text.split('\n').constFirst().mid(7).toLongLong(); // "rchar: N"
}

// Places something that is no state document at `file`, of the kind the row names.
void placeUnreadable(const QString& file, const QByteArray& kind)
{
    const QByteArray name = QFile::encodeName(file);
    QDir().mkpath(QFileInfo(file).path());
    if (kind == "folder") {
        writeFile(file + QStringLiteral("/inner"), "unreadable");
    } else if (kind == "named pipe") {
        QCOMPARE(::mkfifo(name.constData(), 0600), 0);
    } else if (kind == "link to /dev/zero") {
        QCOMPARE(::symlink("/dev/zero", name.constData()), 0);
    } else if (kind == "2 GB file") {
        writeFile(file, "{");
        QCOMPARE(::truncate(name.constData(), off_t(2) << 30), 0);
    } else if (kind == "mode 000") {
        writeFile(file, StateCodec::encode(stateNamed("old")));
        QCOMPARE(::chmod(name.constData(), 0), 0);
    } else {
        writeFile(file, kind);
    }
}

} // namespace

// The state file: its written form and how it is read, and where and how the store keeps it.
class StateFileTest final : public QObject {
    Q_OBJECT

private slots:
    // Every field, escapes, unpaired surrogates, extreme numbers and times: read back as they
    // were, and written again byte for byte the same.
    void roundTrip()
    {
        StoredState state = fullState();
        state.sessions[1].appName = QStringLiteral("q\"b\\s/\n\t\x01") + QChar(0) +
                                    QStringLiteral("😀") + QChar(0xDC01) + QChar(0xD800);
        state.settings.dailySummaryHour = std::numeric_limits<qint64>::min();
        state.settings.quietHoursEndMinute = std::numeric_limits<qint64>::max();
        state.sessions[0].startedAt = utc("0001-01-01T00:00:00Z");
        state.sessions[0].endedAt = utc("9999-12-31T23:59:59Z");
        const QByteArray written = StateCodec::encode(state);
        const std::optional<StoredState> read = StateCodec::decode(written);
        QCOMPARE(read, std::optional(state));
        QCOMPARE(StateCodec::encode(*read), written);
    }

    // The form users' files hold: a change here makes their files unreadable. Times in whole
    // seconds in UTC, texts unescaped UTF-8, Qt's indentation, keys in ascending order.
    void writtenForm()
    {
        StoredState state = fullState();
        state.sessions[0].startedAt = utc("2026-03-07T12:00:05.800Z");
        state.sessions[0].endedAt =
            QDateTime(QDate(2026, 3, 7), QTime(13, 30), Qt::OffsetFromUTC, 3600);
        QFile stored(QFINDTESTDATA("../../fuzz/corpus/state/full.json"));
        QVERIFY(stored.open(QIODevice::ReadOnly));
        QCOMPARE(StateCodec::encode(state), stored.readAll());
    }

    void tolerated_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<StoredState>("expected");
        QTest::newRow("settings missing, appearance system")
            << settingDocument("appearanceMode", "\"system\"") << StoredState{};
        StoredState dark;
        dark.settings.appearanceMode = AppearanceMode::dark;
        QTest::newRow("appearance dark") << settingDocument("appearanceMode", "\"dark\"") << dark;
        StoredState empty;
        empty.settings.monitoredApps.clear();
        empty.settings.browserDomainRules.clear();
        QTest::newRow("empty rule lists stay empty")
            << document("{\"browserDomainRules\": [], \"monitoredApps\": []}") << empty;
        StoredState numbers;
        numbers.settings.dailySummaryHour = 21;
        numbers.settings.quietHoursStartHour = 0;
        QTest::newRow("whole numbers in other forms")
            << document("{\"dailySummaryHour\": 2.1e1, \"quietHoursStartHour\": -0.0}") << numbers;
        QTest::newRow("null optional field, unknown keys")
            << sessionDocument("domain", "null, \"extra\": [{\"a\": [1, true, null]}]")
            << sessionState();
        QTest::newRow("lower-case identity")
            << sessionDocument("id", "\"3f2504e0-4f89-11d3-9a0c-0305e82c3301\"") << sessionState();
        QTest::newRow("byte order mark")
            << "\xEF\xBB\xBF" + sessionDocument("appName", "\"Claude\"") << sessionState();
    }

    void tolerated()
    {
        QFETCH(QByteArray, text);
        QFETCH(StoredState, expected);
        QCOMPARE(StateCodec::decode(text), std::optional(expected));
    }

    void timestampForms_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QDateTime>("expected"); // invalid: the document must not decode
        const auto row = [](const char* name, const char* text, const char* expected) {
            QTest::newRow(name) << QByteArray(text) << (expected ? utc(expected) : QDateTime());
        };
        row("fraction", "2026-03-07T12:00:05.8Z", "2026-03-07T12:00:05.800Z");
        row("long fraction cut, not rounded", "2026-03-07T23:59:59.99999Z",
            "2026-03-07T23:59:59.999Z");
        row("negative offset into the next year", "2025-12-31T23:00:00.5-02:30",
            "2026-01-01T01:30:00.500Z");
        row("offset before year 1", "0001-01-01T00:30:00+01:00", nullptr);
        row("offset past year 9999", "9999-12-31T23:30:00-01:00", nullptr);
        row("no zone", "2026-03-07T12:00:05", nullptr);
        row("lower-case z", "2026-03-07T12:00:05z", nullptr);
        row("space for T", "2026-03-07 12:00:05Z", nullptr);
        row("30 February", "2026-02-30T12:00:05Z", nullptr);
        row("offset 24 hours", "2026-03-07T12:00:05+24:00", nullptr);
        row("fraction without digits", "2026-03-07T12:00:05.Z", nullptr);
    }

    void timestampForms()
    {
        QFETCH(QByteArray, text);
        QFETCH(QDateTime, expected);
        const std::optional<StoredState> read =
            StateCodec::decode(sessionDocument("startedAt", '"' + text + '"'));
        QCOMPARE(read ? read->sessions[0].startedAt : QDateTime(), expected);
    }

    void malformed_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("truncated") << document("{}").chopped(1);
        QTest::newRow("root array") << QByteArray("[]");
        QTest::newRow("no sessions") << QByteArray(R"({"reminderEvents": [], "settings": {}})");
        QTest::newRow("null settings") << document("null");
        QTest::newRow("settings an array") << document("[]");
        QTest::newRow("flag as number") << settingDocument("quietHoursEnabled", "1");
        QTest::newRow("number as text") << settingDocument("dailySummaryHour", "\"20\"");
        QTest::newRow("fractional number") << settingDocument("dailySummaryHour", "20.5");
        QTest::newRow("number past 64 bits")
            << settingDocument("dailySummaryMinute", "9223372036854775808");
        QTest::newRow("capitalised appearance") << settingDocument("appearanceMode", "\"System\"");
        QTest::newRow("rule list an object") << settingDocument("monitoredApps", "{}");
        QTest::newRow("rule not an object") << settingDocument("browserDomainRules", "[1]");
        QTest::newRow("web rule without host") << settingDocument(
            "browserDomainRules", R"([{"displayName": "A", "symbolName": "B"}])");
        QTest::newRow("required member null") << sessionDocument("endedAt", "null");
        QTest::newRow("optional text a number") << sessionDocument("domain", "5");
        QTest::newRow("timestamp a number") << sessionDocument("endedAt", "1772886600");
        QTest::newRow("uuid in braces")
            << sessionDocument("id", "\"{3F2504E0-4F89-11D3-9A0C-0305E82C3301}\"");
        QTest::newRow("uuid not hex")
            << sessionDocument("appRuleId", "\"3F2504E0-4F89-11D3-9A0C-0305E82C330G\"");
        QTest::newRow("reminder without shownAt") << document(
            "{}", "[]",
            R"([{"action": "shown", "id": "3F2504E0-4F89-11D3-9A0C-0305E82C3302", "kind": "sessionStart"}])");
    }

    void malformed()
    {
        QFETCH(QByteArray, text);
        QCOMPARE(StateCodec::decode(text), std::nullopt);
    }

    // Sessions and rule edits name a rule by its id, so each default rule needs one of its own.
    void defaultRulesHaveIdentities()
    {
        QSet<QUuid> ids{QUuid()};
        for (const MonitoredAppRule& rule : AppSettings::defaults().monitoredApps)
            ids.insert(rule.id);
        QCOMPARE(ids.size(), AppSettings::defaults().monitoredApps.size() + 1);
    }

    // What the folder test below cannot set up: an empty or unexpanded variable.
    void defaultLocationsTakeTheEnvironmentVerbatim()
    {
        const auto locate = [](const QHash<QString, QString>& environment, const QString& data) {
            return PersistenceStore::defaultLocations(environment, data, QStringLiteral("/t"));
        };
        QCOMPARE(locate({{"KELVO_STORE_DIR", ""}, {"QUORRIN_STORE_DIR", "/q"}}, "/d"),
                 (StoreLocations{"./state.json", std::nullopt}));
        QCOMPARE(locate({{"KELVO_STORE_DIR", "~/s"}}, "/d"),
                 (StoreLocations{"~/s/state.json", std::nullopt}));
    }

    void saveCreatesPrivateFoldersWhereTheEnvironmentSays_data()
    {
        QTest::addColumn<QString>("kelvo"); // relative to the test's root; null: not set
        QTest::addColumn<QString>("quorrin");
        QTest::addColumn<QStringList>("created"); // the folders the save must create, in order
        QTest::addColumn<bool>("dataLocked");     // the XDG data folder refuses every change
        QTest::newRow("KELVO_STORE_DIR before QUORRIN_STORE_DIR")
            << "a/b/c"
            << "q" << QStringList{"a", "a/b", "a/b/c"} << false;
        QTest::newRow("QUORRIN_STORE_DIR") << QString() << "q" << QStringList{"q"} << false;
        QTest::newRow("XDG data folder")
            << QString() << QString() << QStringList{"xdg_data_home/Kelvo"} << false;
        QTest::newRow("XDG data folder refusing changes: temporary folder")
            << QString() << QString() << QStringList{"tmp/Kelvo"} << true;
    }

    void saveCreatesPrivateFoldersWhereTheEnvironmentSays()
    {
        QFETCH(QString, kelvo);
        QFETCH(QString, quorrin);
        QFETCH(QStringList, created);
        QFETCH(bool, dataLocked);
        TestEnvironment environment;
        const QDir root(environment.root());
        if (kelvo.isNull())
            qunsetenv("KELVO_STORE_DIR");
        else
            qputenv("KELVO_STORE_DIR", root.filePath(kelvo).toUtf8());
        if (!quorrin.isNull())
            qputenv("QUORRIN_STORE_DIR", root.filePath(quorrin).toUtf8());
        root.mkdir(QStringLiteral("tmp"));
        qputenv("TMPDIR", root.filePath(QStringLiteral("tmp")).toUtf8());
        auto restoreTmp = qScopeGuard([] { qunsetenv("TMPDIR"); });
        const QString data = root.filePath(QStringLiteral("xdg_data_home"));
        if (dataLocked && !lockFolder(data, true))
            QSKIP("this system cannot make a folder unchangeable");
        auto unlock = qScopeGuard([&] { lockFolder(data, false); });
        StderrCapture errors;
        PersistenceStore().save(stateNamed("saved"));
        const QByteArray notice = errors.finish();
        const QByteArray expected =
            dataLocked ? "Kelvo keeps its state in " + root.filePath(created.last()).toUtf8()
                       : QByteArray();
        QVERIFY2(notice.startsWith(expected) && notice.count('\n') == int(dataLocked),
                 notice.constData());
        for (const QString& folder : created)
            QCOMPARE(identityOf(root.filePath(folder)).st_mode, mode_t(S_IFDIR | 0700));
        const QString file = root.filePath(created.last() + QStringLiteral("/state.json"));
        QCOMPARE(identityOf(file).st_mode, mode_t(S_IFREG | 0600));
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

    // A save that fails says so in one line and leaves everything as it was: the file there,
    // no half-written one beside it, nothing kept aside.
    void failedSaveWritesOneLine_data()
    {
        QTest::addColumn<QString>("storeDir"); // relative to the test's root; "file" is a file
        QTest::addColumn<QByteArray>("trouble");
        QTest::newRow("plain file at the folder's path") << "file" << QByteArray();
        QTest::newRow("plain file above the folder") << "file/sub" << QByteArray();
        QTest::newRow("session without times") << "store" << QByteArray("session");
        QTest::newRow("session in year 10000") << "store" << QByteArray("session in year 10000");
        // An unreadable state file in a folder that refuses every change.
        QTest::newRow("unreadable file that cannot be kept aside")
            << "store" << QByteArray("locked");
        QTest::newRow("full disk") << "store" << QByteArray("full disk");
    }

    void failedSaveWritesOneLine()
    {
        QFETCH(QString, storeDir);
        QFETCH(QByteArray, trouble);
        TestEnvironment environment;
        const QString dir = environment.root() + u'/' + storeDir;
        const bool locked = trouble == "locked", full = trouble == "full disk";
        if (full && !mountSmallDisk(dir))
            QSKIP("this system cannot mount a small file system for a full disk");
        const QString mine = trouble.isEmpty() ? environment.root() + QStringLiteral("/file")
                                               : dir + QStringLiteral("/state.json");
        const QByteArray old = locked ? "mine" : StateCodec::encode(stateNamed("old"));
        writeFile(mine, old);
        if (locked && !lockFolder(dir, true))
            QSKIP("this system cannot make a folder unchangeable");
        auto undo = qScopeGuard([&] { // harmless where nothing was locked or mounted
            lockFolder(dir, false);
            ::umount2(QFile::encodeName(dir).constData(), MNT_DETACH);
        });
        StoredState state;
        state.mutedReminderDayKey = QString(200'000, u'x'); // more than the full disk holds
        if (trouble.startsWith("session")) {                // a time that the file cannot hold
            AiUsageSession session;
            if (trouble.endsWith("10000"))
                session.startedAt = session.endedAt = QDate(10000, 1, 1).startOfDay(Qt::UTC);
            state.sessions.append(session);
        }
        const QStringList before = QDir(dir).entryList(QDir::AllEntries | QDir::Hidden);
        PersistenceStore store(dir);
        StderrCapture errors;
        store.save(state);
        const QByteArray output = errors.finish();
        QVERIFY2(output.startsWith("Failed to save state: ") && output.count('\n') == 1 &&
                     output.endsWith('\n'),
                 output.constData());
        QCOMPARE(contents(mine), old);
        QCOMPARE(QDir(dir).entryList(QDir::AllEntries | QDir::Hidden), before);
        if (locked) { // once the folder allows it, the file is still kept aside, not replaced
            lockFolder(dir, false);
            StderrCapture afterwards;
            store.save(stateNamed("saved"));
            QVERIFY(afterwards.finish().startsWith("Unreadable state file kept as "));
        }
    }

    void unreadableFileIsKeptAside_data()
    {
        QTest::addColumn<QByteArray>("kind"); // what stands at state.json, or its bytes
        QTest::addColumn<bool>("loadFirst");
        QTest::newRow("not a state, never loaded") << QByteArray("\xFF\xFE garbage") << false;
        QTest::newRow("a folder, never loaded") << QByteArray("folder") << false;
        QTest::newRow("a named pipe, never loaded") << QByteArray("named pipe") << false;
        QTest::newRow("a link to a device") << QByteArray("link to /dev/zero") << true;
        QTest::newRow("a 2 GB file") << QByteArray("2 GB file") << true;
        QTest::newRow("a state this user may not read") << QByteArray("mode 000") << true;
    }

    void unreadableFileIsKeptAside()
    {
        QFETCH(QByteArray, kind);
        QFETCH(bool, loadFirst);
        TestEnvironment environment;
        const QString dir = environment.storeDir();
        const QString file = dir + QStringLiteral("/state.json");
        placeUnreadable(file, kind);
        const struct stat original = identityOf(file);
        if (!overrideFileModes(false))
            QSKIP("this system cannot drop the capability to read any file");
        auto restore = qScopeGuard([] { overrideFileModes(true); });
        const qint64 readBefore = bytesRead();
        PersistenceStore store;
        StderrCapture errors;
        if (loadFirst)
            QCOMPARE(store.load(), StoredState{});
        store.save(stateNamed("new"));
        // Nothing is read whole that cannot be a state: no device, no huge file.
        QCOMPARE_LT(bytesRead() - readBefore, 1 << 20);
        const QStringList kept = keptFiles(dir);
        QCOMPARE(kept.size(), 1);
        QVERIFY(kept.first().contains(
            QRegularExpression(QStringLiteral("^state\\.json\\.unreadable-\\d{8}T\\d{6}Z$"))));
        const QString keptPath = dir + u'/' + kept.first();
        QCOMPARE(errors.finish(), "Unreadable state file kept as " + keptPath.toUtf8() + '\n');
        // The very same file, untouched, under the new name.
        const struct stat keptInfo = identityOf(keptPath);
        QCOMPARE(keptInfo.st_ino, original.st_ino);
        QCOMPARE(keptInfo.st_size, original.st_size);
        QCOMPARE(identityOf(file).st_mode, mode_t(S_IFREG | 0600));

        store.save(stateNamed("newer")); // the new file is replaced, not kept aside
        QCOMPARE(keptFiles(dir), kept);
        QCOMPARE(PersistenceStore().load(), stateNamed("newer"));
    }

    // Kept aside or not, a save never replaces what is no file at the end of a link.
    void saveNeverReplacesWhatIsNoFile()
    {
        TestEnvironment environment;
        const QString pipe = environment.root() + QStringLiteral("/pipe");
        const QString link = environment.root() + QStringLiteral("/state.json");
        QCOMPARE(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
        QCOMPARE(
            ::symlink(QFile::encodeName(pipe).constData(), QFile::encodeName(link).constData()), 0);
        QString error;
        QVERIFY(!PrivateFiles::writeAtomically(link, "{}", &error));
        QVERIFY2(error.contains(QStringLiteral("not a regular file")), qPrintable(error));
        QVERIFY(S_ISFIFO(identityOf(pipe).st_mode));
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

QTEST_GUILESS_MAIN(StateFileTest)
#include "test_statefile.moc"
