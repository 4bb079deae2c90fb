// The options screen: the serial port the link uses, the language of the
// user interface, the program's version and the contact panel. It also
// reports a port error with the information dialog.
#pragma once

#include "app/IOForm.h"

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

    // The fitter picked a port: stop what the link serves and hand it over.
    void ComPortCBChange();
    // Lists the ports again and hands the selected one to the link.
    void EnumPortsBtnClick();
    // Switches the user interface to the selected language.
    void LangCBChange();
    void ExitBtnClick();

    // Replaces the port list (start-up and EnumPortsBtnClick).
    void SetPorts(const std::vector<std::string>& ports);
    // Language code of the selected LangCB item (empty when none).
    std::string SelectedLanguage() const;

    void LinkEvent() override;
    void SendError() override;
    // The port error message for a port name, the name shortened in the
    // middle when it does not fit the dialog (the whole name as tool tip).
    void ShowPortError(const QString& port);
    void Retranslate() override;

private:
    void FillLanguages();
};
