#include "traymenu.h"

#include "menuinfocardview.h"

#include "applicationtheme.h"

#include <QBoxLayout>
#include <QKeyEvent>
#include <QWidgetAction>

namespace kelvo {

namespace {

QString fullText(const TrayMenuItem& item)
{
    return item.detail.isEmpty() ? item.title : item.title + QStringLiteral("  ") + item.detail;
}

} // namespace

TrayMenu::TrayMenu(QWidget* parent)
    : QMenu(parent)
{}

void TrayMenu::keyPressEvent(QKeyEvent* event)
{
    // A popup menu belongs to no window, so Qt never matches its actions' shortcuts: do it here.
    const QKeySequence pressed(event->keyCombination());
    for (QAction* action : std::as_const(m_actions)) {
        if (action && !action->shortcut().isEmpty() && action->shortcut() == pressed) {
            close();
            action->trigger();
            return;
        }
    }
    QMenu::keyPressEvent(event);
}

void TrayMenu::setModel(const TrayMenuModel& model)
{
    if (model == m_model && !m_actions.isEmpty())
        return;
    const bool sameShape = m_model.items.size() == model.items.size() &&
                           std::equal(model.items.begin(), model.items.end(), m_model.items.begin(),
                                      [](const auto& a, const auto& b) {
                                          return a.kind == b.kind && a.command == b.command;
                                      });
    if (!sameShape || m_actions.isEmpty()) {
        rebuild(model);
    } else {
        // The same items: change texts and marks in place, so an open menu keeps its place.
        for (qsizetype index = 0; index < model.items.size(); ++index) {
            const TrayMenuItem& item = model.items.at(index);
            QAction* action = m_actions.at(index);
            action->setText(fullText(item));
            action->setProperty(menuDetailProperty, item.detail);
            action->setChecked(item.checked);
        }
    }
    if (m_card)
        m_card->setContent(model.rows, model.suggestion);
    m_model = model;
}

void TrayMenu::rebuild(const TrayMenuModel& model)
{
    clear();
    m_actions.clear();
    m_card = nullptr;
    for (const TrayMenuItem& item : model.items) {
        QAction* action = nullptr;
        switch (item.kind) {
        case TrayMenuItem::Kind::card: {
            auto* cardAction = new QWidgetAction(this);
            auto* holder = new QWidget;
            auto* margins = new QVBoxLayout(holder);
            margins->setContentsMargins(8, 8, 8, 4);
            m_card = new MenuInfoCardView(model.rows, model.suggestion);
            margins->addWidget(m_card);
            cardAction->setDefaultWidget(holder);
            // Nothing to choose there: the keyboard passes over it.
            cardAction->setEnabled(false);
            addAction(cardAction);
            action = cardAction;
            break;
        }
        case TrayMenuItem::Kind::separator:
            action = addSeparator();
            break;
        case TrayMenuItem::Kind::toggle:
        case TrayMenuItem::Kind::action:
            action = addAction(fullText(item));
            action->setProperty(menuDetailProperty, item.detail);
            action->setCheckable(item.kind == TrayMenuItem::Kind::toggle);
            action->setChecked(item.checked);
            if (!item.shortcutKey.isEmpty())
                action->setShortcut(QKeySequence(QStringLiteral("Ctrl+") + item.shortcutKey));
            connect(action, &QAction::triggered, this,
                    [this, command = item.command] { emit commandChosen(command); });
            break;
        }
        m_actions.append(action);
    }
}

} // namespace kelvo
