// The cost of the settings window with 200 rules of each kind: opening it the first time, up to
// its first painted frame, and a redraw while it is open (the engine redraws after every change
// and every 30 seconds), both the usual one with nothing changed and one whose rows changed.
// Prints the figures; asserts nothing.

#include "ui/settingspresentation.h"
#include "ui/widgets/applicationtheme.h"
#include "ui/widgets/settingswindow.h"

#include <QApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

using namespace kelvo;

namespace {

AppSettings manyRules(int count)
{
    AppSettings settings = AppSettings::defaults();
    for (int i = 0; i < count; ++i) {
        const QString n = QString::number(i);
        settings.browserDomainRules.append({QStringLiteral("ai%1.example.com").arg(n),
                                            QStringLiteral("网页助手 %1").arg(n),
                                            QStringLiteral("globe")});
        settings.monitoredApps.append({QUuid::createUuid(), QStringLiteral("桌面工具 %1").arg(n),
                                       AppMatchStrategy::bundleIdentifier,
                                       QStringLiteral("org.example.Tool%1").arg(n)});
    }
    return settings;
}

// Counts the window's paint events.
class PaintWatch final : public QObject {
public:
    bool painted = false;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            painted = true;
        return QObject::eventFilter(watched, event);
    }
};

void report(const char* what, const std::function<void(int)>& operation, int rounds)
{
    std::vector<double> times;
    QElapsedTimer timer;
    for (int i = 0; i < rounds; ++i) {
        timer.start();
        operation(i);
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    std::printf("%-52s median %8.3f ms   max %8.3f ms\n", what, times[times.size() / 2],
                times.back());
}

} // namespace

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    applyApplicationTheme(Appearance::light);
    const AppSettings settings = manyRules(200);

    // Each round is a first opening: a new window, built, filled, shown and painted once. The
    // first round of the process also loads the fonts and the style, as Kelvo's first opening
    // does when the tray menu was never opened before.
    const auto open = [&](int) {
        SettingsWindow window(nullptr, nullptr);
        PaintWatch watch;
        window.installEventFilter(&watch);
        window.setModel(SettingsModel::build(settings, NotificationAuthorizationState::authorized));
        window.show();
        while (!watch.painted)
            QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    };
    report("first opening in the process, fonts unloaded", open, 1);
    report("opening to the first painted frame, 200+200", open, 15);

    SettingsWindow window(nullptr, nullptr);
    window.setModel(SettingsModel::build(settings, NotificationAuthorizationState::authorized));
    window.show();
    QApplication::processEvents();
    report(
        "redraw while open, nothing changed",
        [&](int) {
            window.setModel(
                SettingsModel::build(settings, NotificationAuthorizationState::authorized));
        },
        500);
    AppSettings other = settings;
    other.browserDomainRules.removeLast();
    report(
        "redraw while open, the rows changed",
        [&](int i) {
            window.setModel(SettingsModel::build(i % 2 ? settings : other,
                                                 NotificationAuthorizationState::authorized));
        },
        200);
    return 0;
}
