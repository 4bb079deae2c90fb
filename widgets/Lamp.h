// A round lamp, lit or dark, each state with its own colour. It repaints only
// when its state or colours change.
#pragma once

#include <QColor>
#include <QWidget>

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
    static QColor RedLit() { return QColor(0xFF, 0, 0); }
    static QColor RedDark() { return QColor(0x80, 0, 0); }
    static QColor GreenLit() { return QColor(0, 0xFF, 0); }
    static QColor GreenDark() { return QColor(0, 0x40, 0); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor LitColor = GreenLit(), DarkColor = GreenDark();
    bool Lit = false;
    int Requests = 0;
};
