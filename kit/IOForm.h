// Base class of every screen and dialog that hears from the link (all but
// the information dialog): the seven notifications, the function keys of the
// large buttons and their hover colours, modal showing, style sheets and the
// focus mark. The layout from the 1024-pixel design is cFormScale's, the
// shared status line cStatusLine's; the form owns both.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include <QPointer>
#include <QRect>
#include <QSize>
#include <QWidget>

#include "link/LinkListener.h"

#include "widgets/DesignFont.h"

#include "kit/FormScale.h"

class cFocusMark;
class cShadowButton;
class cShape;
class cStatusLine;
class QLabel;

class cIOForm : public QWidget, public cLinkListener {
    Q_OBJECT
public:
    // Results of a modal showing.
    static constexpr int ResultNone = 0;
    static constexpr int ResultOK = 1;
    static constexpr int ResultCancel = 2;

    explicit cIOForm(QWidget* parent = nullptr);
    ~cIOForm() override;

    bool ScreenActive = false;

    // The base keeps the status line (when the form has one) up to date;
    // overrides call the base first.
    void LinkEvent() override;
    void SendError() override;

    // Asked on SendError: true when the port could not be opened because the
    // device is not there (set by the program; none: a port error).
    static std::function<bool()>& PortAbsent();

    // LinkIdle goes to this form and then to every nested cIOForm child.
    void DeliverLinkIdle(bool idle) override;

    // Sets every user-visible text of the form again from the catalogue.
    virtual void Retranslate() {}
    // Retranslates the status line (if any) and then calls Retranslate().
    void RetranslateForm();

    // The form's show handler: refills its controls from the settings. The
    // main menu calls it on the configuration and calibration screens after
    // a settings load.
    virtual void FormShow() {}

    // Shows the form modally (a nested event loop) and returns its result
    // once it closes (see Done).
    int ShowModal();
    // Sets the result of a modal showing and closes the form (the close may
    // be refused by CanClose, which clears the result again). No effect while
    // the form is not shown modally.
    void Done(int result);
    bool IsModalRunning() const;

    // A style sheet for a control, applied when its form is first shown.
    // Style sheets are costly to apply, and every screen is created hidden
    // at start-up.
    static void DeferStyleSheet(QWidget* w, const QString& sheet);

    // The ratio the full-screen forms are scaled by: the smaller of
    // (screen width x 96) : (pixels per inch x 1024) and
    // (screen height x 96) : (pixels per inch x 768), so that the whole
    // 1024 x 768 design fits on the screen whatever its shape. Sizes and
    // pixels per inch are Qt's logical ones: where Qt draws at a device pixel
    // ratio it reports 96 pixels per inch and the screen in its own pixels.
    static double ScaleRatio() { return cFormScale::ScaleRatio(); }
    static double FitRatio(QSize screen, double dpi) { return cFormScale::FitRatio(screen, dpi); }
    // Where the scaled design starts on the screen: centred, navy margins on
    // the sides of a wide screen and above and below a tall one.
    static QPoint FitOrigin(QSize screen, double ratio) { return cFormScale::FitOrigin(screen, ratio); }
    // A design rectangle on a form laid out with that ratio and origin.
    static QRect FitRect(const QRect& design, double ratio, QPoint origin) {
        return cFormScale::FitRect(design, ratio, origin);
    }
    // Size and resolution of the screen the forms are laid out for; tests and
    // the screenshot tool set it, the program uses the primary screen.
    static QRect ScreenRect() { return cFormScale::ScreenRect(); }
    static double ScreenDpi() { return cFormScale::ScreenDpi(); }
    static void SetScreenOverride(QSize size, double dpi) { cFormScale::SetScreenOverride(size, dpi); }
    static void ClearScreenOverride() { cFormScale::ClearScreenOverride(); }

    // The program's window: the full-screen form shown last that is still
    // visible (the screen when none is). Dialogs are centred on it and
    // scaled by its ratio, as its controls are.
    static QRect ProgramWindow();
    static double DialogRatio();
    // Where a dialog of `size` goes: centred on the program's window.
    static QPoint DialogPosition(QSize size);

    // The ratio this form was laid out with (1 for dialogs).
    double Scale() const { return Scaling.Ratio(); }
    // A design length in pixels of this form.
    int Scaled(int designPixels) const { return Scaling.Scaled(designPixels); }
    // A design rectangle of a control in its parent's pixels: scaled, and
    // moved by the design's origin on the screen when the parent is the form
    // itself (controls inside a group keep the group's coordinates).
    QRect ScaledRect(const QWidget* control, const QRect& design) const { return Scaling.ScaledRect(control, design); }

    // The control that gets the keyboard focus when the form is shown: by
    // default the first enabled, visible control that Tab reaches (null when
    // the form has none, as on the screens run by function keys alone, or
    // keeps the keys itself: then the form takes the focus). A field that
    // gets it has its value selected.
    virtual QWidget* FirstFocus() const;
    // Gives the keyboard focus to FirstFocus().
    void GiveFirstFocus();
    // Gives the focus back to a control that had it before a refill when it
    // can still take it, otherwise to the first one.
    void RestoreFocus(QWidget* previous);
    // The control the focus mark is drawn around (null while none shows).
    QWidget* FocusMarkTarget() const;

    // The shared status line, when the form has one (otherwise null).
    QLabel* StatusLL = nullptr;
    cShape* StatusSH = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
    // A full-screen form is laid out again, the same way, whenever the size
    // of its window changes (a window manager's maximise and restore, a
    // changed screen).
    void resizeEvent(QResizeEvent* event) override;
    // Called after the form was laid out again for a new size; forms with
    // drawings of their own that depend on the ratio override it.
    virtual void Rescaled() {}
    // A label named for tests and look-ups, in one text colour.
    QLabel* MakeLabel(const char* name, const QColor& color);
    // Full-screen borderless navy window scaled from the design size.
    void SetupFullScreen();
    // A dialog of a fixed design size. Each modal showing lays it out again
    // with the ratio of the program's window and centres it there.
    void SetupDialog(int designWidth, int designHeight);

    // Places a child at design coordinates; remembered so that scaling and
    // rescaling are exact. Fonts given in design point sizes are scaled too.
    void Place(QWidget* w, int x, int y, int width, int height, int fontPt = 0, bool bold = false);
    // Gives a placed label its placed font again, made smaller where its text
    // (every line of it) would not fit the label's width. For titles whose
    // translations differ much in length; run after each change of text.
    void FitText(QLabel* label);

    // A large button with its function key (Qt::Key_F1 ...; 0 for none). The
    // key runs the button's click only while it is enabled; hover colours
    // follow the shared rules.
    void RegisterLargeButton(cShadowButton* button, int functionKey);

    // The rounded status panel with its label in the bottom-left corner (design
    // coordinates); its text follows RQ_CONNECT events and port errors.
    void CreateStatusLine(int x, int y, int width, int height, int fontPt = 14);
    // A screen's own text in the status line (a catalogue key, translated
    // now and on every language switch) until the link's next status.
    void ShowStatusMessage(const char* key);

    // On full-screen forms Esc and F10 call CloseScreen (the dialogs have
    // keys of their own); function keys of registered buttons run them. The form sees keys before its controls. Screens override to add
    // keys and then call the base; a key that is not handled must leave the
    // event ignored (the base does so), so that the control gets it.
    void keyPressEvent(QKeyEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    // Asks CanClose; when the close goes ahead ends a modal showing.
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void childEvent(QChildEvent* event) override;

    // What Esc/F10 do; by default hide the form (close()).
    virtual void CloseScreen();
    // Whether the form may close now (a refused close keeps it open).
    virtual bool CanClose() { return true; }

    void SetAllButtonFills(cShadowButton* hovered);

private:
    void WatchTree(QObject* object);
    void Rescale(QSize size);
    void LayOutDialog();
    void UpdateFocusMark();

    // The helpers hold the children by guarded pointers, not cleaned up from
    // their destroyed signals: the form's members are gone by the time
    // QWidget's destructor deletes the children, so no handler may reach
    // them then.
    cFormScale Scaling{this};
    std::unique_ptr<cStatusLine> Status;  // once CreateStatusLine ran
    QPointer<cFocusMark> FocusMark;
    QSize LaidOut;  // the window size a full-screen form was laid out for
    std::vector<std::pair<QPointer<cShadowButton>, int>> LargeButtons;
    class QEventLoop* ModalLoop = nullptr;
    int ModalResult = 0;
    bool StylesApplied = false;
    bool FullScreen = false;  // set by SetupFullScreen
    QSize DialogDesign;       // set by SetupDialog
};
