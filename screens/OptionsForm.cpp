#include "screens/OptionsForm.h"

#include <algorithm>
#include <cerrno>

#include <QComboBox>
#include <QLabel>
#include <QListView>
#include <QTimer>

#include "core/Ini.h"
#include "core/Version.h"

#include "serial/ComPort.h"
#include "serial/PortAccess.h"

#include "link/CommThread.h"

#include "widgets/ComboBox.h"
#include "widgets/Palette.h"
#include "widgets/ShadowButton.h"
#include "widgets/Shape.h"

#include "kit/QtLanguage.h"
#include "kit/QtText.h"

#include "screens/Globals.h"
#include "screens/InfoForm.h"
#include "screens/MainForm.h"

namespace {
QComboBox* MakeCombo(QWidget* parent, const char* name) {
    auto* cb = new cComboBox(parent);
    cb->setObjectName(QString::fromLatin1(name));
    cb->setEditable(false);
    // Colours by palette: a style sheet would cost the start-up several
    // milliseconds.
    QPalette pal = cb->palette();
    for (auto role : {QPalette::Button, QPalette::Base, QPalette::Window}) pal.setColor(role, Qt::black);
    for (auto role : {QPalette::ButtonText, QPalette::Text, QPalette::WindowText}) pal.setColor(role, Palette::Yellow);
    pal.setColor(QPalette::Highlight, Palette::DarkRed);
    pal.setColor(QPalette::HighlightedText, Palette::Yellow);
    cb->setPalette(pal);
    return cb;
}
}  // namespace

TOptionsForm::TOptionsForm(QWidget* parent) : cIOForm(parent) {
    setObjectName(QStringLiteral("OptionsForm"));
    const QColor white(255, 255, 255), orange(255, 160, 66);

    Shape1 = new cShape(this);
    Shape2 = new cShape(this);
    Shape7 = new cShape(this);
    for (cShape* s : {Shape1, Shape2, Shape7}) s->SetBrush(Palette::PanelNavy);

    VrLabel1 = MakeLabel("VrLabel1", orange);
    ProgVerLL = MakeLabel("ProgVerLL", white);
    BuildLL = MakeLabel("BuildLL", white);
    // The build text ends with a line end: keep its first line at the top.
    BuildLL->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Label1 = MakeLabel("Label1", white);
    ComPortCB = MakeCombo(this, "ComPortCB");
    ComPortCB->addItem(QStringLiteral("------"));
    // Long device names (/dev/serial/by-id/...) keep both ends readable.
    static_cast<cComboBox*>(ComPortCB)->SetElideMiddle(true);
    EnumPortsBtn = new cShadowButton(this);
    EnumPortsBtn->setObjectName(QStringLiteral("EnumPortsBtn"));
    EnumPortsBtn->SetAlignment(Qt::AlignCenter);
    // It has no function key: the keyboard reaches it with Tab.
    EnumPortsBtn->setFocusPolicy(Qt::TabFocus);
    Label2 = MakeLabel("Label2", white);
    LangCB = MakeCombo(this, "LangCB");
    Label4 = MakeLabel("Label4", white);
    // The information panel is read-only text that takes no input: a label
    // (a text editor would cost the start-up several milliseconds).
    Memo1 = MakeLabel("Memo1", white);
    Memo1->setWordWrap(true);
    Memo1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Memo1->setTextInteractionFlags(Qt::NoTextInteraction);
    ExitBtn = new cShadowButton(this);
    ExitBtn->setObjectName(QStringLiteral("ExitBtn"));
    PortStateLL = MakeLabel("PortStateLL", orange);
    PortStateLL->setWordWrap(true);
    PortStateLL->hide();

    connect(ComPortCB, qOverload<int>(&QComboBox::activated), this, [this] { ComPortCBChange(); });
    connect(LangCB, qOverload<int>(&QComboBox::activated), this, [this] { LangCBChange(); });
    connect(EnumPortsBtn, &QAbstractButton::clicked, this, &TOptionsForm::EnumPortsBtnClick);
    connect(ExitBtn, &QAbstractButton::clicked, this, &TOptionsForm::ExitBtnClick);
    // Only the exit button follows the hover rules.
    RegisterLargeButton(ExitBtn, 0);

    Place(VrLabel1, 40, 30, 560, 60, 30, true);
    Place(ProgVerLL, 640, 36, 344, 28, 14, true);
    Place(BuildLL, 640, 66, 344, 26, 12);

    Place(Shape1, 40, 130, 480, 170);
    Place(Label1, 64, 146, 240, 32, 14, true);
    // The port list takes the panel's width: long device names need it.
    Place(EnumPortsBtn, 310, 140, 192, 48, 13, true);
    Place(ComPortCB, 64, 190, 438, 40, 14, true);
    Place(PortStateLL, 64, 234, 438, 64, 13, true);

    Place(Shape2, 40, 330, 480, 150);
    Place(Label2, 64, 346, 300, 32, 14, true);
    Place(LangCB, 64, 396, 438, 40, 14, true);

    Place(Shape7, 560, 130, 424, 350);
    Place(Label4, 584, 146, 300, 32, 14, true);
    Place(Memo1, 584, 190, 380, 270, 13);

    // The status line and the exit button sit where every screen has them.
    CreateStatusLine(100, 688, 460, 48);
    Place(ExitBtn, 770, 680, 230, 62, 14, true);

    SetupFullScreen();
    Retranslate();
    FillLanguages();
}

void TOptionsForm::Retranslate() {
    setWindowTitle(Tr("Program options"));
    VrLabel1->setText(Tr("PROGRAM OPTIONS"));
    FitText(VrLabel1);
    ProgVerLL->setText(QStringLiteral("ZORVA Basic ") + ToQ(GetVersionText('v')));
    BuildLL->setText(ToQ(GetVersionText('b')));
    Label1->setText(Tr("Connect via:"));
    EnumPortsBtn->setText(Tr("Lookup ports"));
    PortStateLL->setText(
        Tr("Not present: tried again every second. "
           "Plug the adapter in or choose another port."));
    for (int i = 0; i < ComPortCB->count(); ++i)
        if (ComPortCB->itemText(i) == AbsentPort)
            ComPortCB->setItemData(i, AbsentPort + QStringLiteral(" - ") + Tr("not present"), Qt::ToolTipRole);
    Label2->setText(Tr("Language:"));
    Label4->setText(Tr("Info"));
    Memo1->setText(Tr("ZVBasic - calibration software for the ZORVA Basic LPG control unit.") + QStringLiteral("\n\n") +
                   Tr("For service and support, contact the installer of your LPG system."));
    ExitBtn->setText(Tr("   F10  Exit"));
}

void TOptionsForm::FillLanguages() {
    // Items are shown by name, sorted, and carry their code, so that a name
    // always maps back to its own code.
    struct sItem {
        QString Name;
        QString Code;
    };
    std::vector<sItem> items;
    for (const std::string& code : Translate::AvailableLanguages())
        items.push_back({ToQ(Translate::LanguageName(code)), ToQ(code)});
    std::stable_sort(items.begin(), items.end(), [](const sItem& a, const sItem& b) { return a.Name < b.Name; });
    LangCB->clear();
    for (const sItem& item : items) LangCB->addItem(item.Name, item.Code);
    const QString current = ToQ(Translate::LanguageName(Translate::ShortCode(Translate::CurrentLanguage())));
    LangCB->setCurrentIndex(LangCB->findText(current, Qt::MatchExactly));
}

std::string TOptionsForm::SelectedLanguage() const {
    if (LangCB->currentIndex() < 0) return {};
    return LangCB->currentData().toString().toStdString();
}

void TOptionsForm::SetPorts(const std::vector<std::string>& ports) {
    ComPortCB->clear();
    for (const std::string& p : ports) {
        ComPortCB->addItem(ToQ(p));
        ComPortCB->setItemData(ComPortCB->count() - 1, ToQ(p), Qt::ToolTipRole);
    }
    if (AbsentPort.isEmpty()) return;
    if (ComPortCB->findText(AbsentPort, Qt::MatchExactly | Qt::MatchCaseSensitive) >= 0) {
        AbsentPort.clear();  // it is back
        return;
    }
    // The saved port keeps its place in the list, greyed, with a tip.
    ComPortCB->addItem(AbsentPort);
    const int at = ComPortCB->count() - 1;
    ComPortCB->setItemData(at, AbsentPort + QStringLiteral(" - ") + Tr("not present"), Qt::ToolTipRole);
    ComPortCB->setItemData(at, QColor(Qt::gray), Qt::ForegroundRole);
}

void TOptionsForm::SetAbsentPort(const std::string& port) {
    AbsentPort = ToQ(port);
    std::vector<std::string> listed;
    for (int i = 0; i < ComPortCB->count(); ++i)
        if (ComPortCB->itemText(i) != AbsentPort) listed.push_back(ComPortCB->itemText(i).toStdString());
    SetPorts(listed);
    ComPortCB->setCurrentIndex(ComPortCB->findText(AbsentPort, Qt::MatchExactly | Qt::MatchCaseSensitive));
}

bool TOptionsForm::PortAbsentShown() const { return !PortStateLL->isHidden(); }

void TOptionsForm::ShowPortState(bool absent) { PortStateLL->setVisible(absent); }

void TOptionsForm::ComPortCBChange() {
    // The fitter's choice is the port to remember, whether it opens or not.
    if (ComPortCB->currentText() != AbsentPort) AbsentPort.clear();
    if (Ini) Ini->Port = ComPortCB->currentText().toStdString();
    if (!CommThread) return;
    if (CommThread->IsBusy()) CommThread->StopRequest();
    CommThread->SetPortName(ComPortCB->currentText().toStdString());
}

void TOptionsForm::EnumPortsBtnClick() {
    std::vector<std::string> ports = cComPort::EnumeratePorts();
    const QString selected = ComPortCB->currentText();
    SetPorts(ports);
    int at = ComPortCB->findText(selected, Qt::MatchExactly | Qt::MatchCaseSensitive);
    ComPortCB->setCurrentIndex(at >= 0 ? at : (ComPortCB->count() > 0 ? 0 : -1));
    // Handed over even when nothing changed: the link reopens the port.
    if (CommThread) CommThread->SetPortName(ComPortCB->currentText().toStdString());
}

void TOptionsForm::LangCBChange() {
    const std::string code = SelectedLanguage();
    if (code.empty()) return;
    const QString lastPort = CommThread ? ToQ(CommThread->GetPort().GetPortName()) : QString();

    Translate::SetLanguage(code);
    QtLanguage::Apply(code);
    if (Ini) Ini->Language = code;

    // Every screen at once: this one first, then every other form of the
    // set in creation order, then the information dialog (the one form
    // that does not hear from the link).
    RetranslateForm();
    for (cIOForm* form : LinkForms)
        if (form != this) form->RetranslateForm();
    if (InfoForm) InfoForm->Retranslate();

    EnumPortsBtnClick();
    int at = ComPortCB->findText(lastPort, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (at >= 0) ComPortCB->setCurrentIndex(at);
}

void TOptionsForm::ExitBtnClick() { close(); }

void TOptionsForm::LinkEvent() {
    cIOForm::LinkEvent();
    if (LinkRequest != RQ_CONNECT) return;
    // A connection attempt runs on an open port: it is present.
    ShowPortState(false);
    // Connected again: the port error box has nothing more to say.
    if (LinkPhase == Phase::Connected && LinkValue == 1 && PortErrorUp && InfoForm && InfoForm->IsModalRunning() &&
        InfoForm->TextLL->text() == PortErrorText)
        InfoForm->close();
}

void TOptionsForm::SendError() {
    cIOForm::SendError();
    ShowPortState(CommThread && CommThread->GetPort().LastOpenError() == ENOENT);
    // The link waits while this runs: the box comes after it has returned.
    if (PortErrorQueued || PortErrorUp) return;
    PortErrorQueued = true;
    QTimer::singleShot(0, this, [this] { ShowDeferredPortError(); });
}

void TOptionsForm::ShowDeferredPortError() {
    PortErrorQueued = false;
    // Back already, or the information dialog says something else: the
    // status lines show the port error.
    if (!CommThread || CommThread->IsConnected()) return;
    if (InfoForm && InfoForm->IsModalRunning()) return;
    PortErrorUp = true;
    // The link's port name: the failed device itself is closed by now.
    ShowPortError(ToQ(CommThread->GetPortName()));
    PortErrorUp = false;
}

void TOptionsForm::ShowPortError(const QString& port) {
    // The dialog grows for long lines up to nearly the screen's width; a
    // port name too long even for that loses its middle.
    QString shown = port;
    if (InfoForm) {
        const QFontMetrics fm(InfoForm->TextLL->font());
        const int room = TInfoForm::MaxTextWidth() - 8 - fm.horizontalAdvance(Tr(": port error!\n").trimmed());
        shown = fm.elidedText(port, Qt::ElideMiddle, std::max(room, fm.averageCharWidth() * 6));
    }
    // The link tries the same port again by itself; choosing another one is
    // the fitter's choice, not a must.
    QString text = shown + Tr(": port error!\n") +
                   Tr("The program keeps trying this port.\nAnother port can be chosen in Options (F8).");
    // A device the user may not open: say which group he must join.
    if (CommThread) {
        const std::string hint = PortPermissionHint(port.toStdString(), CommThread->GetPort().LastOpenError());
        if (!hint.empty()) text += QStringLiteral("\n") + ToQ(hint);
    }
    PortErrorText = text;
    if (InfoForm) InfoForm->ShowInfo(text, shown != port ? port : QString());
}
