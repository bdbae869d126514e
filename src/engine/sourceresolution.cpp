#include "sourceresolution.h"

#include "browserdetector.h"

#include <QLocale>
#include <QUrl>

namespace kelvo {

namespace {

ResolvedSource webSource(const BrowserAIContext& context)
{
    return ResolvedSource{
        .appRuleId = std::nullopt,
        .displayName = context.domainRule.displayName,
        .bundleIdentifier = context.browserBundleIdentifier,
        .sourceType = SessionSourceType::browserDomain,
        .sourceIdentifier =
            context.browserBundleIdentifier + QStringLiteral("::") + context.domainRule.host,
        .domain = context.domainRule.host,
        .browserName = context.browserName,
    };
}

ResolvedSource desktopSource(const MonitoredAppRule& rule, const FrontmostAppSnapshot& snapshot)
{
    const QString identifier =
        snapshot.bundleIdentifier.value_or(rule.id.toString(QUuid::WithoutBraces).toUpper());
    return ResolvedSource{
        .appRuleId = rule.id,
        .displayName = rule.displayName,
        .bundleIdentifier = snapshot.bundleIdentifier,
        .sourceType = SessionSourceType::desktopApp,
        .sourceIdentifier = identifier,
        .domain = std::nullopt,
        .browserName = std::nullopt,
    };
}

} // namespace

bool ruleMatches(const MonitoredAppRule& rule, const FrontmostAppSnapshot& snapshot)
{
    switch (rule.strategy) {
    case AppMatchStrategy::bundleIdentifier:
        return snapshot.bundleIdentifier &&
               snapshot.bundleIdentifier->compare(rule.matchValue, Qt::CaseInsensitive) == 0;
    case AppMatchStrategy::localizedNameContains: {
        // A search for the empty text finds nothing.
        if (!snapshot.localizedName || rule.matchValue.isEmpty())
            return false;
        const QLocale locale = QLocale::system();
        return locale.toLower(*snapshot.localizedName)
            .contains(locale.toLower(rule.matchValue), Qt::CaseInsensitive);
    }
    }
    return false;
}

std::optional<ResolvedSource> resolveSource(const FrontmostAppSnapshot& snapshot,
                                            const AppSettings& settings,
                                            BrowserAIContextDetector& detector)
{
    if (settings.webMonitoringEnabled) {
        if (const auto context = detector.context(snapshot, settings.browserDomainRules))
            return webSource(*context);
    }
    if (!settings.desktopMonitoringEnabled)
        return std::nullopt;
    for (const MonitoredAppRule& rule : settings.monitoredApps) {
        if (ruleMatches(rule, snapshot))
            return desktopSource(rule, snapshot);
    }
    return std::nullopt;
}

QString normalizeBrowserHost(const QString& input)
{
    const QString trimmed = input.trimmed();
    if (trimmed.isEmpty())
        return {};

    const QUrl url(trimmed, QUrl::StrictMode);
    if (url.isValid()) {
        const QString host = url.host().toLower();
        if (!host.isEmpty())
            return host;
    }

    // A bare host, perhaps with a path or a port: keep what precedes the first "/".
    QString host = trimmed.toLower();
    const qsizetype slash = host.indexOf(QLatin1Char('/'));
    if (slash >= 0)
        host.truncate(slash);
    qsizetype begin = 0;
    qsizetype end = host.size();
    while (begin < end && host.at(begin) == QLatin1Char('.'))
        ++begin;
    while (end > begin && host.at(end - 1) == QLatin1Char('.'))
        --end;
    return host.mid(begin, end - begin);
}

} // namespace kelvo
