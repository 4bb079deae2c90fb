#include "widgets/ComboBox.h"

#include <QAbstractItemView>
#include <QEvent>
#include <QStyleOptionComboBox>
#include <QStylePainter>

void cComboBox::SetElideMiddle(bool elide) {
    if (elide && !ElideMiddle) connect(this, &QComboBox::currentTextChanged, this, [this] { UpdateToolTip(); });
    ElideMiddle = elide;
    UpdateToolTip();
    update();
}

int cComboBox::FieldWidth() const {
    QStyleOptionComboBox opt;
    initStyleOption(&opt);
    return style()->subControlRect(QStyle::CC_ComboBox, &opt, QStyle::SC_ComboBoxEditField, this).width();
}

QString cComboBox::ShownText(const QString& text) const {
    if (!ElideMiddle) return text;
    return fontMetrics().elidedText(text, Qt::ElideMiddle, FieldWidth());
}

void cComboBox::UpdateToolTip() {
    if (!ElideMiddle) return;
    const QString text = currentText();
    setToolTip(ShownText(text) != text ? text : QString());
}

void cComboBox::resizeEvent(QResizeEvent* event) {
    QComboBox::resizeEvent(event);
    UpdateToolTip();
}

void cComboBox::paintEvent(QPaintEvent* event) {
    if (!ElideMiddle) {
        QComboBox::paintEvent(event);
        return;
    }
    QStylePainter painter(this);
    painter.setPen(palette().color(QPalette::Text));
    QStyleOptionComboBox opt;
    initStyleOption(&opt);
    painter.drawComplexControl(QStyle::CC_ComboBox, opt);
    opt.currentText = ShownText(opt.currentText);
    painter.drawControl(QStyle::CE_ComboBoxLabel, opt);
}

void cComboBox::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange) {
        updateGeometry();
        QWidget::changeEvent(event);
        UpdateToolTip();
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
