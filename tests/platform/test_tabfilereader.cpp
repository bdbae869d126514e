#include "model/privatefiles.h"
#include "platform/browser/tabfilereader.h"
#include "tabs/tabfile.h"

#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

using namespace kelvo;
using namespace Qt::StringLiterals;

namespace {

const SupportedBrowser chromium{u"chromium"_s, u"Chromium"_s};

} // namespace

class TabFileReaderTest final : public QObject {
    Q_OBJECT

private slots:
    void init();
    void ignoresUnusableFiles_data();
    void ignoresUnusableFiles();
    void announcesReports();

private:
    std::unique_ptr<QTemporaryDir> m_runtime;
};

void TabFileReaderTest::init()
{
    m_runtime = std::make_unique<QTemporaryDir>();
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_runtime->path()));
}

// Whatever the file holds that is not a live host's report, no tab is read from it; a pipe in
// its place is not even opened for long (the test would hang).
void TabFileReaderTest::ignoresUnusableFiles_data()
{
    QTest::addColumn<QByteArray>("content"); // "<pid>": this process's id; "<fifo>": a pipe
    QTest::newRow("no tab") << "{\"origin\":null,\"pid\":<pid>}"_ba;
    // No process has the largest pid_t: pid_max stays far below it.
    QTest::newRow("host no longer runs")
        << "{\"origin\":\"https://chatgpt.com\",\"pid\":2147483647}"_ba;
    QTest::newRow("no pid") << "{\"origin\":\"https://chatgpt.com\"}"_ba;
    QTest::newRow("pid beyond pid_t")
        << "{\"origin\":\"https://chatgpt.com\",\"pid\":4294967297}"_ba;
    QTest::newRow("a pipe") << "<fifo>"_ba;
    QTest::newRow("not JSON") << "https://chatgpt.com"_ba;
    QTest::newRow("too long") << "{\"origin\":\"https://chatgpt.com\",\"pid\":<pid>,\"x\":\"" +
                                     QByteArray(5000, 'x') + "\"}";
}

void TabFileReaderTest::ignoresUnusableFiles()
{
    QFETCH(QByteArray, content);
    TabFileReader reader;
    QVERIFY(!reader.activeTabUrl(chromium)); // no file yet
    struct stat folder {};
    QVERIFY(::stat(QFile::encodeName(tabs::tabsFolder()).constData(), &folder) == 0);
    QCOMPARE(folder.st_mode & 0777, 0700u);
    const QString path = tabs::tabFilePath(u"chromium"_s);
    QString error;
    content.replace("<pid>", QByteArray::number(QCoreApplication::applicationPid()));
    QVERIFY(content == "<fifo>" ? ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0
                                : PrivateFiles::writeAtomically(path, content, &error));
    QVERIFY(!reader.activeTabUrl(chromium));
}

void TabFileReaderTest::announcesReports()
{
    TabFileReader reader;
    QSignalSpy changed(&reader, &TabFileReader::tabsChanged);
    QString error;
    const QByteArray record =
        tabs::encode({u"https://chatgpt.com"_s, QCoreApplication::applicationPid()});
    QVERIFY(PrivateFiles::writeAtomically(tabs::tabFilePath(u"chromium"_s), record, &error));
    QVERIFY(changed.wait(2000));
    QCOMPARE(reader.activeTabUrl(chromium), u"https://chatgpt.com"_s);
    QVERIFY(!reader.activeTabUrl({u"firefox"_s, u"Firefox"_s}));
}

QTEST_GUILESS_MAIN(TabFileReaderTest)
#include "test_tabfilereader.moc"
