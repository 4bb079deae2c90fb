// A round lamp, lit or dark, each state with its own colour. It repaints only
// when its state or colours change.
#pragma once

#include <QColor>
#include <QWidget>

#include "widgets/Palette.h"

class cLamp : public QWidget {
    Q_OBJECT
public:
    explicit cLamp(QWidget* parent = nullptr);
    cLamp(const QColor& lit, const QColor& dark, QWidget* parent = nullptr);

    void SetColors(const QColor& lit, const QColor& dark);
    void SetLit(bool lit);
    void Toggle() { SetLit(!Lit); }
    bool IsLit() const { return Lit; }
    QColor Color() const { return Lit ? LitColor : DarkColor; }
    int RepaintRequests() const { return Requests; }

    // The lamps of the screens.
    static QColor RedLit() { return Palette::Red; }
    static QColor RedDark() { return Palette::DarkRed; }
    static QColor GreenLit() { return Palette::Green; }
    static QColor GreenDark() { return QColor(0, 0x40, 0); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor LitColor = GreenLit(), DarkColor = GreenDark();
    bool Lit = false;
    int Requests = 0;
};
