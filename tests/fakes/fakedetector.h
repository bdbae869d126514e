#pragma once

#include "engine/browserdetector.h"

#include <QHash>

// Answers for a browser from the host of its "active tab", matched like the real detector:
// the host itself or a sub-domain of a rule's host, first rule wins.
class FakeBrowserDetector final : public kelvo::BrowserAIContextDetector {
public:
    void setActiveTab(const QString& browserIdentifier, const QString& host)
    {
        m_tabs.insert(browserIdentifier, host);
    }

    std::optional<kelvo::BrowserAIContext>
    context(const kelvo::FrontmostAppSnapshot& snapshot,
            const QList<kelvo::BrowserDomainRule>& rules) override
    {
        ++queries;
        if (!snapshot.bundleIdentifier || !m_tabs.contains(*snapshot.bundleIdentifier))
            return std::nullopt;
        const QString host = m_tabs.value(*snapshot.bundleIdentifier).toLower();
        for (const kelvo::BrowserDomainRule& rule : rules) {
            const QString ruleHost = rule.host.toLower();
            if (host == ruleHost || host.endsWith(QLatin1Char('.') + ruleHost)) {
                return kelvo::BrowserAIContext{
                    *snapshot.bundleIdentifier,
                    snapshot.localizedName.value_or(QStringLiteral("Browser")), rule,
                    QUrl(QStringLiteral("https://") + host + QStringLiteral("/"))};
            }
        }
        return std::nullopt;
    }

    int queries = 0;

private:
    QHash<QString, QString> m_tabs;
};
