#include "engine/sourceresolution.h"
#include "fakes/fakedetector.h"

#include <QtTest>

using namespace kelvo;

namespace {

const QString none = QStringLiteral("<none>");

std::optional<QString> optionalText(const QString& text)
{
    return text == none ? std::nullopt : std::optional<QString>(text);
}

// Rules written as "bundle:value" or "name:value", separated by "|".
QList<MonitoredAppRule> parseRules(const QString& text)
{
    QList<MonitoredAppRule> rules;
    for (const QString& item : text.split(QLatin1Char('|'), Qt::SkipEmptyParts)) {
        const qsizetype colon = item.indexOf(QLatin1Char(':'));
        const QString kind = item.left(colon);
        const QString value = item.mid(colon + 1);
        rules.append({QUuid::createUuid(), QStringLiteral("Rule ") + value,
                      kind == QStringLiteral("bundle") ? AppMatchStrategy::bundleIdentifier
                                                       : AppMatchStrategy::localizedNameContains,
                      value});
    }
    return rules;
}

} // namespace

class SourceResolutionTest final : public QObject {
    Q_OBJECT

private slots:
    void resolvesSnapshots_data();
    void resolvesSnapshots();
    void monitoringOffNeverAsksTheDetector();
    void desktopSourceWithoutIdentifierUsesRuleId();
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
    QTest::addColumn<QString>("expectedIdentifier");
    QTest::addColumn<QString>("expectedName");
    QTest::addColumn<int>("expectedRule"); // index into the rules, -1 for a web source or none

    QTest::newRow("web sub-domain") << true << true << "name:Chromium"
                                    << "chromium"
                                    << "Chromium"
                                    << "www.ChatGPT.com"
                                    << "chromium::chatgpt.com"
                                    << "ChatGPT 网页" << -1;
    QTest::newRow("web off leaves only desktop rules")
        << false << true << "bundle:org.example.editor"
        << "chromium"
        << "Chromium"
        << "chatgpt.com" << none << none << -1;
    QTest::newRow("web off, desktop rule names the browser") << false << true << "name:chrom"
                                                             << "chromium"
                                                             << "Chromium"
                                                             << "chatgpt.com"
                                                             << "chromium"
                                                             << "Rule chrom" << 0;
    QTest::newRow("tab matches no web rule, desktop name rule matches browser")
        << true << true << "name:Chrom"
        << "chromium"
        << "Chromium"
        << "example.org"
        << "chromium"
        << "Rule Chrom" << 0;
    QTest::newRow("web rule wins over a desktop rule for the browser")
        << true << true << "name:Chromium"
        << "chromium"
        << "Chromium"
        << "claude.ai"
        << "chromium::claude.ai"
        << "Claude 网页" << -1;
    QTest::newRow("identifier differs only in case") << true << true << "bundle:Com.OpenAI.Chat"
                                                     << "com.openai.chat"
                                                     << "ChatGPT" << none << "com.openai.chat"
                                                     << "Rule Com.OpenAI.Chat" << 0;
    QTest::newRow("identifier prefix does not match") << true << true << "bundle:com.openai"
                                                      << "com.openai.chat"
                                                      << "ChatGPT" << none << none << none << -1;
    QTest::newRow("keyword ignores case") << true << true << "name:ChatGPT"
                                          << "chatgpt-desktop"
                                          << "chatgpt desktop" << none << "chatgpt-desktop"
                                          << "Rule ChatGPT" << 0;
    QTest::newRow("name does not contain a longer keyword")
        << true << true << "name:ChatGPT Pro"
        << "chatgpt"
        << "ChatGPT" << none << none << none << -1;
    QTest::newRow("empty keyword never matches") << true << true << "name:"
                                                 << "editor"
                                                 << "Editor" << none << none << none << -1;
    QTest::newRow("first of two matching rules wins") << true << true << "name:GPT|name:Chat"
                                                      << "chatgpt"
                                                      << "ChatGPT" << none << "chatgpt"
                                                      << "Rule GPT" << 0;
    QTest::newRow("identifier rule needs an identifier")
        << true << true << "bundle:chatgpt" << none << "chatgpt" << none << none << none << -1;
    QTest::newRow("nothing in front")
        << true << true << "name:Chat|bundle:chatgpt" << none << none << none << none << none << -1;
    QTest::newRow("desktop off") << true << false << "name:ChatGPT"
                                 << "chatgpt"
                                 << "ChatGPT" << none << none << none << -1;
}

void SourceResolutionTest::resolvesSnapshots()
{
    QFETCH(bool, web);
    QFETCH(bool, desktop);
    QFETCH(QString, rules);
    QFETCH(QString, bundle);
    QFETCH(QString, name);
    QFETCH(QString, tabHost);
    QFETCH(QString, expectedIdentifier);
    QFETCH(QString, expectedName);
    QFETCH(int, expectedRule);

    AppSettings settings = AppSettings::defaults();
    settings.webMonitoringEnabled = web;
    settings.desktopMonitoringEnabled = desktop;
    settings.monitoredApps = parseRules(rules);
    FakeBrowserDetector detector;
    if (tabHost != none)
        detector.setActiveTab(bundle, tabHost);

    const auto source =
        resolveSource({optionalText(bundle), optionalText(name)}, settings, detector);

    if (expectedIdentifier == none) {
        QVERIFY(!source);
        return;
    }
    QVERIFY(source);
    QCOMPARE(source->sourceIdentifier, expectedIdentifier);
    QCOMPARE(source->displayName, expectedName);
    QCOMPARE(source->bundleIdentifier, optionalText(bundle));
    if (expectedRule < 0) {
        QCOMPARE(source->sourceType, SessionSourceType::browserDomain);
        QVERIFY(!source->appRuleId);
        QCOMPARE(source->domain, expectedIdentifier.section(QStringLiteral("::"), 1));
        QCOMPARE(source->browserName, optionalText(name));
    } else {
        QCOMPARE(source->sourceType, SessionSourceType::desktopApp);
        QCOMPARE(source->appRuleId, settings.monitoredApps.at(expectedRule).id);
        QVERIFY(!source->domain && !source->browserName);
    }
}

void SourceResolutionTest::monitoringOffNeverAsksTheDetector()
{
    AppSettings settings = AppSettings::defaults();
    settings.webMonitoringEnabled = false;
    settings.desktopMonitoringEnabled = false;
    FakeBrowserDetector detector;
    detector.setActiveTab(QStringLiteral("chromium"), QStringLiteral("chatgpt.com"));
    QVERIFY(!resolveSource({QStringLiteral("chromium"), QStringLiteral("ChatGPT - Chromium")},
                           settings, detector));
    QCOMPARE(detector.queries, 0);
}

void SourceResolutionTest::desktopSourceWithoutIdentifierUsesRuleId()
{
    AppSettings settings = AppSettings::defaults();
    FakeBrowserDetector detector;
    const auto source = resolveSource({std::nullopt, QStringLiteral("Claude")}, settings, detector);
    QVERIFY(source);
    const QUuid ruleId = settings.monitoredApps.at(1).id;
    QCOMPARE(source->appRuleId, ruleId);
    QCOMPARE(source->sourceIdentifier, ruleId.toString(QUuid::WithoutBraces).toUpper());
    QVERIFY(!source->bundleIdentifier);
}

void SourceResolutionTest::normalizesHosts_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("expected");

    QTest::newRow("blank") << " \t\n "
                           << "";
    QTest::newRow("empty") << ""
                           << "";
    QTest::newRow("surrounding blanks and line breaks") << "\n  claude.ai \r\n"
                                                        << "claude.ai";
    QTest::newRow("full URL") << "HTTPS://User@Chat.OpenAI.COM:8443/c/1?q=2#x"
                              << "chat.openai.com";
    QTest::newRow("bare host with path") << "Gemini.Google.com/app/x"
                                         << "gemini.google.com";
    QTest::newRow("dots at both ends") << "..poe.com.."
                                       << "poe.com";
    QTest::newRow("URL keeps a trailing dot") << "https://poe.com./"
                                              << "poe.com.";
    QTest::newRow("URL keeps a leading label") << "https://www.perplexity.ai"
                                               << "www.perplexity.ai";
    QTest::newRow("port without scheme stays") << "chatgpt.com:443"
                                               << "chatgpt.com:443";
    QTest::newRow("IPv6 host without brackets") << "http://[::1]:8080/"
                                                << "::1";
    QTest::newRow("only slashes and dots") << "./"
                                           << "";
    QTest::newRow("non-ASCII host") << "Ünï.example/x"
                                    << "ünï.example";
}

void SourceResolutionTest::normalizesHosts()
{
    QFETCH(QString, input);
    QFETCH(QString, expected);
    QCOMPARE(normalizeBrowserHost(input), expected);
}

QTEST_GUILESS_MAIN(SourceResolutionTest)
#include "test_sourceresolution.moc"
