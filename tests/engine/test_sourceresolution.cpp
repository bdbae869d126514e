#include "engine/browserdetector.h"
#include "engine/sourceresolution.h"
#include "fakes/faketabreader.h"

#include <QtTest>

using namespace kelvo;
using namespace Qt::StringLiterals;

namespace {

const QString none = u"<none>"_s;
// The expected identifier of a desktop source without one: the matched rule's id.
const QString matchedRuleId = u"<rule id>"_s;

std::optional<QString> optionalText(const QString& text)
{
    return text == none ? std::nullopt : std::optional<QString>(text);
}

// Rules written as "bundle:value" or "name:value", separated by "|".
QList<MonitoredAppRule> parseRules(const QString& text)
{
    QList<MonitoredAppRule> rules;
    for (const QString& item : text.split(QLatin1Char('|'), Qt::SkipEmptyParts)) {
        const QString kind = item.section(QLatin1Char(':'), 0, 0);
        const QString value = item.section(QLatin1Char(':'), 1);
        rules.append({QUuid::createUuid(), u"Rule "_s + value,
                      kind == u"bundle"_s ? AppMatchStrategy::bundleIdentifier
                                          : AppMatchStrategy::localizedNameContains,
                      value});
    }
    return rules;
}

// The foreground, the host of its tab, and the expected source: identifier, name and the index of
// the matched desktop rule (-1 for a web source or none).
void row(const char* name, bool web, bool desktop, const QString& rules, const QString& bundle,
         const QString& appName, const QString& tabHost, const QString& identifier,
         const QString& displayName, int rule)
{
    QTest::newRow(name) << web << desktop << rules << bundle << appName << tabHost << identifier
                        << displayName << rule;
}

} // namespace

class SourceResolutionTest final : public QObject {
    Q_OBJECT

private slots:
    void resolvesSnapshots_data();
    void resolvesSnapshots();
    void normalizesHosts_data();
    void normalizesHosts();
};

void SourceResolutionTest::resolvesSnapshots_data()
{
    QTest::addColumn<bool>("web");
    QTest::addColumn<bool>("desktop");
    QTest::addColumn<QString>("rules");
    QTest::addColumn<QString>("bundle");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("tabHost");
    QTest::addColumn<QString>("identifier");
    QTest::addColumn<QString>("displayName");
    QTest::addColumn<int>("rule");

    row("web sub-domain", true, true, "name:Chromium", "chromium", "Chromium", "www.ChatGPT.com",
        "chromium::chatgpt.com", "ChatGPT 网页", -1);
    row("web off: a keyword in other case names the browser", false, true, "name:CHROM", "chromium",
        "Chromium", "chatgpt.com", "chromium", "Rule CHROM", 0);
    row("tab matches no web rule: desktop rules apply", true, true, "name:Chrom", "chromium",
        "Chromium", "example.org", "chromium", "Rule Chrom", 0);
    row("web rule wins over a desktop rule", true, true, "name:Chromium", "chromium", "Chromium",
        "claude.ai", "chromium::claude.ai", "Claude 网页", -1);
    row("identifier differs only in case", true, true, "bundle:Com.OpenAI.Chat", "com.openai.chat",
        "ChatGPT", none, "com.openai.chat", "Rule Com.OpenAI.Chat", 0);
    row("identifier prefix does not match", true, true, "bundle:com.openai", "com.openai.chat",
        "ChatGPT", none, none, none, -1);
    row("empty keyword never matches", true, true, "name:", "editor", "Editor", none, none, none,
        -1);
    row("first of two matching rules wins", true, true, "name:GPT|name:Chat", "chatgpt", "ChatGPT",
        none, "chatgpt", "Rule GPT", 0);
    row("no identifier: the rule's id", true, true, "bundle:claude|name:Claude", none, "Claude",
        none, matchedRuleId, "Rule Claude", 1);
    row("nothing in front", true, true, "name:Chat|bundle:chatgpt", none, none, none, none, none,
        -1);
    row("desktop off", true, false, "name:ChatGPT", "chatgpt", "ChatGPT", none, none, none, -1);
}

void SourceResolutionTest::resolvesSnapshots()
{
    QFETCH(bool, web);
    QFETCH(bool, desktop);
    QFETCH(QString, rules);
    QFETCH(QString, bundle);
    QFETCH(QString, name);
    QFETCH(QString, tabHost);
    QFETCH(QString, identifier);
    QFETCH(QString, displayName);
    QFETCH(int, rule);

    AppSettings settings = AppSettings::defaults();
    settings.webMonitoringEnabled = web;
    settings.desktopMonitoringEnabled = desktop;
    settings.monitoredApps = parseRules(rules);
    FakeTabReader tabs;
    BrowserAIContextDetector detector(tabs);
    if (tabHost != none)
        tabs.setActiveTab(bundle, u"https://"_s + tabHost + u"/c/1"_s);

    const auto source =
        resolveSource({optionalText(bundle), optionalText(name)}, settings, detector);
    if (!web)
        QVERIFY(tabs.reads.isEmpty()); // with web monitoring off no browser is asked
    if (identifier == none) {
        QVERIFY(!source);
        return;
    }
    QVERIFY(source);
    QCOMPARE(source->displayName, displayName);
    QCOMPARE(source->bundleIdentifier, optionalText(bundle));
    if (rule < 0) {
        QCOMPARE(source->sourceIdentifier, identifier);
        QCOMPARE(source->sourceType, SessionSourceType::browserDomain);
        QVERIFY(!source->appRuleId);
        QCOMPARE(source->domain, identifier.section(u"::"_s, 1));
        QCOMPARE(source->browserName, optionalText(name));
        return;
    }
    const QUuid ruleId = settings.monitoredApps.at(rule).id;
    QCOMPARE(source->sourceIdentifier, identifier == matchedRuleId
                                           ? ruleId.toString(QUuid::WithoutBraces).toUpper()
                                           : identifier);
    QCOMPARE(source->sourceType, SessionSourceType::desktopApp);
    QCOMPARE(source->appRuleId, ruleId);
    QVERIFY(!source->domain && !source->browserName);
}

void SourceResolutionTest::normalizesHosts_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("expected");

    QTest::newRow("blank") << u" \t\n "_s << QString();
    QTest::newRow("full URL") << u"HTTPS://User@Chat.OpenAI.COM:8443/c/1?q=2#x"_s
                              << u"chat.openai.com"_s;
    QTest::newRow("bare host with path, blanks around")
        << u"\n  Gemini.Google.com/app/x \r\n"_s << u"gemini.google.com"_s;
    QTest::newRow("dots at both ends") << u"..poe.com.."_s << u"poe.com"_s;
    QTest::newRow("URL keeps a trailing dot") << u"https://poe.com./"_s << u"poe.com."_s;
    QTest::newRow("port without scheme stays") << u"chatgpt.com:443"_s << u"chatgpt.com:443"_s;
    QTest::newRow("IPv6 host without brackets") << u"http://[::1]:8080/"_s << u"::1"_s;
    QTest::newRow("only slashes and dots") << u"./"_s << QString();
    QTest::newRow("non-ASCII host") << u"Ünï.example/x"_s << u"ünï.example"_s;
}

void SourceResolutionTest::normalizesHosts()
{
    QFETCH(QString, input);
    QFETCH(QString, expected);
    QCOMPARE(normalizeBrowserHost(input), expected);
}

QTEST_GUILESS_MAIN(SourceResolutionTest)
#include "test_sourceresolution.moc"
