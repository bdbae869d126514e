#pragma once

#include "ui/theme.h"

#include <QAbstractTableModel>
#include <QTableView>
#include <QWidget>

class QBoxLayout;
class QPainter;
class QCheckBox;
class QPushButton;
class QTimeEdit;

namespace kelvo {

struct SettingsRuleRow;

// The building blocks every settings page is made of.
namespace SettingsBlocks {

// The keyboard focus on a rounded control: a ring 2 in from its edges, in the highlight colour.
void drawFocusRing(QPainter& painter, const QWidget& control);
// A card holding a header above the content, 20 in from every edge.
QWidget* detailCard(QWidget* header, QLayout* content);
// A column of cards filling `page` edge to edge.
void installSection(const QList<QWidget*>& cards, QWidget* page);
// A label 110 wide in the secondary colour, then the control.
QLayout* formRow(const QString& label, QWidget* control);
// A short title in the secondary colour, then its value.
QLayout* inlineInfo(const QString& title, const QString& value);
// A wrapping explanation in the secondary colour.
QWidget* explanation(const QString& text);
QCheckBox* checkBox(const QString& text);
QPushButton* pushButton(const QString& text);
// An hour-and-minute picker that hands on a time only once it is entered, never half-typed.
QTimeEdit* timePicker();
// A vertical stack with the spacing of a card's content.
QBoxLayout* column(int spacing = 12);

} // namespace SettingsBlocks

// The rows of one rule table; reloading the same rows leaves the view as it is.
class RuleTableModel final : public QAbstractTableModel {
    Q_OBJECT

public:
    RuleTableModel(const QStringList& headers, QObject* parent = nullptr);

    // Whether the rows differ from those shown (and so were replaced).
    bool setRows(const QList<SettingsRuleRow>& rows);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    QStringList m_headers;
    QList<SettingsRuleRow> m_rows;
};

// A rule table: whole rows, one at a time, 30 high; Delete or Backspace asks to remove the
// selected row, and Tab leaves the table.
class RuleTableView final : public QTableView {
    Q_OBJECT

public:
    RuleTableView(RuleTableModel* model, const QList<int>& columnWidths, int height,
                  QWidget* parent = nullptr);

    // The selected row, -1 for none.
    int selectedRow() const;
    // Shows `rows` with `row` selected (none for -1), keeping where the view is scrolled to;
    // says nothing about the selection it sets.
    void reload(const QList<SettingsRuleRow>& rows, int row);

signals:
    void removeRequested();
    // The person selected another row (-1 for none).
    void rowSelected(int row);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    RuleTableModel* m_rules;
    bool m_quiet = false;
};

} // namespace kelvo
