// Usage: tabprobe APPLICATION-ID [NAME]
// Prints what Kelvo sees when that application is in front: "<displayName> <rule host> <url>" for
// a tab that matches one of the default web rules, otherwise "none".

#include "engine/browserdetector.h"
#include "model/appsettings.h"
#include "platform/browser/tabfilereader.h"

#include <QCoreApplication>
#include <QTextStream>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    if (arguments.size() < 2 || arguments.size() > 3) {
        QTextStream(stderr) << "usage: tabprobe APPLICATION-ID [NAME]\n";
        return 2;
    }
    kelvo::FrontmostAppSnapshot snapshot{arguments.at(1), std::nullopt};
    if (arguments.size() == 3)
        snapshot.localizedName = arguments.at(2);

    kelvo::TabFileReader reader;
    kelvo::BrowserAIContextDetector detector(reader);
    const auto context =
        detector.context(snapshot, kelvo::AppSettings::defaults().browserDomainRules);
    QTextStream out(stdout);
    if (context)
        out << context->domainRule.displayName << ' ' << context->domainRule.host << ' '
            << context->url.toString() << '\n';
    else
        out << "none\n";
    return 0;
}
