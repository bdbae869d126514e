// Usage: tabprobe APPLICATION-ID
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
    if (app.arguments().size() != 2) {
        QTextStream(stderr) << "usage: tabprobe APPLICATION-ID\n";
        return 2;
    }
    kelvo::TabFileReader reader;
    kelvo::BrowserAIContextDetector detector(reader);
    const auto context = detector.context({app.arguments().at(1), std::nullopt},
                                          kelvo::AppSettings::defaults().browserDomainRules);
    QTextStream out(stdout);
    if (context)
        out << context->domainRule.displayName << ' ' << context->domainRule.host << ' '
            << context->url.toString() << '\n';
    else
        out << "none\n";
    return 0;
}
