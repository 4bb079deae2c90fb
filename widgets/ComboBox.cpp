#include "widgets/ComboBox.h"

#include <QEvent>

void cComboBox::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange) {
        updateGeometry();
        QWidget::changeEvent(event);
        return;
    }
    QComboBox::changeEvent(event);
}
