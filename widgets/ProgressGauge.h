// The progress dialogs' gauge: a horizontal bar from 0 to 100 %, yellow on
// dark blue, with the percentage in the middle. Values are held within 0..100.
#pragma once

#include <QWidget>

class cProgressGauge : public QWidget {
    Q_OBJECT
public:
    explicit cProgressGauge(QWidget* parent = nullptr);
    void SetValue(int percent);
    int Value() const { return Percent; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int Percent = 0;
};
