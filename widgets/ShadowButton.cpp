#include "widgets/ShadowButton.h"

#include <QKeyEvent>
#include <QPainter>

#include "widgets/DesignFont.h"
#include "widgets/Palette.h"

namespace {
constexpr int kShadow = 6;  // depth of the black shadow, pixels
}

cShadowButton::cShadowButton(QWidget* parent) : QAbstractButton(parent) {
    setCursor(Qt::PointingHandCursor);
    // The form handles the keys; the buttons never take the focus.
    setFocusPolicy(Qt::NoFocus);
    setMouseTracking(true);
    setAttribute(Qt::WA_TranslucentBackground);
    setFont(DesignFont(19, true));
}

void cShadowButton::SetFill(const QColor& fill) {
    if (fill == FillColor) return;
    FillColor = fill;
    update();
}

void cShadowButton::SetOutline(int width, const QColor& color) {
    if (width == Outline && color == OutlineCol) return;
    Outline = width;
    OutlineCol = color;
    update();
}

void cShadowButton::SetAlignment(Qt::Alignment alignment) {
    Align = alignment;
    update();
}

QSize cShadowButton::sizeHint() const {
    QFontMetrics fm(font());
    return QSize(fm.horizontalAdvance(text()) + 2 * fm.height() + kShadow, fm.height() * 2 + kShadow);
}

double cShadowButton::CaptionWidth() const {
    const QFontMetricsF fm(font());
    return (width() - kShadow) - 2 * (Outline + fm.height() * 0.25);
}

void cShadowButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const int w = width() - kShadow, h = height() - kShadow;
    if (w <= 0 || h <= 0) return;
    // Pressed, the face sinks onto its shadow.
    const bool down = isDown();
    const int shift = down ? kShadow / 2 : 0;
    QRectF face(shift, shift, w, h);

    if (!down) p.fillRect(QRectF(kShadow, kShadow, w, h), Qt::black);

    const qreal half = Outline / 2.0;
    p.fillRect(face, FillColor);
    QColor line = isEnabled() ? OutlineCol : OutlineCol.darker(200);
    if (Outline > 0) {
        p.setPen(QPen(line, Outline, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
        p.setBrush(Qt::NoBrush);
        p.drawRect(face.adjusted(half, half, -half, -half));
    }

    if (hasFocus()) {
        p.setPen(QPen(Palette::Yellow, 1, Qt::DotLine));
        p.setBrush(Qt::NoBrush);
        p.drawRect(face.adjusted(Outline + 2.5, Outline + 2.5, -Outline - 2.5, -Outline - 2.5));
    }

    // Caption in bold orange.
    QFont f = font();
    QFontMetricsF fm(f);
    const qreal pad = Outline + fm.height() * 0.25;
    QRectF textRect = face.adjusted(pad, 0, -pad, 0);
    QString caption = text();
    qreal textWidth = fm.horizontalAdvance(caption);
    qreal x = textRect.left();
    if (Align & Qt::AlignHCenter) x = textRect.left() + (textRect.width() - textWidth) / 2;
    else if (Align & Qt::AlignRight) x = textRect.right() - textWidth;
    qreal y = face.top() + (face.height() + fm.ascent() - fm.descent()) / 2;
    p.setClipRect(face);
    p.setFont(f);
    p.setPen(isEnabled() ? OutlineColor() : OutlineColor().darker(200));
    p.drawText(QPointF(x, y), caption);
}

void cShadowButton::keyPressEvent(QKeyEvent* event) {
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && event->modifiers() == Qt::NoModifier) {
        event->accept();
        click();
        return;
    }
    QAbstractButton::keyPressEvent(event);
}
