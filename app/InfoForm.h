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
    void ShowInfo(const QString& text);
    bool IsModalRunning() const { return Loop != nullptr; }
    void Retranslate();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FitText();  // sizes the dialog to its text
    QEventLoop* Loop = nullptr;
};
