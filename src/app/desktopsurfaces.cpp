#include "desktopsurfaces.h"

#include "engine/appstate.h"
#include "engine/clock.h"
#include "platform/dbus/appearanceportal.h"
#include "platform/dbus/statusnotifieritem.h"
#include "platform/x11/floatingwindow.h"
#include "ui/summarypresentation.h"
#include "ui/widgets/applicationtheme.h"
#include "ui/widgets/desktopwidget.h"
#include "ui/widgets/settingswindow.h"
#include "ui/widgets/summarywindow.h"
#include "ui/widgets/traymenu.h"

#include <QCursor>
#include <QGuiApplication>
#include <QIcon>
#include <QImage>
#include <QPainter>
#include <QScreen>
#include <QSvgRenderer>
#include <QSystemTrayIcon>

#include <cstdio>
#include <utility>

namespace kelvo {

namespace {

const QString iconName = QStringLiteral("kelvo");
const QString iconResource = QStringLiteral(":/icons/kelvo.svg");

// The card's two figures and the suggestion take these ids; the items of the menu take 100 and
// up, by their place in the model, so a switch keeps its id from one refresh to the next.
constexpr int firstItemId = 100;
constexpr int suggestionColumns = 36;

QImage renderIcon(int size)
{
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QSvgRenderer renderer(iconResource);
    QPainter painter(&image);
    renderer.render(&painter);
    return image;
}

QIcon applicationIcon()
{
    QIcon icon;
    for (const int size : {16, 22, 24, 32, 48, 64})
        icon.addPixmap(QPixmap::fromImage(renderIcon(size)));
    return QIcon::fromTheme(iconName, icon);
}

} // namespace

DesktopSurfaces::DesktopSurfaces(const Clock& clock, QObject* parent)
    : QObject(parent)
    , m_clock(clock)
    , m_portal(std::make_unique<AppearancePortal>())
{
    connect(&m_appearance, &AppearanceState::appearanceChanged, this, &applyApplicationTheme);
    connect(m_portal.get(), &AppearancePortal::prefersDarkChanged, &m_appearance,
            &AppearanceState::setSystemPrefersDark);
    m_portal->start();
    // From here on a change of appearance is applied through appearanceChanged alone.
    applyApplicationTheme(m_appearance.appearance());
}

DesktopSurfaces::~DesktopSurfaces() = default;

void DesktopSurfaces::setEngine(AppState* engine)
{
    m_engine = engine;
}

QList<DBusMenuEntry> DesktopSurfaces::dbusMenuEntries(const TrayMenuModel& model)
{
    using Kind = DBusMenuEntry::Kind;
    QList<DBusMenuEntry> entries;
    int id = 1;
    auto figure = [&](const QString& label) {
        entries.append({id++, Kind::action, label, false, false, {}});
    };
    for (qsizetype index = 0; index < model.items.size(); ++index) {
        const TrayMenuItem& item = model.items.at(index);
        const int itemId = firstItemId + int(index);
        switch (item.kind) {
        case TrayMenuItem::Kind::card:
            // A D-Bus menu holds no custom view: the card's figures become plain lines.
            for (const MenuInfoRow& row : model.rows)
                figure(row.title + QStringLiteral("  ") + row.value);
            figure(QStringLiteral("建议"));
            for (const QString& line :
                 TrayMenuModel::suggestionLines(model.suggestion, suggestionColumns, 3))
                figure(QStringLiteral("    ") + line);
            break;
        case TrayMenuItem::Kind::separator:
            entries.append({itemId, Kind::separator, {}, true, false, {}});
            break;
        case TrayMenuItem::Kind::toggle:
        case TrayMenuItem::Kind::action: {
            QString label = item.title;
            if (!item.detail.isEmpty())
                label += QStringLiteral("  ") + item.detail;
            QStringList shortcut;
            if (!item.shortcutKey.isEmpty())
                shortcut = {QStringLiteral("Control"),
                            item.shortcutKey == u"," ? QStringLiteral("comma") : item.shortcutKey};
            entries.append(
                {itemId, item.kind == TrayMenuItem::Kind::toggle ? Kind::checkmark : Kind::action,
                 label, true, item.checked, shortcut});
            break;
        }
        }
    }
    return entries;
}

void DesktopSurfaces::refreshMenu()
{
    if (!m_engine || !m_drawing)
        return;
    // Every poll of the foreground redraws the menu. With no session open, today's figures change
    // only with the state or the day, so a poll that finds neither changed has nothing to draw.
    const QDateTime now = m_clock.now();
    const QDate day = now.toTimeZone(m_clock.timeZone()).date();
    const bool unchanged = m_item && !m_engine->activeSession() &&
                           m_drawnRevision == m_engine->revision() && m_drawnDay == day;
    if (unchanged)
        return;
    m_drawnRevision = m_engine->revision();
    m_drawnDay = day;
    const DailySummary today = m_engine->todaySummary(now);
    m_model = TrayMenuModel::build(today, m_engine->settings());
    // Without a tray the widget is on screen whatever the setting, and the engine fills it only
    // while the setting is on: it is filled here, from the same figures.
    if (m_trayMissing && m_widget)
        m_widget->setContent(DesktopWidgetContent::fromSummary(today));
    if (!m_item)
        createTray();
    if (m_menu)
        m_menu->setModel(m_model);
    m_item->setTitle(m_model.title);
    m_item->setMenu(dbusMenuEntries(m_model));
    if (m_fallbackIcon)
        m_fallbackIcon->setToolTip(m_model.title);
}

void DesktopSurfaces::applyAppearance(AppearanceMode mode)
{
    m_appearance.setMode(mode);
}

void DesktopSurfaces::refreshSettingsWindow()
{
    if (m_settingsWindow)
        m_settingsWindow->refreshFromState();
}

void DesktopSurfaces::showSettingsWindow()
{
    // Made on first use and kept: closing only hides it, and the next open shows the same page.
    if (!m_settingsWindow)
        m_settingsWindow = std::make_unique<SettingsWindow>(m_engine.data(), &m_clock);
    m_settingsWindow->refreshFromState();
    m_settingsWindow->setWindowState(m_settingsWindow->windowState() & ~Qt::WindowMinimized);
    m_settingsWindow->show();
    m_settingsWindow->raise();
    m_settingsWindow->activateWindow();
}

void DesktopSurfaces::presentNotificationSetupHelp()
{
    // Only on a window the person has open; the desktop's settings were opened all the same.
    if (m_settingsWindow && m_settingsWindow->isVisible())
        m_settingsWindow->presentNotificationSetupHelp();
}

TrayMenu& DesktopSurfaces::menu()
{
    // Made when first needed: until a person opens it, Kelvo loads no fonts and lays out no text.
    if (!m_menu) {
        m_menu = std::make_unique<TrayMenu>();
        connect(m_menu.get(), &TrayMenu::commandChosen, this, &DesktopSurfaces::runCommand);
        m_menu->setModel(m_model);
    }
    return *m_menu;
}

void DesktopSurfaces::createTray()
{
    QList<QImage> pixmaps;
    for (const int size : {16, 22, 32, 48})
        pixmaps.append(renderIcon(size));
    m_item = std::make_unique<StatusNotifierItem>();
    m_item->setIcon(iconName, pixmaps);
    connect(m_item.get(), &StatusNotifierItem::activated, this, &DesktopSurfaces::showMenu);
    connect(m_item.get(), &StatusNotifierItem::entryClicked, this, [this](int id) {
        const qsizetype index = id - firstItemId;
        if (index >= 0 && index < m_model.items.size())
            runCommand(m_model.items.at(index).command);
    });
    connect(m_item.get(), &StatusNotifierItem::registrationChanged, this,
            &DesktopSurfaces::trayRegistrationChanged);
    m_item->start();
}

void DesktopSurfaces::trayRegistrationChanged(bool registered)
{
    if (registered) {
        m_fallbackIcon.reset();
        if (std::exchange(m_trayMissing, false) && m_widget && m_engine &&
            !m_engine->settings().desktopWidgetEnabled)
            m_widget->hide();
        return;
    }
    if (m_fallbackIcon)
        return;
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        if (!m_noTrayReported)
            std::fputs("Kelvo found no system tray on this desktop; the desktop widget shows "
                       "today's figures instead.\n",
                       stderr);
        m_noTrayReported = true;
        m_trayMissing = true;
        presentWidget();
        m_drawnDay = QDate(); // the widget is new: draw it even if nothing else changed
        refreshMenu();
        return;
    }
    m_fallbackIcon = std::make_unique<QSystemTrayIcon>(applicationIcon());
    m_fallbackIcon->setToolTip(m_model.title);
    m_fallbackIcon->setContextMenu(&menu());
    connect(m_fallbackIcon.get(), &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger)
                    showMenu({});
            });
    m_fallbackIcon->show();
}

void DesktopSurfaces::showMenu(const QPoint& position)
{
    if (!m_item)
        return;
    // Some hosts send no position with the click; the pointer is where the click was.
    menu().popup(position.isNull() ? QCursor::pos() : position);
    menu().activateWindow();
}

void DesktopSurfaces::runCommand(TrayCommand command)
{
    if (m_engine)
        sendTrayCommand(*m_engine, command);
}

} // namespace kelvo

namespace kelvo {

void DesktopSurfaces::showWidget()
{
    if (m_drawing)
        presentWidget();
}

void DesktopSurfaces::presentWidget()
{
    if (!m_widget) {
        // Transparent corners and a shadow need a compositor; on X11 without one the card is
        // opaque, its corners cut by a mask. Other platforms always composite.
        const bool translucent =
            !X11FloatingWindow::available() || X11FloatingWindow::compositingManagerRunning();
        m_widget = std::make_unique<DesktopWidget>(translucent);
        connect(m_widget.get(), &DesktopWidget::openSummaryRequested, this, [this] {
            if (m_engine)
                m_engine->sendManualDailySummary();
        });
    }
    if (!m_widget->isVisible())
        X11FloatingWindow::prepare(m_widget->winId());
    m_widget->placeTopRight();
    m_widget->show();
    m_widget->raise();
    X11FloatingWindow::request(m_widget->winId());
}

void DesktopSurfaces::hideWidget()
{
    if (m_widget && !m_trayMissing && m_drawing)
        m_widget->hide();
}

void DesktopSurfaces::setWidgetContent(const QString& duration, const QString& suggestion)
{
    if (m_widget && m_drawing)
        m_widget->setContent({duration, suggestion});
}

void DesktopSurfaces::refreshSummaryWindow()
{
    // A hidden window is filled afresh when it is shown again.
    if (m_summaryWindow && m_summaryWindow->isVisible() && m_drawing)
        fillSummaryWindow();
}

void DesktopSurfaces::fillSummaryWindow()
{
    if (!m_engine || !m_summaryWindow)
        return;
    const QDateTime now = m_clock.now();
    m_summaryWindow->setPresentation(
        SummaryPresentation::build(m_engine->summarySnapshot(now), now, m_clock.timeZone()));
}

void DesktopSurfaces::showSummaryWindow()
{
    if (!m_engine || !m_drawing)
        return;
    const bool first = !m_summaryWindow;
    if (first)
        m_summaryWindow = std::make_unique<SummaryWindow>();
    fillSummaryWindow();
    if (first) {
        if (const QScreen* screen = QGuiApplication::primaryScreen();
            screen && !screen->availableGeometry().isEmpty())
            m_summaryWindow->move(screen->availableGeometry().center() -
                                  m_summaryWindow->rect().center());
    }
    m_summaryWindow->setWindowState(m_summaryWindow->windowState() & ~Qt::WindowMinimized);
    m_summaryWindow->show();
    m_summaryWindow->raise();
    m_summaryWindow->activateWindow();
}

} // namespace kelvo
