#include "browserhost/browserkey.h"
#include "tabs/tabfile.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

using namespace kelvo;
using namespace Qt::StringLiterals;

namespace {

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

int modeOf(const QString& path)
{
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? int(info.st_mode & 0777) : -1;
}

// The host as Firefox starts it, with a runtime folder of its own.
class Host final {
public:
    explicit Host(int stderrFd = -1,
                  const QStringList& arguments = {u"/m/host.json"_s, u"tab-bridge@kelvo"_s})
    {
        if (stderrFd >= 0)
            process.setChildProcessModifier([stderrFd] { ::dup2(stderrFd, STDERR_FILENO); });
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"XDG_RUNTIME_DIR"_s, m_runtime.path());
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral(KELVO_BROWSER_HOST), arguments);
        process.waitForStarted();
    }
    ~Host()
    {
        process.kill();
        process.waitForFinished();
    }

    QString tabFile() const { return m_runtime.path() + u"/kelvo/tabs/firefox.json"_s; }
    // Whether the tab file holds `origin` (a null text: no tab) and this host's pid.
    bool holds(const QString& origin)
    {
        return tabs::decode(contentOf(tabFile())) ==
               tabs::TabRecord{origin.isNull() ? std::nullopt : std::optional(origin),
                               process.processId()};
    }
    // Exit status 0, every line on standard error the host's own, nothing on standard output.
    bool exitedCleanly()
    {
        return process.waitForFinished() && process.exitStatus() == QProcess::NormalExit &&
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
    // A first tab on chatgpt.com, then the input; then the input ends or the signal comes.
    void takesOnlyWellFormedMessages_data()
    {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QString>("stored"); // the origin in the end; a null text: no tab
        QTest::addColumn<int>("ignored");    // lines on standard error
        QTest::addColumn<int>("signal");
        const auto row = [](const char* name, const QByteArray& input, const QString& stored,
                            int ignored, int signal = 0) {
            QTest::newRow(name) << input << stored << ignored << signal;
        };
        const QString chat = u"https://chatgpt.com"_s, claude = u"https://claude.ai"_s;
        const QByteArray evil = json("{'origin':'https://evil.example'"),
                         good = message("https://claude.ai");
        row("full URL", message("https://me:pw@Chat.Example:8443/c/1?q=s#f"),
            u"https://chat.example:8443"_s, 0);
        row("null", frame(json("{'origin':null}")), QString(), 0);
        row("64 KiB, other keys",
            frame(json("{'x':[{}],'origin':'https://claude.ai'}").leftJustified(65536, ' ')),
            claude, 0);
        row("truncated length", message("https://evil.example").left(3), chat, 0);
        row("truncated body", message("https://evil.example").chopped(2), chat, 0);
        row("4 GiB length", QByteArray(4, '\xff') + evil, chat, 0);
        row("64 KiB + 1", frame((evil + '}').leftJustified(65537, ' ')) + good, claude, 1);
        row("invalid UTF-8", frame(evil + json(",'x':'\xff'}")) + good, claude, 1);
        row("deep nesting",
            frame(evil + ",\"x\":" + QByteArray(2000, '[') + QByteArray(2000, ']') + '}') + good,
            claude, 1);
        row("no object, no text origin",
            frame(json("['https://evil.example']")) + frame(json("{'origin':4}")) +
                frame(json("{'url':'https://evil.example'}")) + good,
            claude, 3);
        row("not http or https, no host",
            message("ftp://evil.example") + message("https://") + good, claude, 2);
        for (const int signal : {SIGTERM, SIGINT, SIGHUP})
            QTest::addRow("signal %d in a length", signal)
                << QByteArray(2, '\0') << chat << 0 << signal;
    }
    void takesOnlyWellFormedMessages()
    {
        QFETCH(QByteArray, input);
        QFETCH(QString, stored);
        QFETCH(int, ignored);
        QFETCH(int, signal);
        Host host;
        host.process.write(message("https://chatgpt.com") + input);
        QTRY_VERIFY(host.holds(stored));
        QCOMPARE(modeOf(host.tabFile()), 0600);
        QCOMPARE(modeOf(QFileInfo(host.tabFile()).path()), 0700);
        if (signal != 0)
            ::kill(pid_t(host.process.processId()), signal);
        else
            host.process.closeWriteChannel();
        QVERIFY(host.exitedCleanly());
        QCOMPARE(host.errors().count('\n'), ignored);
        QVERIFY(!QFile::exists(host.tabFile()));
    }

    // A host whose standard error leads nowhere (SIGPIPE on every line) carries on; another host
    // of the same browser (a second profile) wrote the file since: it stays.
    void survivesAClosedStandardErrorAndLeavesAnotherHostsFile()
    {
        int pipe[2];
        QVERIFY(::pipe(pipe) == 0);
        ::close(pipe[0]);
        Host host(pipe[1]);
        ::close(pipe[1]);
        host.process.write(message("javascript:0") + message("https://claude.ai"));
        QTRY_VERIFY(host.holds(u"https://claude.ai"_s));
        const QByteArray other = tabs::encode({u"https://chatgpt.com"_s, ::getpid()});
        QFile file(host.tabFile());
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(other) == other.size());
        file.close();
        host.process.closeWriteChannel();
        QVERIFY(host.exitedCleanly());
        QCOMPARE(contentOf(host.tabFile()), other);
    }

    // Started by the test program, which is no browser, with arguments unlike Firefox's.
    void refusesAnUnknownBrowser()
    {
        Host host(-1, {u"/m/kelvo.browser_host"_s, u"tab-bridge@kelvo"_s});
        QVERIFY(host.process.waitForFinished());
        QCOMPARE(host.process.exitCode(), 1);
        QVERIFY(host.errors().startsWith("kelvo-browser-host: not started by"));
        QVERIFY(!QFile::exists(QFileInfo(host.tabFile()).path()));
    }

    // The browser by its executable's name, also once an update replaced it; not by its folder.
    void browserKeyForExecutable()
    {
        const auto key = [](const QString& path) {
            return browserhost::browserKeyForExecutable(path).value_or(u"none"_s);
        };
        QCOMPARE(key(u"/usr/lib/chromium/chromium (deleted)"_s), u"chromium"_s);
        QCOMPARE(key(u"/opt/google/chrome/chrome"_s), u"chrome"_s);
        QCOMPARE(key(u"/usr/lib/firefox-esr/firefox-esr"_s), u"firefox"_s);
        QCOMPARE(key(u"/usr/lib/chromium/bash"_s), u"none"_s);
    }
};

QTEST_GUILESS_MAIN(BrowserHostTest)
#include "test_browserhost.moc"
