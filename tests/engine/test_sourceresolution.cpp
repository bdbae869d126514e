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

// Rules written as "bundle:value", "name:value" or "web:host", separated by "|"; web rules, when
// there are any, take the place of the default ones.
void parseRules(const QString& text, AppSettings& settings)
{
    settings.monitoredApps.clear();
    QList<BrowserDomainRule> web;
    for (const QString& item : text.split(QLatin1Char('|'), Qt::SkipEmptyParts)) {
        const QString kind = item.section(QLatin1Char(':'), 0, 0);
        const QString value = item.section(QLatin1Char(':'), 1);
        if (kind == u"web"_s)
            web.append({value, u"Site "_s + value, u"globe"_s});
        else
            settings.monitoredApps.append({QUuid::createUuid(), u"Rule "_s + value,
                                           kind == u"bundle"_s
                                               ? AppMatchStrategy::bundleIdentifier
                                               : AppMatchStrategy::localizedNameContains,
                                           value});
    }
    if (!web.isEmpty())
        settings.browserDomainRules = web;
}

// The foreground, its active tab, and the expected source: identifier, name, the browser's name
// (web sources) and the index of the matched desktop rule (-1 for a web source or none).
void row(const char* name, bool web, bool desktop, const QString& rules, const QString& bundle,
         const QString& appName, const QString& tabUrl, const QString& identifier,
         const QString& displayName, const QString& browser = none, int rule = -1)
{
    QTest::newRow(name) << web << desktop << rules << bundle << appName << tabUrl << identifier
                        << displayName << browser << rule;
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
    QTest::addColumn<QString>("tabUrl");
    QTest::addColumn<QString>("identifier");
    QTest::addColumn<QString>("displayName");
    QTest::addColumn<QString>("browser");
    QTest::addColumn<int>("rule");

    const QString chat = u"https://chatgpt.com/"_s;
    row("web sub-domain", true, true, "name:Chromium", "chromium", "Chromium",
        "https://www.ChatGPT.com/c/1", "chromium::chatgpt.com", "ChatGPT 网页", "Chromium");
    row("web: port, path and query; the browser's own name", true, true, "", "firefox-esr", none,
        "http://chatgpt.com:8080/c/1?q=2#x", "firefox-esr::chatgpt.com", "ChatGPT 网页", "Firefox");
    row("web: a rule in other case is kept as stored", true, true, "web:Claude.AI", "google-chrome",
        none, "https://CLAUDE.ai/new", "google-chrome::Claude.AI", "Site Claude.AI", "Chrome");
    row("web: the first matching rule wins", true, true, "web:openai.com|web:chat.openai.com",
        "org.mozilla.firefox", "Firefox ESR", "https://chat.openai.com/",
        "org.mozilla.firefox::openai.com", "Site openai.com", "Firefox ESR");
    row("web: a suffix without the dot is another host", true, true, "", "chromium", "Chromium",
        "https://notchatgpt.com/", none, none);
    row("web: a rule with a scheme or path matches nothing", true, true,
        "web:https://chatgpt.com|web:chatgpt.com/c", "chromium", "Chromium", chat, none, none);
    row("web: a local file", true, true, "", "chromium", "Chromium", "file:///home/a/chatgpt.com",
        none, none);
    row("web: not a URL", true, true, "web:chat gpt.com", "chromium", "Chromium",
        "http://chat gpt.com/", none, none);
    row("web: no tab file", true, true, "", "chromium", "Chromium", none, none, none);
    // Identifiers are compared exactly; an unsupported application's tab is never read.
    row("web: unsupported browser", true, true, "", "org.kde.falkon", "Falkon", chat, none, none);
    row("web: browser identifier in other case", true, true, "", "Chromium", "Chromium", chat, none,
        none);
    row("web off: a keyword in other case names the browser", false, true, "name:CHROM", "chromium",
        "Chromium", chat, "chromium", "Rule CHROM", none, 0);
    row("tab matches no web rule: desktop rules apply", true, true, "name:Chrom", "chromium",
        "Chromium", "https://example.org/", "chromium", "Rule Chrom", none, 0);
    row("web rule wins over a desktop rule", true, true, "name:Chromium", "chromium", "Chromium",
        "https://claude.ai/", "chromium::claude.ai", "Claude 网页", "Chromium");
    row("identifier differs only in case", true, true, "bundle:Com.OpenAI.Chat", "com.openai.chat",
        "ChatGPT", none, "com.openai.chat", "Rule Com.OpenAI.Chat", none, 0);
    row("identifier prefix does not match", true, true, "bundle:com.openai", "com.openai.chat",
        "ChatGPT", none, none, none);
    row("empty keyword never matches", true, true, "name:", "editor", "Editor", none, none, none);
    row("first of two matching rules wins", true, true, "name:GPT|name:Chat", "chatgpt", "ChatGPT",
        none, "chatgpt", "Rule GPT", none, 0);
    row("no identifier: the rule's id", true, true, "bundle:claude|name:Claude", none, "Claude",
        none, matchedRuleId, "Rule Claude", none, 1);
    row("nothing in front", true, true, "name:Chat|bundle:chatgpt", none, none, none, none, none);
    row("desktop off", true, false, "name:ChatGPT", "chatgpt", "ChatGPT", none, none, none);
}

void SourceResolutionTest::resolvesSnapshots()
{
    QFETCH(bool, web);
    QFETCH(bool, desktop);
    QFETCH(QString, rules);
    QFETCH(QString, bundle);
    QFETCH(QString, name);
    QFETCH(QString, tabUrl);
    QFETCH(QString, identifier);
    QFETCH(QString, displayName);
    QFETCH(QString, browser);
    QFETCH(int, rule);

    AppSettings settings = AppSettings::defaults();
    settings.webMonitoringEnabled = web;
    settings.desktopMonitoringEnabled = desktop;
    parseRules(rules, settings);
    FakeTabReader tabs;
    BrowserAIContextDetector detector(tabs);
    const auto supported = supportedBrowser(bundle);
    if (supported && tabUrl != none)
        tabs.setActiveTab(supported->key, tabUrl);

    const auto source =
        resolveSource({optionalText(bundle), optionalText(name)}, settings, detector);
    // Only a supported browser is asked for its tab, and only with web monitoring on.
    QCOMPARE(tabs.reads, web && supported ? QStringList{supported->key} : QStringList{});
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
        QCOMPARE(source->browserName, browser);
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

    QTest::newRow("full URL") << u"HTTPS://User@Chat.OpenAI.COM:8443/c/1?q=2#x"_s
                              << u"chat.openai.com"_s;
    QTest::newRow("bare host with path, blanks around")
        << u"\n  Gemini.Google.com/app/x \r\n"_s << u"gemini.google.com"_s;
    QTest::newRow("dots at both ends") << u"..poe.com.."_s << u"poe.com"_s;
    QTest::newRow("URL keeps a trailing dot") << u"https://poe.com./"_s << u"poe.com."_s;
    QTest::newRow("port without scheme stays") << u"chatgpt.com:443"_s << u"chatgpt.com:443"_s;
    QTest::newRow("IPv6 host without brackets") << u"http://[::1]:8080/"_s << u"::1"_s;
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
