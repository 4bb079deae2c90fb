// The options screen: the serial port the link uses, the language of the
// user interface, the program's version and the contact panel. It also
// reports a port error with the information dialog.
#pragma once

#include "kit/IOForm.h"

class QComboBox;
class QLabel;
class cShadowButton;
class cShape;

class TOptionsForm : public cIOForm {
    Q_OBJECT
public:
    explicit TOptionsForm(QWidget* parent = nullptr);

    QLabel* VrLabel1;
    QLabel* ProgVerLL;
    QLabel* BuildLL;
    QLabel* Label1;
    QComboBox* ComPortCB;
    cShadowButton* EnumPortsBtn;
    QLabel* Label2;
    QComboBox* LangCB;
    QLabel* Label4;
    QLabel* Memo1;  // the contact lines, read-only
    cShadowButton* ExitBtn;
    cShape* Shape1;
    cShape* Shape2;
    cShape* Shape7;
    // Under the port list: says that the chosen port is not present.
    QLabel* PortStateLL;

    // The fitter picked a port: stop what the link serves and hand it over.
    void ComPortCBChange();
    // Lists the ports again and hands the selected one to the link.
    void EnumPortsBtnClick();
    // Switches the user interface to the selected language.
    void LangCBChange();
    void ExitBtnClick();

    // Replaces the port list (start-up and EnumPortsBtnClick). A saved port
    // that is not present (SetAbsentPort) stays in the list, marked, until
    // the fitter chooses another one.
    void SetPorts(const std::vector<std::string>& ports);
    // The port saved in the settings is not present: it is listed and
    // selected all the same, so that the link keeps trying it and the name
    // is written back.
    void SetAbsentPort(const std::string& port);
    // True while the selected port could not be found when last opened.
    bool PortAbsentShown() const;
    // Language code of the selected LangCB item (empty when none).
    std::string SelectedLanguage() const;

    void LinkEvent() override;
    // Reports the port error in the status line at once and with the
    // information dialog after the notification has returned (the link must
    // not wait for the fitter); the dialog closes by itself when the link
    // connects again.
    void SendError() override;
    // The port error message for a port name, the name shortened in the
    // middle when it does not fit the dialog (the whole name as tool tip).
    void ShowPortError(const QString& port);
    void Retranslate() override;

private:
    void FillLanguages();
    void ShowDeferredPortError();
    void ShowPortState(bool absent);
    QString AbsentPort;
    bool PortErrorQueued = false;
    bool PortErrorUp = false;
    QString PortErrorText;
};
