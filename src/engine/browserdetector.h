#pragma once

#include "model/appsettings.h"
#include "model/snapshot.h"

#include <QList>

#include <optional>

namespace kelvo {

// Answers whether the browser in front shows one of the AI web applications of the web rules.
class BrowserAIContextDetector {
public:
    BrowserAIContextDetector() = default;
    BrowserAIContextDetector(const BrowserAIContextDetector&) = delete;
    BrowserAIContextDetector& operator=(const BrowserAIContextDetector&) = delete;
    virtual ~BrowserAIContextDetector() = default;

    // The matched active tab, or nothing; the first matching rule in list order wins. Never blocks.
    virtual std::optional<BrowserAIContext> context(const FrontmostAppSnapshot& snapshot,
                                                    const QList<BrowserDomainRule>& rules) = 0;
};

// A detector for a program without browser support: it never finds a tab.
class NullBrowserDetector final : public BrowserAIContextDetector {
public:
    std::optional<BrowserAIContext> context(const FrontmostAppSnapshot&,
                                            const QList<BrowserDomainRule>&) override
    {
        return std::nullopt;
    }
};

} // namespace kelvo
