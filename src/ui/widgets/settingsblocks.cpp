#include "settingsblocks.h"

#include "cardviews.h"
#include "ui/settingspresentation.h"
#include "ui/typography.h"
#include "wrappinglabel.h"

#include <QBoxLayout>
#include <QCheckBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScrollBar>
#include <QTimeEdit>

namespace kelvo {

namespace SettingsBlocks {

QBoxLayout* column(int spacing)
{
    auto* stack = new QVBoxLayout;
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(spacing);
    return stack;
}

void drawFocusRing(QPainter& painter, const QWidget& control)
{
    QPainterPath ring;
    ring.addRoundedRect(QRectF(control.rect()).adjusted(2, 2, -2, -2), 10, 10);
    painter.setPen(QPen(control.palette().color(QPalette::Highlight), 2));
    painter.drawPath(ring);
}

QWidget* detailCard(QWidget* header, QLayout* content)
{
    auto* card = new SectionCardView;
    auto* stack = new QVBoxLayout(card);
    stack->setContentsMargins(20, 20, 20, 20);
    stack->setSpacing(16);
    stack->addWidget(header);
    stack->addLayout(content);
    return card;
}

void installSection(const QList<QWidget*>& cards, QWidget* page)
{
    auto* stack = new QVBoxLayout(page);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(16);
    for (QWidget* card : cards)
        stack->addWidget(card);
}

QLayout* formRow(const QString& label, QWidget* control)
{
    auto* row = new QHBoxLayout;
    row->setSpacing(12);
    auto* caption = new WrappingLabel(label, systemFont(13), ThemeRole::secondaryText, 1);
    caption->setFixedWidth(110);
    row->addWidget(caption, 0, Qt::AlignVCenter);
    row->addWidget(control, 0, Qt::AlignVCenter);
    row->addStretch(1);
    return row;
}

QLayout* inlineInfo(const QString& title, const QString& value)
{
    auto* row = new QHBoxLayout;
    row->setSpacing(8);
    auto* caption =
        new WrappingLabel(title, systemFont(12, QFont::Medium), ThemeRole::secondaryText, 1);
    caption->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
    row->addWidget(caption, 0, Qt::AlignVCenter);
    row->addWidget(new WrappingLabel(value, systemFont(12), ThemeRole::label, 1), 1,
                   Qt::AlignVCenter);
    return row;
}

QWidget* explanation(const QString& text)
{
    return new WrappingLabel(text, systemFont(12), ThemeRole::secondaryText, 0);
}

QCheckBox* checkBox(const QString& text)
{
    auto* box = new QCheckBox(text);
    box->setFont(systemFont(13));
    return box;
}

QPushButton* pushButton(const QString& text)
{
    auto* button = new QPushButton(text);
    button->setFont(systemFont(13));
    button->setAutoDefault(false);
    return button;
}

QTimeEdit* timePicker()
{
    auto* picker = new QTimeEdit;
    picker->setFont(systemFont(13));
    picker->setDisplayFormat(QStringLiteral("HH:mm"));
    picker->setKeyboardTracking(false);
    picker->setWrapping(true);
    picker->setMinimumWidth(90);
    return picker;
}

} // namespace SettingsBlocks

RuleTableModel::RuleTableModel(const QStringList& headers, QObject* parent)
    : QAbstractTableModel(parent)
    , m_headers(headers)
{}

bool RuleTableModel::setRows(const QList<SettingsRuleRow>& rows)
{
    if (rows == m_rows)
        return false;
    beginResetModel();
    m_rows = rows;
    endResetModel();
    return true;
}

int RuleTableModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int RuleTableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_headers.size());
}

QVariant RuleTableModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows.size())
        return {};
    const SettingsRuleRow& row = m_rows.at(index.row());
    const QString& text = index.column() == 0 ? row.name : row.detail;
    switch (role) {
    case Qt::DisplayRole:
        return text;
    case Qt::ToolTipRole:
        // The whole text of a cell cut short, within reason.
        return text.size() > 30 ? QVariant(text.left(500)) : QVariant();
    default:
        return {};
    }
}

QVariant RuleTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section < m_headers.size())
        return m_headers.at(section);
    return {};
}

RuleTableView::RuleTableView(RuleTableModel* model, const QList<int>& columnWidths, int height,
                             QWidget* parent)
    : QTableView(parent)
    , m_rules(model)
{
    setModel(model);
    setFont(systemFont(12));
    horizontalHeader()->setFont(systemFont(12, QFont::Medium));
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    horizontalHeader()->setStretchLastSection(true);
    horizontalHeader()->setHighlightSections(false);
    for (int column = 0; column < columnWidths.size(); ++column)
        setColumnWidth(column, columnWidths.at(column));
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(30);
    setAlternatingRowColors(true);
    setShowGrid(false);
    setWordWrap(false);
    setTextElideMode(Qt::ElideRight);
    setSelectionBehavior(SelectRows);
    setSelectionMode(SingleSelection);
    setEditTriggers(NoEditTriggers);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setTabKeyNavigation(false);
    setFixedHeight(height);

    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        if (!m_quiet)
            emit rowSelected(selectedRow());
    });
}

int RuleTableView::selectedRow() const
{
    const QModelIndexList rows = selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void RuleTableView::reload(const QList<SettingsRuleRow>& rows, int row)
{
    m_quiet = true;
    const int scrolled = verticalScrollBar()->value();
    if (m_rules->setRows(rows)) {
        // The scroll range follows the new rows now, not at the next layout, so the place the
        // person scrolled to can be kept.
        doItemsLayout();
        verticalScrollBar()->setValue(scrolled);
    }
    if (row != selectedRow()) {
        const bool autoScrolling = hasAutoScroll();
        setAutoScroll(false);
        if (row < 0 || row >= m_rules->rowCount())
            selectionModel()->clearSelection();
        else
            selectionModel()->setCurrentIndex(m_rules->index(row, 0),
                                              QItemSelectionModel::ClearAndSelect |
                                                  QItemSelectionModel::Rows);
        setAutoScroll(autoScrolling);
        verticalScrollBar()->setValue(scrolled);
    }
    m_quiet = false;
}

void RuleTableView::keyPressEvent(QKeyEvent* event)
{
    if ((event->key() == Qt::Key_Delete || event->key() == Qt::Key_Backspace) &&
        event->modifiers() == Qt::NoModifier) {
        emit removeRequested();
        return;
    }
    QTableView::keyPressEvent(event);
}

} // namespace kelvo
