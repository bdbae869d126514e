#include "engine/browserdetector.h"
#include "fakes/faketabreader.h"

#include <QtTest>

using namespace kelvo;
using namespace Qt::StringLiterals;

namespace {

const QString none = u"<none>"_s;

QList<BrowserDomainRule> parseRules(const QString& hosts)
{
    QList<BrowserDomainRule> rules;
    for (const QString& host : hosts.split(QLatin1Char('|'), Qt::SkipEmptyParts))
        rules.append({host, u"Site "_s + host, u"globe"_s});
    return rules;
}

} // namespace

class BrowserDetectorTest final : public QObject {
    Q_OBJECT

private slots:
    void matchesTheActiveTab_data();
    void matchesTheActiveTab();
};

void BrowserDetectorTest::matchesTheActiveTab_data()
{
    QTest::addColumn<QString>("identifier");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("tabUrl");
    QTest::addColumn<QString>("rules");
    QTest::addColumn<int>("matched"); // index of the matched rule, -1 for nothing
    QTest::addColumn<QString>("browserName");

    const QString chatgpt = u"chatgpt.com|claude.ai"_s;
    QTest::newRow("sub-domain") << u"chromium"_s << u"Chromium"_s << u"https://www.chatgpt.com/"_s
                                << chatgpt << 0 << u"Chromium"_s;
    QTest::newRow("suffix without the dot")
        << u"chromium"_s << u"Chromium"_s << u"https://notchatgpt.com/"_s << chatgpt << -1 << none;
    QTest::newRow("case ignored, rule kept as stored")
        << u"google-chrome"_s << none << u"https://CLAUDE.ai/new"_s << u"chatgpt.com|Claude.AI"_s
        << 1 << u"Chrome"_s;
    QTest::newRow("port, path and query")
        << u"firefox-esr"_s << none << u"http://chatgpt.com:8080/c/1?q=2#x"_s << chatgpt << 0
        << u"Firefox"_s;
    QTest::newRow("first matching rule wins")
        << u"org.mozilla.firefox"_s << u"Firefox ESR"_s << u"https://chat.openai.com/"_s
        << u"openai.com|chat.openai.com"_s << 0 << u"Firefox ESR"_s;
    QTest::newRow("Safari without a name")
        << u"com.apple.Safari"_s << none << u"https://claude.ai/"_s << chatgpt << 1 << u"Safari"_s;
    QTest::newRow("browser without windows")
        << u"chromium"_s << u"Chromium"_s << u""_s << chatgpt << -1 << none;
    QTest::newRow("no tab file") << u"chromium"_s << u"Chromium"_s << none << chatgpt << -1 << none;
    QTest::newRow("local file") << u"chromium"_s << u"Chromium"_s << u"file:///home/a/chatgpt.com"_s
                                << chatgpt << -1 << none;
    QTest::newRow("not a URL") << u"chromium"_s << u"Chromium"_s << u"http://chat gpt.com/"_s
                               << u"chat gpt.com"_s << -1 << none;
    QTest::newRow("no rules") << u"chromium"_s << u"Chromium"_s << u"https://chatgpt.com/"_s
                              << u""_s << -1 << none;
    QTest::newRow("rule with a scheme or path")
        << u"chromium"_s << u"Chromium"_s << u"https://chatgpt.com/c"_s
        << u"https://chatgpt.com|chatgpt.com/c"_s << -1 << none;
    // Identifiers are compared exactly; an unsupported application's tab is never read.
    QTest::newRow("unsupported browser")
        << u"org.kde.falkon"_s << u"Falkon"_s << u"https://chatgpt.com/"_s << chatgpt << -1 << none;
    QTest::newRow("identifier in other case")
        << u"Chromium"_s << u"Chromium"_s << u"https://chatgpt.com/"_s << chatgpt << -1 << none;
    QTest::newRow("no identifier")
        << none << u"Chromium"_s << u"https://chatgpt.com/"_s << chatgpt << -1 << none;
}

void BrowserDetectorTest::matchesTheActiveTab()
{
    QFETCH(QString, identifier);
    QFETCH(QString, name);
    QFETCH(QString, tabUrl);
    QFETCH(QString, rules);
    QFETCH(int, matched);
    QFETCH(QString, browserName);

    const auto browser = supportedBrowser(identifier);
    FakeTabReader tabs;
    if (browser && tabUrl != none)
        tabs.setActiveTab(browser->key, tabUrl);
    BrowserAIContextDetector detector(tabs);
    const QList<BrowserDomainRule> ruleList = parseRules(rules);
    FrontmostAppSnapshot snapshot;
    if (identifier != none)
        snapshot.bundleIdentifier = identifier;
    if (name != none)
        snapshot.localizedName = name;

    const auto context = detector.context(snapshot, ruleList);
    QCOMPARE(tabs.reads, browser ? QStringList{browser->key} : QStringList{});
    if (matched < 0) {
        QVERIFY(!context);
        return;
    }
    QVERIFY(context);
    QCOMPARE(context->domainRule, ruleList.at(matched));
    QCOMPARE(context->browserBundleIdentifier, identifier);
    QCOMPARE(context->browserName, browserName);
    QCOMPARE(context->url, QUrl(tabUrl));
}

QTEST_GUILESS_MAIN(BrowserDetectorTest)
#include "test_browserdetector.moc"
