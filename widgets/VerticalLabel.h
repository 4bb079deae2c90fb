// A screen title written upwards along the left edge, in orange over a black
// shadow a few pixels behind it. Mouse moves over it reach the screen.
#pragma once

#include <QColor>
#include <QString>
#include <QWidget>

class cVerticalLabel : public QWidget {
    Q_OBJECT
public:
    explicit cVerticalLabel(QWidget* parent = nullptr);

    void SetText(const QString& text);
    QString Text() const { return TextValue; }
    // The font the title is drawn with: the widget's font, made smaller
    // where the text would not fit the widget's height (or its line the width).
    QFont PaintFont() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString TextValue;
};
