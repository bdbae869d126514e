#include "appsettings.h"

namespace kelvo {

namespace {

MonitoredAppRule nameRule(const QString& name)
{
    return {QUuid::createUuid(), name, AppMatchStrategy::localizedNameContains, name};
}

} // namespace

const QList<MonitoredAppRule>& MonitoredAppRule::defaultRules()
{
    static const QList<MonitoredAppRule> rules{
        nameRule(QStringLiteral("ChatGPT")),    nameRule(QStringLiteral("Claude")),
        nameRule(QStringLiteral("Cursor")),     nameRule(QStringLiteral("Windsurf")),
        nameRule(QStringLiteral("Perplexity")),
    };
    return rules;
}

QList<BrowserDomainRule> AppSettings::defaultBrowserDomainRules()
{
    return {
        {QStringLiteral("chatgpt.com"), QStringLiteral("ChatGPT 网页"),
         QStringLiteral("message.circle")},
        {QStringLiteral("claude.ai"), QStringLiteral("Claude 网页"), QStringLiteral("text.bubble")},
        {QStringLiteral("gemini.google.com"), QStringLiteral("Gemini 网页"),
         QStringLiteral("sparkles")},
        {QStringLiteral("perplexity.ai"), QStringLiteral("Perplexity 网页"),
         QStringLiteral("globe")},
        {QStringLiteral("poe.com"), QStringLiteral("Poe 网页"), QStringLiteral("network")},
    };
}

const AppSettings& AppSettings::defaults()
{
    static const AppSettings settings = [] {
        AppSettings s;
        s.monitoredApps = MonitoredAppRule::defaultRules();
        s.browserDomainRules = defaultBrowserDomainRules();
        return s;
    }();
    return settings;
}

} // namespace kelvo
