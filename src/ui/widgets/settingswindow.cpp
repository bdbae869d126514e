#include "settingswindow.h"

#include "engine/appstate.h"
#include "settingsblocks.h"
#include "settingspages.h"
#include "themedview.h"
#include "ui/symbols.h"
#include "ui/typography.h"
#include "wrappinglabel.h"

#include <QBoxLayout>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTimeEdit>

namespace kelvo {

namespace {

constexpr int sidebarWidth = 240;
constexpr int detailMinimumWidth = 720;

// The sidebar's ground: the window colour with the green tint over it.
class SidebarBackground final : public ThemedView {
public:
    using ThemedView::ThemedView;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), palette().color(QPalette::Window));
        painter.fillRect(rect(), Theme::withAlpha(themeColor(ThemeRole::healthGreenTint), 0.22));
    }
};

// The detail pane's ground, behind the cards.
class DetailBackground final : public ThemedView {
public:
    using ThemedView::ThemedView;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter(this).fillRect(rect(), themeColor(ThemeRole::elevatedBackground));
    }
};

} // namespace

SettingsSidebarButton::SettingsSidebarButton(SettingsSection section, QWidget* parent)
    : QAbstractButton(parent)
    , m_section(section)
{
    setText(SettingsSectionInfo::of(section).title);
    setFont(systemFont(14, QFont::DemiBold));
    setCheckable(true);
    setFocusPolicy(Qt::StrongFocus);
    setFixedHeight(52);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void SettingsSidebarButton::paintEvent(QPaintEvent*)
{
    const Appearance appearance = Theme::appearanceOf(palette());
    const QColor green = Theme::color(ThemeRole::healthGreen, appearance);
    const bool selected = isChecked();

    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    path.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 12, 12);
    if (selected) {
        painter.fillPath(path, Theme::withAlpha(green, 0.24));
        painter.setPen(QPen(Theme::withAlpha(green, 0.5), 1));
        painter.drawPath(path);
    }
    if (hasFocus())
        SettingsBlocks::drawFocusRing(painter, *this);
    const QColor iconColour = selected ? green : Theme::color(ThemeRole::secondaryText, appearance);
    painter.drawPixmap(14, (height() - 16) / 2,
                       Symbols::pixmap(SettingsSectionInfo::of(m_section).symbolName, 16,
                                       iconColour, devicePixelRatioF()));
    const QRect textRect(40, 0, width() - 40 - 14, height());
    painter.setFont(font());
    painter.setPen(Theme::color(ThemeRole::label, appearance));
    painter.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                     QFontMetrics(font()).elidedText(text(), Qt::ElideRight, textRect.width()));
}

SettingsWindow::SettingsWindow(AppState* engine, const Clock* clock, QWidget* parent)
    : QWidget(parent, Qt::Window)
    , m_engine(engine)
    , m_clock(clock)
{
    setWindowTitle(QStringLiteral("Kelvo 设置"));
    setFont(systemFont(13));
    setFixedWidth(SettingsWindowSize::width);
    resize(SettingsWindowSize::width, 620);

    auto* split = new QHBoxLayout(this);
    split->setContentsMargins(0, 0, 0, 0);
    split->setSpacing(0);
    split->addWidget(buildSidebar());
    split->addWidget(buildDetail(), 1);
    updateVisibleSection();
}

SettingsWindow::~SettingsWindow()
{
    // Hiding a window that is going away moves the focus, and a picker that loses it hands on
    // its time: nothing may reach the engine from a window that is half gone.
    for (SettingsPage* page : std::as_const(m_pages))
        disconnect(page, nullptr, this, nullptr);
}

QWidget* SettingsWindow::buildSidebar()
{
    auto* sidebar = new SidebarBackground;
    sidebar->setFixedWidth(sidebarWidth);

    m_sidebarStack = new QWidget;
    auto* root = new QVBoxLayout(m_sidebarStack);
    root->setContentsMargins(0, 0, 0, 0);
    root->setSpacing(18);
    auto* header = new QVBoxLayout;
    header->setSpacing(4);
    header->addWidget(new WrappingLabel(QStringLiteral("设置"), systemFont(24, QFont::Bold),
                                        ThemeRole::label, 1));
    header->addWidget(new WrappingLabel(QStringLiteral("个性化应用设置。"), systemFont(12),
                                        ThemeRole::secondaryText, 0));
    root->addLayout(header);
    auto* buttons = new QVBoxLayout;
    buttons->setSpacing(8);
    for (const SettingsSection section : SettingsSectionInfo::all()) {
        auto* button = new SettingsSidebarButton(section);
        connect(button, &QAbstractButton::clicked, this,
                [this, section] { selectSection(section); });
        m_buttons.insert(section, button);
        buttons->addWidget(button);
    }
    root->addLayout(buttons);

    auto* pinned = new QVBoxLayout(sidebar);
    pinned->setContentsMargins(16, 20, 16, 20);
    pinned->addWidget(m_sidebarStack);
    pinned->addStretch(1);
    return sidebar;
}

QWidget* SettingsWindow::buildDetail()
{
    m_pageStack = new QWidget;
    auto* stack = new QVBoxLayout(m_pageStack);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(20);
    auto* header = new QVBoxLayout;
    header->setSpacing(6);
    m_headerTitle = new WrappingLabel({}, systemFont(30, QFont::Bold), ThemeRole::label, 1);
    m_headerSubtitle = new WrappingLabel({}, systemFont(13), ThemeRole::secondaryText, 0);
    header->addWidget(m_headerTitle);
    header->addWidget(m_headerSubtitle);
    stack->addLayout(header);

    m_monitoring = new MonitoringPage;
    m_reminders = new RemindersPage;
    m_appearance = new AppearancePage;
    m_pages = {{SettingsSection::monitoring, m_monitoring},
               {SettingsSection::reminders, m_reminders},
               {SettingsSection::appearance, m_appearance}};
    for (SettingsPage* page : std::as_const(m_pages)) {
        connect(page, &SettingsPage::commandChosen, this, &SettingsWindow::run);
        stack->addWidget(page);
    }
    stack->addStretch(1);

    auto* document = new DetailBackground;
    auto* inset = new QVBoxLayout(document);
    inset->setContentsMargins(28, 24, 28, 24);
    inset->addWidget(m_pageStack);

    m_scroll = new QScrollArea;
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->setWidget(document);
    m_scroll->viewport()->installEventFilter(this);
    return m_scroll;
}

void SettingsWindow::refreshFromState()
{
    if (!m_engine)
        return;
    setModel(
        SettingsModel::build(m_engine->settings(), m_engine->notificationAuthorizationStatus()));
}

void SettingsWindow::setModel(const SettingsModel& model)
{
    for (SettingsPage* page : std::as_const(m_pages))
        page->setModel(model);
    reportPreferredLayout();
}

void SettingsWindow::selectSection(SettingsSection section)
{
    const bool changed = section != m_section;
    m_section = section;
    if (changed)
        updateVisibleSection();
    m_buttons.value(section)->setChecked(true);
}

void SettingsWindow::updateVisibleSection()
{
    const SettingsSectionInfo info = SettingsSectionInfo::of(m_section);
    m_headerTitle->setText(info.title);
    m_headerSubtitle->setText(info.subtitle);
    for (auto page = m_pages.cbegin(); page != m_pages.cend(); ++page)
        page.value()->setVisible(page.key() == m_section);
    for (auto button = m_buttons.cbegin(); button != m_buttons.cend(); ++button)
        button.value()->setChecked(button.key() == m_section);
    // Only the monitoring page shows a scroller; a longer page still follows the wheel and the
    // keyboard focus.
    m_scroll->setVerticalScrollBarPolicy(
        m_section == SettingsSection::monitoring ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
    m_scroll->verticalScrollBar()->setValue(0);
    reportPreferredLayout();
}

int SettingsWindow::pageHeight(int documentWidth) const
{
    const int width = documentWidth - 2 * 28;
    return m_pageStack->hasHeightForWidth() ? m_pageStack->heightForWidth(width)
                                            : m_pageStack->sizeHint().height();
}

int SettingsWindow::documentWidth() const
{
    const int viewportWidth = m_scroll->viewport()->width();
    return qMax(isVisible() && viewportWidth > 0 ? viewportWidth
                                                 : SettingsWindowSize::width - sidebarWidth,
                detailMinimumWidth);
}

void SettingsWindow::layoutDocument()
{
    // As wide as the pane and as high as the page: the cards' wrapped texts decide the height.
    const int width = documentWidth();
    m_scroll->widget()->resize(width, qMax(pageHeight(width) + 48, m_scroll->viewport()->height()));
}

bool SettingsWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_scroll->viewport() && event->type() == QEvent::Resize)
        layoutDocument();
    return QWidget::eventFilter(watched, event);
}

void SettingsWindow::reportPreferredLayout()
{
    layoutDocument();
    const SettingsWindowLayout layout = SettingsWindowLayout::build(
        m_sidebarStack->sizeHint().height(), pageHeight(documentWidth()), m_section);

    // The periodic redraws report the same layout again; only a new one moves the window, so a
    // height the person chose survives them.
    if (m_lastLayout == layout)
        return;
    m_lastLayout = layout;
    const QScreen* screen = this->screen();
    const SettingsWindowSize size = SettingsWindowSize::fit(
        layout, screen ? std::optional<int>(screen->availableGeometry().height()) : std::nullopt);
    setMinimumHeight(size.contentHeight);
    setMaximumHeight(size.maximumHeight);
    // Resizing keeps the window's top edge where it is.
    if (height() != size.contentHeight)
        resize(SettingsWindowSize::width, size.contentHeight);
}

void SettingsWindow::run(const SettingsCommand& command)
{
    if (m_engine && m_clock)
        sendSettingsCommand(*m_engine, *m_clock, command);
    refreshFromState();
}

void SettingsWindow::presentNotificationSetupHelp()
{
    if (m_help) {
        m_help->raise();
        return;
    }
    m_help = new QMessageBox(QMessageBox::Information, QStringLiteral("Kelvo"),
                             QStringLiteral("请在系统设置里开启 Kelvo 的通知"),
                             QMessageBox::NoButton, this);
    m_help->setInformativeText(
        QStringLiteral("系统的通知授权通常只会询问一次。\n\n请打开“系统设置 > 通知 > "
                       "Kelvo”，然后开启：\n1. Allow notifications\n2. Banner 或 Alerts\n3. "
                       "Play sound for notification（可选）"));
    m_help->addButton(QStringLiteral("知道了"), QMessageBox::AcceptRole);
    m_help->setAttribute(Qt::WA_DeleteOnClose);
    m_help->setWindowModality(Qt::WindowModal);
    m_help->open();
}

void SettingsWindow::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape || event->matches(QKeySequence::Close)) {
        // Escape gives up a time still being typed rather than saving it as the picker closes.
        if (auto* picker = qobject_cast<QTimeEdit*>(focusWidget())) {
            const QSignalBlocker quiet(picker);
            picker->clearFocus();
            refreshFromState();
        }
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

void SettingsWindow::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    reportPreferredLayout();
    if (!m_placed && screen()) {
        // Centred when first shown; after that it stays where the person put it.
        m_placed = true;
        QRect frame = frameGeometry();
        frame.moveCenter(screen()->availableGeometry().center());
        move(frame.topLeft());
    }
}

} // namespace kelvo
