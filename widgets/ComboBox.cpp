#include "widgets/ComboBox.h"

#include <QAbstractItemView>
#include <QEvent>

void cComboBox::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange) {
        updateGeometry();
        QWidget::changeEvent(event);
        return;
    }
    QComboBox::changeEvent(event);
}

void cComboBox::showPopup() {
    QAbstractItemView* list = view();
    const QPalette own = palette();
    QPalette pal = list->palette();
    for (auto role : {QPalette::Base, QPalette::Window, QPalette::Button, QPalette::Text, QPalette::WindowText,
                      QPalette::ButtonText, QPalette::Highlight, QPalette::HighlightedText}) {
        for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
            pal.setColor(group, role, own.color(group, role));
    }
    list->setPalette(pal);
    // The frame around the list.
    if (QWidget* frame = list->parentWidget()) frame->setPalette(pal);
    QComboBox::showPopup();
}
