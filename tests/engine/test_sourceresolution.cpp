#include "engine/browserdetector.h"
#include "engine/sourceresolution.h"
#include "fakes/faketabreader.h"

#include <QtTest>

using namespace kelvo;
using namespace Qt::StringLiterals;

namespace {

const QString none = u"<none>"_s;

std::optional<QString> optionalText(const QString& text)
{
    return text == none ? std::nullopt : std::optional<QString>(text);
}

// Rules written as "bundle:value", "name:value" or "web:host", separated by "|"; web rules, when
// there are any, take the place of the default ones; "no-web" and "no-desktop" turn monitoring off.
void parseRules(const QString& text, AppSettings& settings)
{
    settings.monitoredApps.clear();
    QList<BrowserDomainRule> web;
    for (const QString& item : text.split(QLatin1Char('|'), Qt::SkipEmptyParts)) {
        const QString kind = item.section(QLatin1Char(':'), 0, 0);
        const QString value = item.section(QLatin1Char(':'), 1);
        if (item == u"no-web"_s)
            settings.webMonitoringEnabled = false;
        else if (item == u"no-desktop"_s)
            settings.desktopMonitoringEnabled = false;
        else if (kind == u"web"_s)
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

// The rules, the foreground and its active tab, and the source expected: "identifier | name |
// browser" for a web source, "identifier | name | rule N" for one of the Nth desktop rule (whose
// id reads "rule N" wherever it appears).
void row(const char* name, const QString& rules, const QString& bundle, const QString& appName,
         const QString& tabUrl, const QString& expected)
{
    QTest::newRow(name) << rules << bundle << appName << tabUrl << expected;
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
    QTest::addColumn<QString>("rules");
    QTest::addColumn<QString>("bundle");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("tabUrl");
    QTest::addColumn<QString>("expected");

    const QString chat = u"https://chatgpt.com/"_s;
    row("web sub-domain", "name:Chromium", "chromium", "Chromium", "https://www.ChatGPT.com/c/1",
        "chromium::chatgpt.com | ChatGPT 网页 | Chromium");
    row("web: port, path and query; the browser's own name", "", "firefox-esr", none,
        "http://chatgpt.com:8080/c/1?q=2#x", "firefox-esr::chatgpt.com | ChatGPT 网页 | Firefox");
    row("web: a rule in other case is kept as stored", "web:Claude.AI", "google-chrome", none,
        "https://CLAUDE.ai/new", "google-chrome::Claude.AI | Site Claude.AI | Chrome");
    row("web: the first matching rule wins", "web:openai.com|web:chat.openai.com",
        "org.mozilla.firefox", "Firefox ESR", "https://chat.openai.com/",
        "org.mozilla.firefox::openai.com | Site openai.com | Firefox ESR");
    row("web: a suffix without the dot is another host", "", "chromium", "Chromium",
        "https://notchatgpt.com/", none);
    row("web: a rule with a scheme or path matches nothing",
        "web:https://chatgpt.com|web:chatgpt.com/c", "chromium", "Chromium", chat, none);
    row("web: a local file", "", "chromium", "Chromium", "file:///home/a/chatgpt.com", none);
    row("web: no tab file", "", "chromium", "Chromium", none, none);
    // Identifiers are compared exactly; an unsupported application's tab is never read.
    row("web: unsupported browser", "", "org.kde.falkon", "Falkon", chat, none);
    row("web: browser identifier in other case", "", "Chromium", "Chromium", chat, none);
    row("web off: a keyword in other case names the browser", "no-web|name:CHROM", "chromium",
        "Chromium", chat, "chromium | Rule CHROM | rule 0");
    row("tab matches no web rule: desktop rules apply", "name:Chrom", "chromium", "Chromium",
        "https://example.org/", "chromium | Rule Chrom | rule 0");
    row("web rule wins over a desktop rule", "name:Chromium", "chromium", "Chromium",
        "https://claude.ai/", "chromium::claude.ai | Claude 网页 | Chromium");
    row("identifier differs only in case", "bundle:Com.OpenAI.Chat", "com.openai.chat", "ChatGPT",
        none, "com.openai.chat | Rule Com.OpenAI.Chat | rule 0");
    row("identifier prefix does not match", "bundle:com.openai", "com.openai.chat", "ChatGPT", none,
        none);
    row("empty keyword never matches", "name:", "editor", "Editor", none, none);
    row("first of two matching rules wins", "name:GPT|name:Chat", "chatgpt", "ChatGPT", none,
        "chatgpt | Rule GPT | rule 0");
    // A desktop source without an identifier is named by its rule's id.
    row("no identifier: the rule's id", "bundle:claude|name:Claude", none, "Claude", none,
        "rule 1 | Rule Claude | rule 1");
    row("nothing in front", "name:Chat|bundle:chatgpt", none, none, none, none);
    row("desktop off", "no-desktop|name:ChatGPT", "chatgpt", "ChatGPT", none, none);
}

void SourceResolutionTest::resolvesSnapshots()
{
    QFETCH(QString, rules);
    QFETCH(QString, bundle);
    QFETCH(QString, name);
    QFETCH(QString, tabUrl);
    QFETCH(QString, expected);

    AppSettings settings = AppSettings::defaults();
    parseRules(rules, settings);
    FakeTabReader tabs;
    BrowserAIContextDetector detector(tabs);
    const auto supported = supportedBrowser(bundle);
    if (supported && tabUrl != none)
        tabs.setActiveTab(supported->key, tabUrl);

    const auto source =
        resolveSource({optionalText(bundle), optionalText(name)}, settings, detector);
    // Only a supported browser is asked for its tab, and only with web monitoring on.
    QCOMPARE(tabs.reads, settings.webMonitoringEnabled && supported ? QStringList{supported->key}
                                                                    : QStringList{});
    QString seen = none;
    if (source) {
        // A web source names its host and browser and no rule; a desktop source only its rule.
        const bool web = source->sourceType == SessionSourceType::browserDomain;
        QCOMPARE(source->domain,
                 web ? std::optional(source->sourceIdentifier.section(u"::"_s, 1)) : std::nullopt);
        QCOMPARE(source->browserName.has_value(), web);
        QCOMPARE(source->appRuleId.has_value(), !web);
        QCOMPARE(source->bundleIdentifier, optionalText(bundle));
        const auto idText = [](const QUuid& id) {
            return id.toString(QUuid::WithoutBraces).toUpper();
        };
        seen = QStringList{source->sourceIdentifier, source->displayName,
                           web ? source->browserName.value_or(none) : idText(*source->appRuleId)}
                   .join(u" | "_s);
        for (qsizetype i = 0; i < settings.monitoredApps.size(); ++i)
            seen.replace(idText(settings.monitoredApps.at(i).id), u"rule "_s + QString::number(i));
    }
    QCOMPARE(seen, expected);
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
