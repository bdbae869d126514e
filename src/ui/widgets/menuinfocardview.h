#pragma once

#include "themedview.h"
#include "ui/menucardlayout.h"

namespace kelvo {

// The card at the top of the tray menu: today's figures and the suggestion.
class MenuInfoCardView final : public ThemedView {
    Q_OBJECT

public:
    MenuInfoCardView(const QList<MenuInfoRow>& rows, const QString& suggestion,
                     QWidget* parent = nullptr);

    void setContent(const QList<MenuInfoRow>& rows, const QString& suggestion);
    const MenuCardLayout& cardLayout() const { return m_layout; }

    QSize sizeHint() const override { return m_layout.size; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QList<MenuInfoRow> m_rows;
    QString m_suggestion;
    MenuCardLayout m_layout;
};

} // namespace kelvo
