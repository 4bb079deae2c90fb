// The information dialog: one message and an OK button. A plain window: it
// receives no link notifications.
#pragma once

#include <QWidget>

class QEventLoop;
class QLabel;
class cShadowButton;
class cShape;

class TInfoForm : public QWidget {
    Q_OBJECT
public:
    explicit TInfoForm(QWidget* parent = nullptr);
    ~TInfoForm() override;

    QLabel* TextLL;
    cShadowButton* OKBtn;
    QLabel* Image1;
    cShape* Frame;

    // Shows the text modally and returns when it is acknowledged.
    // A tool tip on the text carries what the text had to shorten.
    void ShowInfo(const QString& text, const QString& toolTip = QString());
    // Sets the text and sizes the dialog to it, without showing it.
    void SetText(const QString& text, const QString& toolTip = QString());
    bool IsModalRunning() const { return Loop != nullptr; }
    // The widest the text may grow to (the dialog grows with it).
    static int MaxTextWidth();
    void Retranslate();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FitText();  // sizes the dialog to its text and the program's window
    static int Scaled(int designPixels, double ratio);
    QEventLoop* Loop = nullptr;
};
