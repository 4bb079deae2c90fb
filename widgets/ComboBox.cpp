#include "widgets/ComboBox.h"

#include <algorithm>

#include <QAbstractItemView>
#include <QEvent>
#include <QScreen>
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
    QStringList others;
    for (int i = 0; i < count(); ++i) others << itemText(i);
    return ElideDistinct(text, others, fontMetrics(), FieldWidth());
}

QString cComboBox::ElideDistinct(const QString& text, const QStringList& others, const QFontMetrics& fm, int width) {
    if (fm.horizontalAdvance(text) <= width) return text;
    const QString ellipsis = QStringLiteral("\u2026");
    // How far the text runs alike with its nearest neighbour, from the start.
    int shared = 0;
    for (const QString& other : others) {
        if (other == text) continue;
        int n = 0;
        while (n < text.size() && n < other.size() && text[n] == other[n]) ++n;
        shared = std::max(shared, n);
    }
    // Keep a short head ("/dev/") and cut out of the shared start no more
    // than needed.
    const int head = std::min<int>(shared, std::min<int>(5, text.size()));
    for (int end = head + 1; end <= shared; ++end) {
        const QString shown = text.left(head) + ellipsis + text.mid(end);
        if (fm.horizontalAdvance(shown) <= width) return shown;
    }
    // The differing part alone is too wide: cut the middle of what is left,
    // keeping the differing part's start.
    const QString tail = text.mid(std::max(head, shared - 2));
    for (int keep = tail.size() - 1; keep > 0; --keep) {
        const int front = (keep + 1) / 2, back = keep - front;
        const QString shown = text.left(head) + ellipsis + tail.left(front) + ellipsis + tail.right(back);
        if (fm.horizontalAdvance(shown) <= width) return shown;
    }
    return fm.elidedText(text, Qt::ElideMiddle, width);
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
    if (ElideMiddle) {
        // Wide enough for the longest name, within the screen; a name wider
        // than that loses its middle there too.
        list->setTextElideMode(Qt::ElideMiddle);
        int widest = 0;
        for (int i = 0; i < count(); ++i) widest = std::max(widest, fontMetrics().horizontalAdvance(itemText(i)));
        const QScreen* screen = this->screen();
        const int room = screen ? screen->availableGeometry().width() - 8 : widest + 40;
        list->setMinimumWidth(std::min(widest + fontMetrics().averageCharWidth() * 4, room));
    }
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
