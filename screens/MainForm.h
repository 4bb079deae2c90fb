// The main menu: the program's main window, its task buttons with their
// function keys, and the information panel that follows the link as it
// connects, identifies the ECU and reads its settings.
#pragma once

#include <QEvent>

#include "kit/IOForm.h"

class QLabel;
class cShadowButton;
class cShape;

// The message that asks the main window to show the load progress dialog.
constexpr QEvent::Type LoadDialogEvent = QEvent::Type(1025);

class TMainForm : public cIOForm {
    Q_OBJECT
public:
    explicit TMainForm(QWidget* parent = nullptr);

    // Controls (named as in the design).
    QLabel* lMainMenu2;
    QLabel* lMainMenu1;
    cShadowButton* ConfigBtn;
    cShadowButton* CalibBtn;
    cShadowButton* VisBtn;
    cShadowButton* DataExBtn;
    cShadowButton* OptionsBtn;
    cShadowButton* ExitBtn;
    QLabel* ProgVerLL;
    QLabel* BuildLL;
    QLabel* Label3;
    QWidget* Logo;  // the drawn logo
    QLabel* Label1;
    cShape* Shape1;
    cShape* Shape2;
    cShape* Shape3;
    QLabel* ProgressLL;
    QLabel* ECUVersionHLL;
    QLabel* ECUVersionLL;
    QLabel* ECUTypeLL;
    QLabel* StatusHLL;
    QLabel* StatusLL;  // the panel's "connected" (the form has no shared status line)
    QLabel* BackupLL;  // below the panel: an automatic backup could not be written
    // Says, without a dialog, that unsaved settings were kept over a
    // reconnection, or that the ECU looks like another vehicle's.
    QLabel* NoticeLL;

    void ConfigBtnClick();
    void CalibBtnClick();
    void VisBtnClick();
    void DataExBtnClick();
    void OptionsBtnClick();
    void ExitBtnClick();

    // Highlights the data transfer button while the settings differ from the
    // ECU's. Screens other than the main menu say that the settings' state
    // changed through SettingsStateChanged (screens/KeptEdits.h).
    void ShowSettingsChanged(bool changed);
    // Says below the panel, without a dialog, that an automatic backup could
    // not be written, and why.
    void ShowBackupFailure(const QString& reason);

    void LinkEvent() override;
    void SendError() override;
    void LinkIdle(bool idle) override;
    void Retranslate() override;

    bool IdentityVisible() const;
    bool KeptNoticeShown() const;
    // Shows the kept-settings notice (KeptEditsNotice); hidden when empty.
    void ShowKeptNotice(const QString& text);
    // Set when the close was confirmed (the program then shuts down).
    bool CloseConfirmed() const { return Confirmed; }

signals:
    // The window closed after the exit question was answered with Yes.
    void Closed();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool event(QEvent* event) override;

private:
    void SetIdentityVisible(bool visible);
    void RenderProgress();
    void LoadDialogMessage();
    void ShowScreen(cIOForm* screen);

    enum class eProgress { Initial, Connecting, Loading, EcuType, PortError };
    eProgress Progress = eProgress::Initial;
    int32_t ProgressValue = 0;  // connect counter or read progress bits
    int TypeVersion = 0;        // the version the ECU type shown was taken from
    bool TypeKnown = false;
    int EcuIdVersion = 0;  // the last first identity byte received
    int LastEcuVersion = 0;
    bool Confirmed = false;
    bool Asking = false;
    QString BackupFailure;  // the reason shown in BackupLL; empty while none
    void ShowBackupText();  // BackupLL's text for its present size and language
    void Rescaled() override;
};
