#include "themedview.h"

#include <QEvent>

namespace kelvo {

void ThemedView::applyTheme()
{
    update();
}

void ThemedView::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        applyTheme();
}

} // namespace kelvo
