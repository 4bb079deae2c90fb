// The keyboard focus mark of the screens: a thick yellow ring drawn just
// outside the focused control, over its neighbours, so that the focus shows
// on every kind of control (drop-down lists, edit fields, buttons) whatever
// the control's own style draws. It takes no mouse input.
#pragma once

#include <QPointer>
#include <QWidget>

class cFocusMark : public QWidget {
public:
    explicit cFocusMark(QWidget* parent = nullptr);

    // Puts the ring around a control (null: hides it). The ring lies
    // `gap` pixels outside the control and is `width` pixels wide.
    void Follow(QWidget* control, int gap, int width);
    QWidget* Target() const { return Control; }
    int RingWidth() const { return Width; }

    // The rectangle the ring takes for a control's rectangle.
    static QRect RingRect(const QRect& control, int gap, int width);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPointer<QWidget> Control;
    int Width = 3;
};
