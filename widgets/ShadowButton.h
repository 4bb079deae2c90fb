// The large 3-D button of the screens: bold Arial caption and outline in
// orange, a black shadow, a fill that the hover rules set, a hand cursor.
// Buttons with a function key never take the focus (the form runs them by
// their key); the others are given Qt::TabFocus by their screen and show the
// focus as a dotted yellow frame.
#pragma once

#include <QAbstractButton>
#include <QColor>

#include "widgets/Palette.h"

class cShadowButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit cShadowButton(QWidget* parent = nullptr);

    void SetFill(const QColor& fill);  // repaints only when it changes
    QColor Fill() const { return FillColor; }
    // Outline of the caption and frame: 2 px orange by design.
    void SetOutline(int width, const QColor& color);
    int OutlineWidth() const { return Outline; }
    QColor Outline_Color() const { return OutlineCol; }

    // Caption alignment: left by design; the dialogs centre theirs.
    void SetAlignment(Qt::Alignment alignment);
    Qt::Alignment Alignment() const { return Align; }

    static QColor OutlineColor() { return Palette::Orange; }
    static QColor HoverFill() { return Palette::DarkRed; }
    static QColor NormalFill() { return Palette::Black; }

    QSize sizeHint() const override;
    // Width left for the caption inside the outline and its margins.
    double CaptionWidth() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    // A button that takes the focus (one without a function key) is pressed
    // with Space, Enter or Return.
    void keyPressEvent(QKeyEvent* event) override;

private:
    QColor FillColor = NormalFill();
    int Outline = 2;
    QColor OutlineCol = OutlineColor();
    Qt::Alignment Align = Qt::AlignLeft;
};
