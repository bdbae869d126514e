#include "browserhost/browserkey.h"
#include "tabs/tabfile.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace kelvo;

namespace {

constexpr int waitMs = 10'000;

QByteArray frame(const QByteArray& body)
{
    const quint32 size = quint32(body.size());
    return QByteArray(reinterpret_cast<const char*>(&size), sizeof size) + body;
}

// JSON written with ' for ", to keep the tables readable.
QByteArray json(const char* text)
{
    return QByteArray(text).replace('\'', '"');
}

QByteArray message(const char* origin)
{
    return frame(json("{'origin':'") + origin + json("'}"));
}

QByteArray contentOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

struct stat statOf(const QString& path)
{
    struct stat info {};
    ::stat(QFile::encodeName(path).constData(), &info);
    return info;
}

// The size of a process's address space in KiB: it grows when the host sets room aside.
qint64 addressSpaceOf(qint64 pid)
{
    const QByteArray status = contentOf(QStringLiteral("/proc/%1/status").arg(pid));
    const qsizetype at = status.indexOf("VmSize:") + 7;
    return status.mid(at, status.indexOf('\n', at) - at).trimmed().split(' ').first().toLongLong();
}

// The host as Firefox starts it, with a runtime folder of its own.
class Host final {
public:
    // `errorFd`, when not -1, becomes the host's standard error.
    explicit Host(int errorFd = -1,
                  const QStringList& arguments = {QStringLiteral("/m/kelvo.browser_host.json"),
                                                  QStringLiteral("tab-bridge@kelvo")})
    {
        if (errorFd >= 0)
            process.setChildProcessModifier([errorFd] { ::dup2(errorFd, STDERR_FILENO); });
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtime.path());
        process.setProcessEnvironment(environment);
        process.setReadChannel(QProcess::StandardError);
        process.start(QStringLiteral(KELVO_BROWSER_HOST), arguments);
        process.waitForStarted();
    }
    ~Host()
    {
        process.kill();
        process.waitForFinished();
    }

    QString tabFile() const
    {
        return m_runtime.path() + QStringLiteral("/kelvo/tabs/firefox.json");
    }
    void send(const QByteArray& bytes)
    {
        process.write(bytes);
        while (process.bytesToWrite() > 0 && process.waitForBytesWritten(waitMs)) {
        }
    }

    bool waitForRecord(std::optional<QString> origin)
    {
        const tabs::TabRecord wanted{std::move(origin), process.processId()};
        for (QDeadlineTimer deadline(waitMs); !deadline.hasExpired(); QThread::msleep(5)) {
            if (tabs::decode(contentOf(tabFile())) == wanted)
                return true;
        }
        return false;
    }
    bool waitForIgnored(int count)
    {
        while (errors().count("ignored a message") < count) {
            if (!process.waitForReadyRead(waitMs))
                return false;
        }
        return true;
    }
    // Exit status 0, every line on standard error the host's own, nothing on standard output.
    bool exitedCleanly()
    {
        return process.waitForFinished(waitMs) && process.exitStatus() == QProcess::NormalExit &&
               process.exitCode() == 0 && process.readAllStandardOutput().isEmpty() &&
               errors().count('\n') == errors().count("kelvo-browser-host: ");
    }
    QByteArray errors() { return m_errors += process.readAllStandardError(); }

    QProcess process;

private:
    QTemporaryDir m_runtime;
    QByteArray m_errors;
};

} // namespace

class BrowserHostTest final : public QObject {
    Q_OBJECT

private slots:
    void storesTheOrigin_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("stored"); // a null text: no origin
        QTest::newRow("origin") << json("{'origin':'https://chatgpt.com'}")
                                << QStringLiteral("https://chatgpt.com");
        QTest::newRow("full URL") << json("{'origin':'https://me:pw@Chat.Example:8443/c/1?q=s#f'}")
                                  << QStringLiteral("https://chat.example:8443");
        QTest::newRow("null") << json("{'origin':null}") << QString();
        QTest::newRow("other keys") << json("{'tab':3,'origin':'http://localhost:3000','x':[{}]}")
                                    << QStringLiteral("http://localhost:3000");
        QByteArray longest = json("{'origin':'https://claude.ai'}");
        QTest::newRow("64 KiB") << longest.leftJustified(65536, ' ')
                                << QStringLiteral("https://claude.ai");
    }
    void storesTheOrigin()
    {
        QFETCH(QByteArray, body);
        QFETCH(QString, stored);
        Host host;
        host.send(frame(body));
        QVERIFY(host.waitForRecord(stored.isNull() ? std::nullopt : std::optional(stored)));
        QCOMPARE(statOf(host.tabFile()).st_mode & 0777, 0600u);
        QCOMPARE(statOf(QFileInfo(host.tabFile()).path()).st_mode & 0777, 0700u);
        host.process.closeWriteChannel();
        QVERIFY(host.exitedCleanly());
        QVERIFY(!QFile::exists(host.tabFile()));
    }

    void ignoresHostileInput_data()
    {
        QTest::addColumn<QByteArray>("input");
        // Lines on standard error; -1: the input ends inside a frame.
        QTest::addColumn<int>("ignored");
        const QByteArray evil = json("{'origin':'https://evil.example'");
        QTest::newRow("truncated length") << message("https://evil.example").left(3) << -1;
        QTest::newRow("truncated body") << message("https://evil.example").chopped(2) << -1;
        QTest::newRow("4 GiB length") << QByteArray(4, '\xff') + evil << -1;
        QTest::newRow("64 KiB + 1") << frame((evil + '}').leftJustified(65537, ' ')) << 1;
        QTest::newRow("invalid UTF-8") << frame(evil + json(",'x':'\xff'}")) << 1;
        QTest::newRow("deep nesting")
            << frame(evil + ",\"x\":" + QByteArray(2000, '[') + QByteArray(2000, ']') + '}') << 1;
        QTest::newRow("trailing text") << frame(evil + "} x") << 1;
        QTest::newRow("not objects")
            << frame(json("['https://evil.example']")) + frame(json("'https://evil.example'")) +
                   frame("null") + frame("")
            << 4;
        QTest::newRow("wrong types")
            << frame(json("{'origin':4}")) + frame(json("{'origin':true}")) +
                   frame(json("{'origin':['https://evil.example']}")) +
                   frame(json("{'url':'https://evil.example'}"))
            << 4;
        QTest::newRow("other schemes")
            << message("javascript:alert(1)") + message("file:///etc/passwd") +
                   message("data:text/html,x") + message("ftp://evil.example") + message("https://")
            << 5;
    }
    void ignoresHostileInput()
    {
        QFETCH(QByteArray, input);
        QFETCH(int, ignored);
        Host host;
        host.send(message("https://chatgpt.com"));
        QVERIFY(host.waitForRecord(QStringLiteral("https://chatgpt.com")));
        const QByteArray before = contentOf(host.tabFile());
        const qint64 space = addressSpaceOf(host.process.processId());
        host.send(input);
        if (ignored < 0)
            QThread::msleep(100);
        QCOMPARE_LT(addressSpaceOf(host.process.processId()) - space, 256 * 1024);
        if (ignored >= 0) {
            QVERIFY(host.waitForIgnored(ignored));
            QCOMPARE(host.errors().count('\n'), ignored);
            QCOMPARE(contentOf(host.tabFile()), before);
            host.send(message("https://claude.ai"));
            QVERIFY(host.waitForRecord(QStringLiteral("https://claude.ai")));
        }
        host.process.closeWriteChannel();
        QVERIFY(host.exitedCleanly());
        QVERIFY(!QFile::exists(host.tabFile()));
    }

    void removesOnlyItsOwnFile_data()
    {
        QTest::addColumn<int>("signal"); // 0: the input ends
        QTest::addColumn<bool>("taken"); // another host wrote the file since
        for (const int signal : {0, SIGTERM, SIGINT, SIGHUP}) {
            QTest::addRow("signal %d", signal) << signal << false;
            QTest::addRow("signal %d, taken", signal) << signal << true;
        }
    }
    void removesOnlyItsOwnFile()
    {
        QFETCH(int, signal);
        QFETCH(bool, taken);
        Host host;
        host.send(message("https://chatgpt.com"));
        QVERIFY(host.waitForRecord(QStringLiteral("https://chatgpt.com")));
        const QByteArray other = tabs::encode({QStringLiteral("https://claude.ai"), ::getpid()});
        if (taken) {
            QFile file(host.tabFile());
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(other) == other.size());
        }
        host.send(QByteArray(2, '\0')); // waiting in the middle of a length
        if (signal == 0)
            host.process.closeWriteChannel();
        else
            ::kill(pid_t(host.process.processId()), signal);
        QVERIFY(host.exitedCleanly());
        QCOMPARE(contentOf(host.tabFile()), taken ? other : QByteArray());
    }

    void rewritesOnlyWhatChanged()
    {
        Host host;
        host.send(message("https://chatgpt.com"));
        QVERIFY(host.waitForRecord(QStringLiteral("https://chatgpt.com")));
        const ino_t inode = statOf(host.tabFile()).st_ino;
        host.send(message("https://chatgpt.com/other") + message("file:///"));
        QVERIFY(host.waitForIgnored(1));
        QCOMPARE(statOf(host.tabFile()).st_ino, inode);
        // Gone from under it: the same tab is written again.
        QVERIFY(QFile::remove(host.tabFile()));
        host.send(message("https://chatgpt.com"));
        QVERIFY(host.waitForRecord(QStringLiteral("https://chatgpt.com")));
    }

    // A host whose standard error leads nowhere (SIGPIPE on every line) carries on.
    void survivesAClosedStandardError()
    {
        int pipe[2];
        QVERIFY(::pipe2(pipe, O_CLOEXEC) == 0);
        ::close(pipe[0]);
        Host host(pipe[1]);
        ::close(pipe[1]);
        host.send(message("javascript:0") + message("https://claude.ai"));
        QVERIFY(host.waitForRecord(QStringLiteral("https://claude.ai")));
        host.process.closeWriteChannel();
        QVERIFY(host.exitedCleanly());
    }

    void refusesAnUnknownBrowser_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("none") << QStringList();
        QTest::newRow("as Chrome passes them")
            << QStringList{QStringLiteral("chrome-extension://pgmjbcojmepaehhnhmebohgdkdknkpob/")};
        QTest::newRow("no manifest") << QStringList{QStringLiteral("/m/kelvo.browser_host"),
                                                    QStringLiteral("tab-bridge@kelvo")};
    }
    // The test program is the parent here, and no browser.
    void refusesAnUnknownBrowser()
    {
        QFETCH(QStringList, arguments);
        Host host(-1, arguments);
        QVERIFY(host.process.waitForFinished(waitMs));
        QCOMPARE(host.process.exitCode(), 1);
        QVERIFY(host.errors().startsWith("kelvo-browser-host: not started by"));
        QCOMPARE(host.errors().count('\n'), 1);
        QVERIFY(!QFile::exists(QFileInfo(host.tabFile()).path()));
    }

    void browserKeyForExecutable_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("key"); // a null text: none
        QTest::newRow("Debian Chromium") << "/usr/lib/chromium/chromium"
                                         << "chromium";
        QTest::newRow("Chromium replaced by an update") << "/usr/lib/chromium/chromium (deleted)"
                                                        << "chromium";
        QTest::newRow("Google Chrome") << "/opt/google/chrome/chrome"
                                       << "chrome";
        QTest::newRow("Chrome Beta") << "/opt/google/chrome-beta/Google-Chrome-Beta"
                                     << "chrome";
        QTest::newRow("Firefox ESR") << "/usr/lib/firefox-esr/firefox-esr"
                                     << "firefox";
        QTest::newRow("a shell in a browser's folder") << "/usr/lib/chromium/bash" << QString();
        QTest::newRow("another browser") << "/usr/lib/brave/brave" << QString();
    }
    void browserKeyForExecutable()
    {
        QFETCH(QString, path);
        QFETCH(QString, key);
        QCOMPARE(browserhost::browserKeyForExecutable(path),
                 key.isNull() ? std::nullopt : std::optional(key));
    }
};

QTEST_GUILESS_MAIN(BrowserHostTest)
#include "test_browserhost.moc"
