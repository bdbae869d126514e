#pragma once

#include "engine/browserdetector.h"

#include <QHash>
#include <QStringList>

// The "active tab" of each browser, by its key, and which browsers were asked.
class FakeTabReader final : public kelvo::ActiveTabReader {
public:
    void setActiveTab(const QString& browserKey, const QString& url) { m_tabs[browserKey] = url; }

    std::optional<QString> activeTabUrl(const kelvo::SupportedBrowser& browser) override
    {
        reads.append(browser.key);
        const auto tab = m_tabs.constFind(browser.key);
        return tab == m_tabs.cend() ? std::nullopt : std::optional<QString>(*tab);
    }

    QStringList reads;

private:
    QHash<QString, QString> m_tabs;
};
