#include "summarywindow.h"

#include "cardviews.h"
#include "sectionheaderview.h"
#include "summarycards.h"
#include "symbolview.h"
#include "ui/typography.h"
#include "usagebarchartview.h"
#include "wrappinglabel.h"

#include <QBoxLayout>
#include <QPainter>
#include <QScrollArea>

namespace kelvo {

using namespace Qt::StringLiterals;

namespace {

constexpr int rightColumnWidth = 420;
constexpr int patternSectionHeight = 228;
constexpr int emptyStateWidth = 260;

// A card of the page: its header over its content, 18 in from every side.
template <typename Card>
Card* sectionCard(const QString& symbol, const QString& title, const QString& subtitle,
                  QLayout* content)
{
    auto* card = new Card;
    auto* stack = new QVBoxLayout(card);
    stack->setContentsMargins(18, 18, 18, 18);
    stack->setSpacing(14);
    stack->addWidget(new SectionHeaderView(symbol, title, subtitle));
    stack->addLayout(content);
    stack->addStretch(1);
    return card;
}

// Empties a layout, deleting the widgets and layouts it held.
void clear(QLayout* layout)
{
    while (QLayoutItem* item = layout->takeAt(0)) {
        if (QWidget* widget = item->widget())
            delete widget;
        if (QLayout* inner = item->layout())
            clear(inner);
        delete item;
    }
}

// An empty state centred in its row, at most 260 wide.
QLayout* centredEmptyState(const QString& symbol, const QString& title, const QString& subtitle)
{
    auto* row = new QHBoxLayout;
    auto* empty = new EmptyStateView(symbol, title, subtitle);
    empty->setFixedWidth(emptyStateWidth);
    row->addStretch(1);
    row->addWidget(empty);
    row->addStretch(1);
    return row;
}

} // namespace

SummaryWindow::SummaryWindow(QWidget* parent)
    : ThemedView(parent)
{
    setWindowTitle(u"Kelvo 总结"_s);
    setFixedSize(contentSize);

    m_title = new WrappingLabel({}, systemFont(30, QFont::Bold), ThemeRole::label, 1);
    m_subtitle = new WrappingLabel({}, systemFont(13), ThemeRole::secondaryText, 1);
    auto* heading = new QVBoxLayout;
    heading->setSpacing(6);
    heading->addWidget(m_title);
    heading->addWidget(m_subtitle);

    auto* metrics = new QHBoxLayout;
    metrics->setSpacing(12);
    const QList<SummaryCard> titles{{u"clock"_s, u"今日使用"_s, {}, {}},
                                    {u"arrow.up.circle"_s, u"今日启动次数"_s, {}, {}},
                                    {u"chart.bar"_s, u"最近 7 天日均"_s, {}, {}},
                                    {u"leaf"_s, u"相比前 7 天"_s, {}, {}}};
    for (std::size_t i = 0; i < m_metrics.size(); ++i) {
        m_metrics[i] = new SummaryCardView(SummaryCardView::Kind::metric, titles.at(qsizetype(i)));
        metrics->addWidget(m_metrics[i], 1, Qt::AlignTop);
    }

    // The page scrolls when its text needs more than the window's fixed height (a large system
    // font, a long improvement plan): nothing is cut or drawn over.
    auto* content = new QWidget;
    auto* scroll = new QScrollArea;
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setWidgetResizable(true);
    scroll->setWidget(content);
    scroll->viewport()->setAutoFillBackground(false);
    content->setAutoFillBackground(false);
    auto* window = new QVBoxLayout(this);
    window->setContentsMargins(0, 0, 0, 0);
    window->addWidget(scroll);

    auto* page = new QVBoxLayout(content);
    page->setContentsMargins(20, 20, 20, 20);
    page->setSpacing(18);
    page->addLayout(heading);
    page->addLayout(metrics);
    page->addWidget(buildMainRow());
    page->addWidget(buildPlanCard());
    page->addStretch(1);
    applyTheme();
}

QWidget* SummaryWindow::buildMainRow()
{
    m_chartSummary = new WrappingLabel({}, systemFont(12), ThemeRole::secondaryText, 2);
    m_chart = new UsageBarChartView;
    auto* trendContent = new QVBoxLayout;
    trendContent->setSpacing(10);
    trendContent->addWidget(m_chartSummary);
    trendContent->addWidget(m_chart);
    auto* trend = sectionCard<SectionCardView>(u"chart.bar.xaxis"_s, u"最近 7 天趋势"_s,
                                               u"绿色均线是最近 7 天移动平均。"_s, trendContent);

    auto* patternContent = new QHBoxLayout;
    patternContent->setSpacing(10);
    const QList<SummaryCard> titles{{u"sparkles"_s, u"最近主工具"_s, {}, {}},
                                    {u"flame"_s, u"连续高使用"_s, {}, {}},
                                    {u"calendar"_s, u"最高使用日"_s, {}, {}}};
    for (std::size_t i = 0; i < m_patterns.size(); ++i) {
        m_patterns[i] =
            new SummaryCardView(SummaryCardView::Kind::pattern, titles.at(qsizetype(i)));
        patternContent->addWidget(m_patterns[i], 1);
    }
    auto* patterns = sectionCard<SectionCardView>(u"scope"_s, u"重点数据"_s,
                                                  u"最值得关注的3个指标。"_s, patternContent);
    patterns->setFixedHeight(patternSectionHeight);

    m_tools = new QVBoxLayout;
    m_tools->setSpacing(8);
    auto* tools = sectionCard<SectionCardView>(u"square.stack.3d.up"_s, u"近 7 天常用AI"_s,
                                               u"看你主要把时间花在了哪些 AI 工具上。"_s, m_tools);

    auto* rightColumn = new QWidget;
    rightColumn->setFixedWidth(rightColumnWidth);
    auto* column = new QVBoxLayout(rightColumn);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(16);
    column->addWidget(patterns);
    column->addWidget(tools, 1);

    // The trend section takes the rest of the width and the column's whole height.
    auto* mainRow = new QWidget;
    auto* row = new QHBoxLayout(mainRow);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(16);
    row->addWidget(trend, 1);
    row->addWidget(rightColumn);
    return mainRow;
}

QWidget* SummaryWindow::buildPlanCard()
{
    m_plan = new QVBoxLayout;
    m_plan->setSpacing(10);
    return sectionCard<HighlightCardView>(u"leaf.arrow.circlepath"_s, u"改进计划"_s,
                                          u"从高频依赖拉回到更稳定的节奏。"_s, m_plan);
}

void SummaryWindow::setPresentation(const SummaryPresentation& page)
{
    if (m_filled && page == m_page)
        return;
    const bool toolsChanged = !m_filled || page.tools != m_page.tools;
    const bool planChanged = !m_filled || page.plan != m_page.plan;
    m_page = page;
    m_filled = true;

    m_title->setText(page.title);
    m_subtitle->setText(page.subtitle);
    for (std::size_t i = 0; i < m_metrics.size(); ++i)
        m_metrics[i]->setCard(page.metrics.value(qsizetype(i)));
    for (std::size_t i = 0; i < m_patterns.size(); ++i)
        m_patterns[i]->setCard(page.patterns.value(qsizetype(i)));
    m_chartSummary->setText(page.chartSummary);
    m_chart->setDays(page.chart);
    if (toolsChanged)
        rebuildTools(page.tools);
    if (planChanged)
        rebuildPlan(page.plan);
}

void SummaryWindow::rebuildTools(const QList<SummaryToolRow>& tools)
{
    clear(m_tools);
    if (tools.isEmpty()) {
        m_tools->addLayout(
            centredEmptyState(u"tray"_s, u"最近 7 天还没有常用工具"_s,
                              u"等你开始使用 AI 后，这里会显示最常用的工具和时间分布。"_s));
        return;
    }
    for (const SummaryToolRow& tool : tools) {
        auto* row = new QHBoxLayout;
        row->setSpacing(10);
        row->addWidget(new SymbolView(u"circle.fill"_s, 8, ThemeRole::healthGreen), 0,
                       Qt::AlignVCenter);
        auto* name =
            new WrappingLabel(tool.name, systemFont(13, QFont::Medium), ThemeRole::label, 1);
        name->setFixedWidth(120);
        auto* time = new WrappingLabel(tool.duration, systemFont(13), ThemeRole::label, 1);
        time->setFixedWidth(75);
        row->addWidget(name, 0, Qt::AlignVCenter);
        row->addWidget(time, 0, Qt::AlignVCenter);
        row->addWidget(
            new WrappingLabel(tool.launches, systemFont(12), ThemeRole::secondaryText, 1), 1,
            Qt::AlignVCenter);
        m_tools->addLayout(row);
    }
}

void SummaryWindow::rebuildPlan(const QStringList& plan)
{
    clear(m_plan);
    if (plan.isEmpty()) {
        auto* empty = new EmptyStateView(u"leaf"_s, u"暂时没有额外安排"_s,
                                         u"当前使用节奏较稳定，继续保持先思考、后调用。"_s);
        m_plan->addWidget(empty);
        return;
    }
    for (const QString& text : plan) {
        auto* row = new QHBoxLayout;
        row->setSpacing(10);
        row->addWidget(new SymbolView(u"checkmark.circle.fill"_s, 14, ThemeRole::healthGreen), 0,
                       Qt::AlignVCenter);
        row->addWidget(new WrappingLabel(text, systemFont(13, QFont::Medium), ThemeRole::label, 2),
                       1, Qt::AlignVCenter);
        m_plan->addLayout(row);
    }
}

void SummaryWindow::paintEvent(QPaintEvent*)
{
    QPainter(this).fillRect(rect(), themeColor(ThemeRole::elevatedBackground));
}

} // namespace kelvo
