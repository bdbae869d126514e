// The cost of resolving one snapshot while a browser is in front: reading its tab file, decoding
// it, checking that its host still runs, and matching the default web rules. Prints the median
// and the 99th percentile of the wall time per resolution; asserts nothing.

#include "engine/browserdetector.h"
#include "engine/sourceresolution.h"
#include "model/privatefiles.h"
#include "platform/browser/tabfilereader.h"
#include "tabs/tabfile.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace kelvo;
using namespace Qt::Literals::StringLiterals;

namespace {

constexpr int resolutions = 20000;
constexpr double goalUs = 200;

double percentile(std::vector<double> values, double fraction)
{
    std::sort(values.begin(), values.end());
    return values[static_cast<size_t>(fraction * double(values.size() - 1))];
}

// Resolves the same snapshot again and again; every resolution reads the file anew.
std::vector<double> timeResolutions(const FrontmostAppSnapshot& snapshot, bool expectWebSource)
{
    TabFileReader reader;
    BrowserAIContextDetector detector(reader);
    const AppSettings settings = AppSettings::defaults();
    std::vector<double> times;
    times.reserve(resolutions);
    QElapsedTimer timer;
    for (int i = 0; i < resolutions; ++i) {
        timer.start();
        const auto source = resolveSource(snapshot, settings, detector);
        times.push_back(double(timer.nsecsElapsed()) / 1e3);
        if (source.has_value() != expectWebSource ||
            (source && source->sourceIdentifier != u"chromium::chatgpt.com"_s)) {
            std::fprintf(stderr, "unexpected resolution\n");
            std::exit(1);
        }
    }
    return times;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir runtime;
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
    QString error;
    PrivateFiles::ensureFolder(tabs::tabsFolder(), &error);
    const QByteArray record =
        tabs::encode({u"https://chatgpt.com"_s, QCoreApplication::applicationPid()});
    if (!PrivateFiles::writeAtomically(tabs::tabFilePath(u"chromium"_s), record, &error)) {
        std::fprintf(stderr, "cannot write the tab file: %s\n", qPrintable(error));
        return 1;
    }

    const FrontmostAppSnapshot browser{u"chromium"_s, u"Chromium"_s};
    const auto times = timeResolutions(browser, true);
    // Another tab: the web rules are all walked, then the desktop rules.
    PrivateFiles::writeAtomically(
        tabs::tabFilePath(u"chromium"_s),
        tabs::encode({u"https://example.org"_s, QCoreApplication::applicationPid()}), &error);
    const auto otherTimes = timeResolutions(browser, false);

    std::printf("browser in front, %d resolutions each (reading, parsing and matching the tab "
                "file)\n",
                resolutions);
    std::printf("  on chatgpt.com:  median %6.1f us, p99 %6.1f us   (goal <= %.0f us: %s)\n",
                percentile(times, 0.5), percentile(times, 0.99), goalUs,
                percentile(times, 0.5) <= goalUs ? "met" : "NOT met");
    std::printf("  on example.org:  median %6.1f us, p99 %6.1f us\n", percentile(otherTimes, 0.5),
                percentile(otherTimes, 0.99));
    return 0;
}
