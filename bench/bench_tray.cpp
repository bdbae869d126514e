// The cost of the tray: one whole refresh as the engine asks for it (today's figures from a busy
// history of 18,000 sessions, the menu model, the D-Bus menu and the item's update), then the
// D-Bus side alone: the usual refresh that hands the same menu again, a refresh that changes one
// row, and answering a host's GetLayout for the whole menu (the call and the marshalling of its
// reply). Prints the median and the 99th percentile per operation; asserts nothing.

#include "app/desktopsurfaces.h"
#include "busystate.h"
#include "platform/dbus/dbusmenu.h"
#include "platform/dbus/statusnotifieritem.h"
#include "summary/summarycomposer.h"
#include "ui/traymenumodel.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimeZone>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

using namespace kelvo;
using namespace Qt::Literals::StringLiterals;

namespace {

constexpr int defaultRounds = 20000;

using Kind = DBusMenuEntry::Kind;

// Kelvo's menu as a tray host sees it, with today's figures in the first rows.
QList<DBusMenuEntry> menu(int seconds)
{
    return {
        {1, Kind::action, u"今日 AI 使用  %1秒"_s.arg(seconds), false, false, {}},
        {2, Kind::action, u"今日AI对话  3 次"_s, false, false, {}},
        {3, Kind::action, u"建议：先写下你自己的思路，再让 AI 补充和检查。"_s, false, false, {}},
        {4, Kind::separator, {}, true, false, {}},
        {5, Kind::checkmark, u"免打扰  22:30-07:00"_s, true, true, {}},
        {6, Kind::checkmark, u"实时提醒"_s, true, true, {}},
        {7, Kind::checkmark, u"自动每日总结"_s, true, false, {}},
        {8, Kind::checkmark, u"桌面小组件"_s, true, true, {}},
        {9, Kind::separator, {}, true, false, {}},
        {10, Kind::action, u"今日总结"_s, true, false, {}},
        {11, Kind::action, u"设置…"_s, true, false, {u"Control"_s, u"comma"_s}},
        {12, Kind::separator, {}, true, false, {}},
        {13, Kind::action, u"退出"_s, true, false, {u"Control"_s, u"q"_s}}};
}

void report(const char* what, const std::function<void(int)>& operation, int rounds = defaultRounds)
{
    std::vector<double> times;
    times.reserve(rounds);
    QElapsedTimer timer;
    for (int i = 0; i < rounds; ++i) {
        timer.start();
        operation(i);
        times.push_back(double(timer.nsecsElapsed()) / 1e3);
    }
    std::sort(times.begin(), times.end());
    std::printf("%-44s median %7.2f us   p99 %7.2f us\n", what, times[times.size() / 2],
                times[times.size() * 99 / 100]);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    // Not exported: only the work done in this process is measured.
    StatusNotifierItem item{QDBusConnection(QString())};

    const QTimeZone zone = QTimeZone::systemTimeZone();
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const StoredState busy = bench::fullState(now);
    report(
        "whole tray refresh, 18,000 sessions",
        [&](int) {
            const DailySummary today = SummaryComposer::todaySummary(busy.sessions, {}, now, zone);
            const TrayMenuModel model = TrayMenuModel::build(today, busy.settings);
            item.setTitle(model.title);
            item.setMenu(DesktopSurfaces::dbusMenuEntries(model));
        },
        200);

    item.setMenu(menu(0));
    report("tray refresh, same menu (built anew)", [&](int) { item.setMenu(menu(0)); });
    report("tray refresh, one figure changed", [&](int i) { item.setMenu(menu(i + 1)); });

    DBusMenu dbusMenu;
    dbusMenu.setEntries(menu(0));
    report("GetLayout of the whole menu, marshalled", [&](int) {
        DBusMenuLayoutItem layout;
        const uint revision = dbusMenu.GetLayout(0, -1, {}, layout);
        QDBusArgument reply;
        reply << revision << layout;
    });
    return 0;
}
