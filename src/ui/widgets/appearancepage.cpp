// The third page of the settings window: the theme mode, and the desktop widget with a preview.

#include "cardviews.h"
#include "sectionheaderview.h"
#include "settingsblocks.h"
#include "settingspages.h"
#include "symbolview.h"
#include "themeselector.h"
#include "ui/symbols.h"
#include "ui/typography.h"
#include "wrappinglabel.h"

#include <QBoxLayout>
#include <QCheckBox>
#include <QPainter>
#include <QPainterPath>

namespace kelvo {

using namespace SettingsBlocks;

namespace {

struct ModeLook {
    QString symbolName;
    QString label;
};

ModeLook lookOf(AppearanceMode mode)
{
    switch (mode) {
    case AppearanceMode::light:
        return {QStringLiteral("sun.max"), QStringLiteral("浅色")};
    case AppearanceMode::dark:
        return {QStringLiteral("moon.stars"), QStringLiteral("深色")};
    case AppearanceMode::system:
        break;
    }
    return {QStringLiteral("circle.lefthalf.filled"), QStringLiteral("跟随系统")};
}

} // namespace

ThemeModeCard::ThemeModeCard(AppearanceMode mode, QWidget* parent)
    : QAbstractButton(parent)
    , m_mode(mode)
    , m_symbolName(lookOf(mode).symbolName)
{
    setObjectName(storedText(mode));
    setText(lookOf(mode).label);
    setFont(systemFont(12, QFont::Medium));
    setCheckable(true);
    setFocusPolicy(Qt::StrongFocus);
    setFixedSize(150, 92);
}

void ThemeModeCard::paintEvent(QPaintEvent*)
{
    const Appearance appearance = Theme::appearanceOf(palette());
    const auto colour = [appearance](ThemeRole role) {
        return Theme::color(role, appearance);
    };
    const bool chosen = isChecked();
    const QColor green = colour(ThemeRole::healthGreen);

    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    path.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 12, 12);
    painter.fillPath(path,
                     chosen ? Theme::withAlpha(green, 0.16) : colour(ThemeRole::cardBackground));
    painter.setPen(QPen(chosen ? green : colour(ThemeRole::borderColor), 1));
    painter.drawPath(path);
    if (hasFocus())
        SettingsBlocks::drawFocusRing(painter, *this);

    // The symbol over the label, centred as one block.
    const QFontMetrics metrics(font());
    const int blockHeight = 16 + 8 + metrics.height();
    const int top = (height() - blockHeight) / 2;
    painter.drawPixmap((width() - 16) / 2, top,
                       Symbols::pixmap(m_symbolName, 16,
                                       chosen ? green : colour(ThemeRole::secondaryText),
                                       devicePixelRatioF()));
    painter.setFont(font());
    painter.setPen(chosen ? colour(ThemeRole::label) : colour(ThemeRole::secondaryText));
    painter.drawText(QRect(4, top + 24, width() - 8, metrics.height()),
                     Qt::AlignHCenter | Qt::AlignVCenter | Qt::TextSingleLine,
                     metrics.elidedText(text(), Qt::ElideRight, width() - 8));
}

ThemeModeSelectorView::ThemeModeSelectorView(QWidget* parent)
    : QWidget(parent)
{
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(12);
    for (const AppearanceMode mode :
         {AppearanceMode::system, AppearanceMode::light, AppearanceMode::dark}) {
        auto* card = new ThemeModeCard(mode);
        connect(card, &QAbstractButton::clicked, this,
                [this, card] { handleSelect(card->objectName()); });
        m_cards.insert(mode, card);
        row->addWidget(card, 0, Qt::AlignVCenter);
    }
    row->addStretch(1);
    setFixedHeight(92);
    updateSelection();
}

void ThemeModeSelectorView::setSelectedMode(AppearanceMode mode)
{
    m_selectedMode = mode;
    updateSelection();
}

void ThemeModeSelectorView::handleSelect(const QString& identifier)
{
    const std::optional<AppearanceMode> mode = fromStoredText<AppearanceMode>(identifier);
    if (!mode)
        return;
    setSelectedMode(*mode);
    if (onSelectMode)
        onSelectMode(*mode);
}

void ThemeModeSelectorView::updateSelection()
{
    for (auto card = m_cards.cbegin(); card != m_cards.cend(); ++card)
        card.value()->setChecked(card.key() == m_selectedMode);
}

WidgetPreviewCardView::WidgetPreviewCardView(QWidget* parent)
    : ThemedView(parent)
{
    setFixedHeight(160);
    auto* heading = new QHBoxLayout;
    heading->setSpacing(8);
    heading->addWidget(
        new SymbolView(QStringLiteral("leaf.circle.fill"), 22, ThemeRole::healthGreen));
    heading->addWidget(new WrappingLabel(QStringLiteral("今日 AI 使用"),
                                         systemFont(12, QFont::Medium), ThemeRole::secondaryText,
                                         1),
                       1, Qt::AlignVCenter);

    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(16, 16, 16, 16);
    stack->setSpacing(10);
    stack->addLayout(heading);
    stack->addWidget(new WrappingLabel(QStringLiteral("34 分钟"), systemFont(24, QFont::Bold),
                                       ThemeRole::healthGreen, 1));
    stack->addWidget(new WrappingLabel(QStringLiteral("使用 AI 前，先自己构思。"), systemFont(12),
                                       ThemeRole::secondaryText, 2));
    stack->addStretch(1);
}

void WidgetPreviewCardView::paintEvent(QPaintEvent*)
{
    paintCard(*this, themeColor(ThemeRole::cardBackground), themeColor(ThemeRole::borderColor), 16);
}

AppearancePage::AppearancePage(QWidget* parent)
    : SettingsPage(parent)
{
    QBoxLayout* theme = column();
    theme->addWidget(explanation(QStringLiteral("不再使用下拉菜单，直接点击你想要的主题模式。")));
    themeSelector = new ThemeModeSelectorView;
    themeSelector->onSelectMode = [this](AppearanceMode mode) {
        SettingsCommand command = SettingsCommand::of(SettingsCommand::Kind::setAppearance);
        command.mode = mode;
        emit commandChosen(command);
    };
    theme->addWidget(themeSelector);

    QBoxLayout* widget = column();
    desktopWidgetBox = checkBox(QStringLiteral("显示桌面小组件"));
    connect(desktopWidgetBox, &QCheckBox::clicked, this, [this](bool on) {
        emit commandChosen(SettingsCommand::of(SettingsCommand::Kind::setDesktopWidget, on));
    });
    widget->addWidget(desktopWidgetBox);
    widget->addWidget(new WidgetPreviewCardView);

    installSection({detailCard(new SectionHeaderView(QStringLiteral("paintpalette"),
                                                     QStringLiteral("主题模式"),
                                                     QStringLiteral("直接在页面中选择主题模式。")),
                               theme),
                    detailCard(new SectionHeaderView(QStringLiteral("rectangle.badge.person.crop"),
                                                     QStringLiteral("小组件预览"),
                                                     QStringLiteral("预览桌面小组件的显示效果。")),
                               widget)},
                   this);
}

void AppearancePage::setModel(const SettingsModel& model)
{
    themeSelector->setSelectedMode(model.appearance);
    desktopWidgetBox->setChecked(model.desktopWidget);
}

} // namespace kelvo
