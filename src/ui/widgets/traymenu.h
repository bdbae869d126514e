#pragma once

#include "ui/traymenumodel.h"

#include <QMenu>

#include <functional>

namespace kelvo {

class MenuInfoCardView;

// Kelvo's own menu, shown by a click on the tray icon: the card on top, then the switches and
// commands of the model, kept up to date in place so that an open menu stays usable.
class TrayMenu final : public QMenu {
    Q_OBJECT

public:
    explicit TrayMenu(QWidget* parent = nullptr);

    void setModel(const TrayMenuModel& model);
    // The card at the top; null for a model without one.
    MenuInfoCardView* card() const { return m_card; }

signals:
    void commandChosen(TrayCommand command);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void rebuild(const TrayMenuModel& model);

    TrayMenuModel m_model;
    MenuInfoCardView* m_card = nullptr;
    QList<QAction*> m_actions; // one for each item of the model, in order
};

} // namespace kelvo
