#pragma once

#include "model/appsettings.h"
#include "model/snapshot.h"

#include <QString>
#include <QUuid>

#include <optional>

namespace kelvo {

class BrowserAIContextDetector;

// The AI tool that the foreground matched. Two sources are the same tool exactly when their
// `sourceIdentifier`s are equal.
struct ResolvedSource {
    std::optional<QUuid> appRuleId;
    QString displayName;
    std::optional<QString> bundleIdentifier;
    SessionSourceType sourceType = SessionSourceType::desktopApp;
    QString sourceIdentifier;
    std::optional<QString> domain;
    std::optional<QString> browserName;

    bool operator==(const ResolvedSource&) const = default;
};

// Web rules first (through the detector, when web monitoring is on), then the desktop rules in
// list order. Changes nothing.
std::optional<ResolvedSource> resolveSource(const FrontmostAppSnapshot& snapshot,
                                            const AppSettings& settings,
                                            BrowserAIContextDetector& detector);

// Whether a desktop rule matches the snapshot: a whole, case-insensitive identifier, or the
// rule's keyword inside the application's name under the user's locale.
bool ruleMatches(const MonitoredAppRule& rule, const FrontmostAppSnapshot& snapshot);

// Turns whatever a user typed as a web rule's host into the stored host text (possibly empty).
QString normalizeBrowserHost(const QString& input);

} // namespace kelvo
