// A rounded frame or panel (the screens' decoration shapes and the status
// panel). It passes mouse moves on to the form beneath.
#pragma once

#include <QColor>
#include <QWidget>

#include "widgets/Palette.h"

class cShape : public QWidget {
    Q_OBJECT
public:
    explicit cShape(QWidget* parent = nullptr);

    void SetBrush(const QColor& color);  // Qt::transparent: frame only
    void SetPen(const QColor& color, int width);
    void SetRadius(int radius);  // corner radius in pixels

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor BrushColor = Qt::black;
    QColor PenColor = Palette::Orange;
    int PenWidth = 2;
    int Radius = 16;
};
