#pragma once

#include "model/appsettings.h"
#include "model/snapshot.h"

#include <QList>
#include <QString>
#include <QUrl>

#include <optional>

namespace kelvo {

// A browser whose active tab Kelvo can read, and the name it goes by when the snapshot has none.
struct SupportedBrowser {
    QString key; // names the browser to its tab reader: "chrome", "chromium", "firefox", "safari"
    QString fallbackName;

    bool operator==(const SupportedBrowser&) const = default;
};

// The supported browser with this application identifier (exact, case-sensitive), or nothing.
std::optional<SupportedBrowser> supportedBrowser(const QString& applicationIdentifier);

// Reads the URL of one browser's active tab.
class ActiveTabReader {
public:
    ActiveTabReader() = default;
    ActiveTabReader(const ActiveTabReader&) = delete;
    ActiveTabReader& operator=(const ActiveTabReader&) = delete;
    virtual ~ActiveTabReader() = default;

    // The active tab's URL text, or nothing when the browser cannot tell; never blocks for long.
    virtual std::optional<QString> activeTabUrl(const SupportedBrowser& browser) = 0;
};

// Answers whether the browser in front shows one of the AI web applications of the web rules.
class BrowserAIContextDetector final {
public:
    explicit BrowserAIContextDetector(ActiveTabReader& reader)
        : m_reader(reader)
    {}
    BrowserAIContextDetector(const BrowserAIContextDetector&) = delete;
    BrowserAIContextDetector& operator=(const BrowserAIContextDetector&) = delete;

    // The matched active tab, or nothing; the first matching rule in list order wins. Only a
    // supported browser's tab is ever read.
    std::optional<BrowserAIContext> context(const FrontmostAppSnapshot& snapshot,
                                            const QList<BrowserDomainRule>& rules);

    // The active tab's URL of the browser with this identifier, or nothing.
    std::optional<QUrl> activeURL(const QString& bundleIdentifier);

private:
    ActiveTabReader& m_reader;
};

} // namespace kelvo
