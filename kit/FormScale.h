// How a form's controls are laid out from their design coordinates: the
// ratio the 1024 x 768 design is scaled by, where it starts on the form, the
// controls placed at design rectangles and the labels whose fonts are fitted
// to their text. A helper of cIOForm; it knows nothing of showing or keys.
#pragma once

#include <vector>

#include <QPoint>
#include <QPointer>
#include <QRect>
#include <QSize>

class QLabel;
class QWidget;

class cFormScale {
public:
    // The ratio that fits the whole design on a screen of that size and
    // resolution (see cIOForm::ScaleRatio).
    static double FitRatio(QSize screen, double dpi);
    // Where the scaled design starts: centred, whole pixels towards the
    // top-left.
    static QPoint FitOrigin(QSize screen, double ratio);
    // A design rectangle laid out with that ratio and origin.
    static QRect FitRect(const QRect& design, double ratio, QPoint origin);
    // The screen the forms are laid out for (an override, else the primary
    // screen) and the ratio that fits the design on it.
    static QRect ScreenRect();
    static double ScreenDpi();
    static double ScaleRatio();
    static void SetScreenOverride(QSize size, double dpi);
    static void ClearScreenOverride();

    // `form` is the widget whose direct children are moved by the origin.
    explicit cFormScale(const QWidget* form) : Form(form) {}

    double Ratio() const { return RatioNow; }
    // Takes a new ratio and origin; the controls keep their geometry until
    // PlaceAll.
    void SetFit(double ratio, QPoint origin);

    int Scaled(int designPixels) const;
    QRect ScaledRect(const QWidget* control, const QRect& design) const;

    // Places a control at a design rectangle and remembers it; a font given
    // in design points is scaled as well.
    void Place(QWidget* w, const QRect& design, int fontPt, bool bold);
    // Gives a placed label its placed font, smaller where its text would not
    // fit its width (a word-wrapped label: its height as wrapped);
    // remembered for FitAll.
    void FitText(QLabel* label);
    // Every remembered control placed again with the ratio in force, and
    // every fitted label fitted again.
    void PlaceAll();
    void FitAll();

private:
    // The controls are held by guarded pointers: entries of deleted
    // controls read null and are dropped when the lists next grow.
    struct sPlaced {
        QPointer<QWidget> Widget;
        QRect Design;
        int FontPt;
        bool Bold;
    };
    const QWidget* Form;
    std::vector<sPlaced> Placed;
    std::vector<QPointer<QLabel>> Fitted;
    double RatioNow = 1.0;
    QPoint OriginNow;
};
