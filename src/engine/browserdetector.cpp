#include "browserdetector.h"

#include <array>

namespace kelvo {

namespace {

struct BrowserEntry {
    const char16_t* identifier;
    const char16_t* key;
    const char16_t* name;
};

// Desktop-entry ids on Linux (native, Flatpak) beside the two bundle identifiers.
constexpr std::array browsers{
    BrowserEntry{u"com.google.Chrome", u"chrome", u"Chrome"},
    BrowserEntry{u"google-chrome", u"chrome", u"Chrome"},
    BrowserEntry{u"chromium", u"chromium", u"Chromium"},
    BrowserEntry{u"chromium-browser", u"chromium", u"Chromium"},
    BrowserEntry{u"org.chromium.Chromium", u"chromium", u"Chromium"},
    BrowserEntry{u"firefox", u"firefox", u"Firefox"},
    BrowserEntry{u"firefox-esr", u"firefox", u"Firefox"},
    BrowserEntry{u"org.mozilla.firefox", u"firefox", u"Firefox"},
    BrowserEntry{u"com.apple.Safari", u"safari", u"Safari"},
};

bool hostMatches(const QString& tabHost, const QString& ruleHost)
{
    return tabHost == ruleHost ||
           (tabHost.endsWith(ruleHost) && tabHost.size() > ruleHost.size() &&
            tabHost.at(tabHost.size() - ruleHost.size() - 1) == QLatin1Char('.'));
}

} // namespace

std::optional<SupportedBrowser> supportedBrowser(const QString& applicationIdentifier)
{
    for (const BrowserEntry& entry : browsers) {
        if (applicationIdentifier == QStringView(entry.identifier))
            return SupportedBrowser{QString::fromUtf16(entry.key), QString::fromUtf16(entry.name)};
    }
    return std::nullopt;
}

std::optional<BrowserAIContext>
BrowserAIContextDetector::context(const FrontmostAppSnapshot& snapshot,
                                  const QList<BrowserDomainRule>& rules)
{
    if (!snapshot.bundleIdentifier)
        return std::nullopt;
    const auto browser = supportedBrowser(*snapshot.bundleIdentifier);
    if (!browser)
        return std::nullopt;
    const auto url = activeURL(*snapshot.bundleIdentifier);
    if (!url || rules.isEmpty())
        return std::nullopt;
    const QString tabHost = url->host().toLower();
    if (tabHost.isEmpty())
        return std::nullopt;

    for (const BrowserDomainRule& rule : rules) {
        if (hostMatches(tabHost, rule.host.toLower())) {
            return BrowserAIContext{
                .browserBundleIdentifier = *snapshot.bundleIdentifier,
                .browserName = snapshot.localizedName.value_or(browser->fallbackName),
                .domainRule = rule,
                .url = *url,
            };
        }
    }
    return std::nullopt;
}

std::optional<QUrl> BrowserAIContextDetector::activeURL(const QString& bundleIdentifier)
{
    const auto browser = supportedBrowser(bundleIdentifier);
    if (!browser)
        return std::nullopt;
    const auto text = m_reader.activeTabUrl(*browser);
    if (!text || text->isEmpty())
        return std::nullopt;
    const QUrl url(*text, QUrl::StrictMode);
    if (!url.isValid())
        return std::nullopt;
    return url;
}

} // namespace kelvo
