// Base class of every screen and dialog that hears from the link (all but
// the information dialog): the seven notifications, full-screen placement and
// scaling from the 1024-pixel design, the function keys of the large buttons,
// their hover colours, and modal showing.
#pragma once

#include <QWidget>
#include <QRect>
#include <vector>

#include "link/LinkListener.h"

class cShadowButton;

class cIOForm : public QWidget, public cLinkListener {
    Q_OBJECT
public:
    explicit cIOForm(QWidget* parent = nullptr);
    ~cIOForm() override;

    bool ScreenActive = false;

    // Delivered to this form and then to every nested cIOForm child.
    void DeliverLinkIdle(bool idle);

    // Sets every user-visible text of the form again from the catalogue.
    virtual void Retranslate() {}

    // Shows the form modally (a nested event loop) and returns its result
    // once it closes (see Done).
    int ShowModal();
    void Done(int result);
    bool IsModalRunning() const;

    // Ratio (screen width x 96) : (pixels per inch x 1024).
    static double ScaleRatio();

protected:
    // Full-screen borderless navy window scaled from the design size.
    void SetupFullScreen();
    // A dialog of fixed design size (not scaled), centred on the screen.
    void SetupDialog(int designWidth, int designHeight);

    // Places a child at design coordinates; remembered so that scaling and
    // rescaling are exact. Fonts given in design point sizes are scaled too.
    void Place(QWidget* w, int x, int y, int width, int height, int fontPt = 0, bool bold = false);

    // A large button with its function key (Qt::Key_F1 ...; 0 for none). The
    // key runs the button's click only while it is enabled; hover colours
    // follow the shared rules.
    void RegisterLargeButton(cShadowButton* button, int functionKey);

    // Esc and F10 call CloseScreen; function keys of registered buttons run
    // them. Screens override to add keys and then call the base.
    void keyPressEvent(QKeyEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

    // What Esc/F10 do; by default hide the form (close()).
    virtual void CloseScreen();

    void SetAllButtonFills(cShadowButton* hovered);

private:
    struct sPlaced { QWidget* Widget; QRect Design; int FontPt; bool Bold; };
    std::vector<sPlaced> Placed;
    std::vector<std::pair<cShadowButton*, int>> LargeButtons;
    class QEventLoop* ModalLoop = nullptr;
    int ModalResult = 0;
    double Ratio = 1.0;
};
