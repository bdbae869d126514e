#pragma once

#include "appsettings.h"

#include <QString>
#include <QUrl>

#include <optional>

namespace kelvo {

// The application in front at one instant; either field may be absent.
struct FrontmostAppSnapshot {
    std::optional<QString> bundleIdentifier;
    std::optional<QString> localizedName;

    bool operator==(const FrontmostAppSnapshot&) const = default;
};

// The active tab of the browser in front, when it matched a web rule.
struct BrowserAIContext {
    QString browserBundleIdentifier;
    QString browserName;
    BrowserDomainRule domainRule;
    QUrl url;

    bool operator==(const BrowserAIContext&) const = default;
};

} // namespace kelvo
