#include "screens/CalibForm.h"

#include <optional>

#include <QComboBox>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QShowEvent>
#include <QTimer>
#include <QValidator>

#include "link/CommThread.h"
#include "link/Protocol.h"
#include "link/Settings.h"

#include "formats/SettingsText.h"

#include "widgets/ComboBox.h"
#include "widgets/Palette.h"
#include "widgets/ShadowButton.h"
#include "widgets/VerticalLabel.h"

#include "kit/QtText.h"
#include "kit/ScreenKit.h"

#include "screens/Globals.h"
#include "screens/KeptEdits.h"
#include "screens/KeptNotice.h"
#include "screens/Questions.h"
#include "screens/SaveForm.h"
#include "screens/StoreFlow.h"

namespace {

constexpr int kActive = 0, kInactive = 1;

std::optional<int> Parse(const QLineEdit* edit) {
    bool ok = false;
    int v = edit->text().toInt(&ok, 10);
    if (!ok) return std::nullopt;
    return v;
}

// The explanatory pictures: a stepper gas valve, and a throttle body seen in
// its three positions (closed, slightly open, wide open).
class cPicture : public QWidget {
public:
    enum class eKind { Valve, Throttle };
    cPicture(eKind kind, QWidget* parent) : QWidget(parent), Kind(kind) { setMouseTracking(true); }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(Palette::Orange, 2));
        p.setBrush(QColor(0, 0, 60));
        p.drawRoundedRect(QRectF(rect()).adjusted(1, 1, -1, -1), 12, 12);
        if (Kind == eKind::Valve) PaintValve(p);
        else PaintThrottle(p);
    }

private:
    void PaintValve(QPainter& p) {
        const double w = width(), h = height();
        // Gas pipe across the lower half with a cone closing the seat.
        QRectF pipe(w * 0.08, h * 0.55, w * 0.84, h * 0.2);
        p.setPen(QPen(Palette::LightGrey, 2));
        p.setBrush(QColor(90, 90, 110));
        p.drawRect(pipe);
        // Stepper motor on top.
        QRectF motor(w * 0.36, h * 0.1, w * 0.28, h * 0.3);
        p.setBrush(QColor(60, 60, 60));
        p.drawRoundedRect(motor, 6, 6);
        p.setPen(QPen(Palette::LightOrange, 2));
        for (int i = 1; i < 4; ++i)
            p.drawLine(QPointF(motor.left() + 4, motor.top() + motor.height() * i / 4),
                       QPointF(motor.right() - 4, motor.top() + motor.height() * i / 4));
        // Spindle and cone.
        p.setPen(QPen(QColor(220, 220, 220), 3));
        p.drawLine(QPointF(w * 0.5, motor.bottom()), QPointF(w * 0.5, pipe.top() + pipe.height() * 0.2));
        QPainterPath cone;
        cone.moveTo(w * 0.42, pipe.top() + pipe.height() * 0.2);
        cone.lineTo(w * 0.58, pipe.top() + pipe.height() * 0.2);
        cone.lineTo(w * 0.5, pipe.bottom() - 2);
        cone.closeSubpath();
        p.fillPath(cone, QColor(255, 200, 0));
        // Flow arrows.
        p.setPen(QPen(Palette::Green, 3));
        double y = pipe.center().y();
        p.drawLine(QPointF(w * 0.12, y), QPointF(w * 0.3, y));
        p.drawLine(QPointF(w * 0.3, y), QPointF(w * 0.26, y - 6));
        p.drawLine(QPointF(w * 0.3, y), QPointF(w * 0.26, y + 6));
        p.drawLine(QPointF(w * 0.7, y), QPointF(w * 0.88, y));
        p.drawLine(QPointF(w * 0.88, y), QPointF(w * 0.84, y - 6));
        p.drawLine(QPointF(w * 0.88, y), QPointF(w * 0.84, y + 6));
    }

    void PaintThrottle(QPainter& p) {
        const double w = width(), h = height();
        const double angles[3] = {8, 35, 72};  // plate angle across the pipe: closed, low, high speed
        for (int i = 0; i < 3; ++i) {
            const double cx = w * (i * 2 + 1) / 6.0, cy = h * 0.5, r = std::min(w / 9.0, h * 0.36);
            p.setPen(QPen(Palette::LightGrey, 3));
            p.setBrush(Qt::NoBrush);
            p.drawLine(QPointF(cx - r * 1.1, cy - r), QPointF(cx - r * 1.1, cy + r));
            p.drawLine(QPointF(cx + r * 1.1, cy - r), QPointF(cx + r * 1.1, cy + r));
            p.save();
            p.translate(cx, cy);
            p.rotate(-angles[i]);
            p.setPen(QPen(QColor(255, 200, 0), 5, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(QPointF(-r * 1.05, 0), QPointF(r * 1.05, 0));
            p.restore();
            p.setBrush(Palette::Orange);
            p.setPen(Qt::NoPen);
            p.drawEllipse(QPointF(cx, cy), 4, 4);
        }
    }

    eKind Kind;
};

// Text that reaches a position field other than by a key (pasted, dropped)
// keeps only its digits "0" to "9", as typing it would.
class cDigitsOnly : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int& pos) const override {
        QString kept;
        kept.reserve(input.size());
        int keptBeforeCursor = 0;
        for (int i = 0; i < input.size(); ++i) {
            const QChar c = input.at(i);
            if (c < u'0' || c > u'9') continue;
            kept += c;
            if (i < pos) ++keptBeforeCursor;
        }
        input = kept;
        pos = keptBeforeCursor;
        return Acceptable;
    }
};

}  // namespace

QLineEdit* TCalibForm::NewEdit(const char* name) {
    auto* e = new QLineEdit(this);
    e->setObjectName(QString::fromLatin1(name));
    e->setAlignment(Qt::AlignCenter);
    e->setText(QStringLiteral("0"));
    QPalette pal = e->palette();
    pal.setColor(QPalette::Base, NormalColor());
    pal.setColor(QPalette::Text, Qt::black);
    e->setPalette(pal);
    e->installEventFilter(this);
    e->setValidator(new cDigitsOnly(e));
    // Digits need no input method, whose text would bypass the key filter.
    e->setAttribute(Qt::WA_InputMethodEnabled, false);
    connect(e, &QLineEdit::textChanged, this, [this] { StepPosH2EDChange(); });
    // Enter, or the focus moving on, settles the value.
    connect(e, &QLineEdit::editingFinished, this, [this] { SendSettled(); });
    return e;
}

TCalibForm::TCalibForm(QWidget* parent) : cIOForm(parent) {
    setObjectName(QStringLiteral("CalibForm"));
    VrLabel1 = new cVerticalLabel(this);
    Image1 = new cPicture(cPicture::eKind::Valve, this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image2 = new cPicture(cPicture::eKind::Throttle, this);
    Image2->setObjectName(QStringLiteral("Image2"));

    auto caption = [this](const char* name) {
        QLabel* l = ScreenKit::NewLabel(this, name, Qt::AlignCenter);
        l->setWordWrap(false);
        return l;
    };
    Label6 = caption("Label6");
    StepPosMinED = NewEdit("StepPosMinED");
    Label7 = caption("Label7");
    StepPosMaxED = NewEdit("StepPosMaxED");
    Label8 = caption("Label8");
    StepPosH0ED = NewEdit("StepPosH0ED");
    Label10 = caption("Label10");
    StepPosH1ED = NewEdit("StepPosH1ED");
    Label11 = caption("Label11");
    StepPosH2ED = NewEdit("StepPosH2ED");

    Shape6 = new QFrame(this);
    Shape6->setObjectName(QStringLiteral("Shape6"));
    DeferStyleSheet(Shape6, QStringLiteral("#Shape6 { border: 2px dotted rgb(255,128,0); border-radius: 8px; }"));
    Shape6->setMouseTracking(true);
    Shape6->lower();

    auto combo = [this](const char* name) {
        auto* c = new cComboBox(this);
        c->setObjectName(QString::fromLatin1(name));
        ScreenKit::StyleCombo(c);
        return c;
    };
    Label3 = ScreenKit::NewLabel(this, "Label3", Qt::AlignRight | Qt::AlignVCenter);
    MinRPMCB = combo("MinRPMCB");
    MinRPMCB->addItems({"1000", "1100", "1200", "1300", "1400", "1500", "1600", "1700", "1800", "1900",
                        "2000", "2200", "2300", "2500", "2700", "2800", "3000", "3300", "3600", "4000"});
    Label4 = ScreenKit::NewLabel(this, "Label4");
    Label9 = ScreenKit::NewLabel(this, "Label9", Qt::AlignRight | Qt::AlignVCenter);
    EmPetrolCB = combo("EmPetrolCB");
    EmPetrolCB->addItems({QString(), QString()});
    Label1 = ScreenKit::NewLabel(this, "Label1", Qt::AlignRight | Qt::AlignVCenter);
    MaxRPMCB = combo("MaxRPMCB");
    MaxRPMCB->addItems({"4000", "4500", "4900", "5500", "6000"});
    Label2 = ScreenKit::NewLabel(this, "Label2");

    ExitBtn = new cShadowButton(this);
    ExitBtn->setObjectName(QStringLiteral("ExitBtn"));
    RegisterLargeButton(ExitBtn, 0);

    // The lists react to the user's choices only.
    connect(MinRPMCB, &QComboBox::activated, this, [this] { MinRPMCBChange(); });
    connect(MaxRPMCB, &QComboBox::activated, this, [this] { MaxRPMCBChange(); });
    connect(EmPetrolCB, &QComboBox::activated, this, [this] { EmPetrolCBChange(); });
    connect(ExitBtn, &QAbstractButton::clicked, this, [this] { close(); });

    // Layout, in design pixels of a 1024 x 768 screen: the valve with its two
    // fields on the left, the throttle with its three fields on the right, the
    // engine speed rows below.
    Place(VrLabel1, 8, 16, 80, 650, 30, true);
    Place(Image1, 100, 20, 300, 200);
    // The two captions keep a gap between them, however long their words.
    Place(Label6, 100, 228, 144, 50, 12, true);
    Place(StepPosMinED, 125, 282, 100, 34, 16, true);
    Place(Label7, 256, 228, 144, 50, 12, true);
    Place(StepPosMaxED, 275, 282, 100, 34, 16, true);
    Place(Image2, 420, 20, 590, 200);
    Place(Label8, 430, 228, 176, 90, 12, true);
    Place(StepPosH0ED, 468, 324, 100, 34, 16, true);
    Place(Label10, 626, 228, 176, 90, 12, true);
    Place(StepPosH1ED, 664, 324, 100, 34, 16, true);
    Place(Label11, 822, 228, 176, 90, 12, true);
    Place(StepPosH2ED, 860, 324, 100, 34, 16, true);

    // The rows leave room below for the kept-edits notice, which is long in
    // some languages.
    Place(Shape6, 100, 388, 910, 200);
    Place(Label3, 110, 404, 470, 36, 14, true);
    Place(MinRPMCB, 600, 404, 150, 36, 14);
    Place(Label4, 764, 404, 100, 36, 14, true);
    Place(Label9, 110, 470, 470, 36, 14, true);
    Place(EmPetrolCB, 600, 470, 230, 36, 14);
    Place(Label1, 110, 536, 470, 36, 14, true);
    Place(MaxRPMCB, 600, 536, 150, 36, 14);
    Place(Label2, 764, 536, 100, 36, 14, true);

    KeptLL = MakeLabel("KeptLL", Palette::LightOrange);
    KeptLL->setWordWrap(true);
    KeptLL->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    KeptLL->hide();
    Place(KeptLL, 100, 594, 660, 88, 11, true);
    SendTimer = new QTimer(this);
    SendTimer->setSingleShot(true);
    SendTimer->setInterval(LiveSendDelayMs);
    connect(SendTimer, &QTimer::timeout, this, [this] { SendSettled(); });
    Place(ExitBtn, 770, 680, 230, 62, 14, true);
    CreateStatusLine(100, 688, 460, 48);
    SetupFullScreen();
    Retranslate();
}

TCalibForm::~TCalibForm() {
    // The fields lose their focus while QWidget's destructor deletes them,
    // and a field that loses it says its editing finished: by then the
    // screen's own members are gone, so nothing may be told.
    for (QLineEdit* e : {StepPosMinED, StepPosMaxED, StepPosH0ED, StepPosH1ED, StepPosH2ED})
        disconnect(e, nullptr, this, nullptr);
}

int TCalibForm::Version() const { return CommThread ? CommThread->GetEcuVersion() : 0; }

void TCalibForm::Retranslate() {
    setWindowTitle(Tr("Algorithm calibration"));
    VrLabel1->SetText(Tr("ALGORITHM CALIBRATION"));
    Label6->setText(Tr(SettingsText::ValveMin));
    Label7->setText(Tr(SettingsText::ValveMax));
    // Smaller type where a translation's line is wider than its caption.
    FitText(Label6);
    FitText(Label7);
    Label8->setText(Tr(SettingsText::ValveH0));
    Label10->setText(Tr(SettingsText::ValveH1));
    Label11->setText(Tr(SettingsText::ValveH2));
    Label3->setText(Tr(SettingsText::MinRpm));
    Label4->setText(Tr(SettingsText::RpmUnit));
    Label9->setText(Tr("Emergency switch off to petrol:"));
    Label1->setText(Tr(SettingsText::MaxRpm));
    Label2->setText(Tr(SettingsText::RpmUnit));
    EmPetrolCB->setItemText(kActive, Tr("Active"));
    EmPetrolCB->setItemText(kInactive, Tr(SettingsText::Inactive));
    ExitBtn->setText(Tr("   F10  Exit"));
}

// Only the digits and backspace reach the position fields; other characters
// are dropped. Keys without a character (arrows, Delete, function keys, Esc)
// go on as usual. A key may carry more than one character (a composed
// sequence, or one character outside the basic plane, which takes two UTF-16
// units): it is dropped when any of them is a character other than a digit.
bool TCalibForm::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && qobject_cast<QLineEdit*>(watched)) {
        auto* key = static_cast<QKeyEvent*>(event);
        // Ctrl and Alt make a key a command (Ctrl+V pastes, whatever its
        // text); what a command inserts is filtered by the fields' validator.
        if (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
            return cIOForm::eventFilter(watched, event);
        for (const char32_t c : key->text().toUcs4()) {
            const bool digit = c >= U'0' && c <= U'9';
            if (!digit && c != U'\b' && QChar::isPrint(c)) return true;
        }
    }
    return cIOForm::eventFilter(watched, event);
}

// --- showing and filling ---

void TCalibForm::showEvent(QShowEvent* event) {
    cIOForm::showEvent(event);
    if (event->spontaneous()) return;
    ReadWhileShown = false;
    EditedSinceRead = false;
    FormShow();
}

void TCalibForm::ShowKeptNotice(const QString& text) {
    KeptLL->setText(text);
    // Smaller type where a translation would run past the label.
    FitText(KeptLL);
    KeptLL->setVisible(!text.isEmpty());
}

void TCalibForm::FormShow() {
    ShowKeptNotice(KeptEditsNotice());
    // What waited to be sent is in WorkSettings: shown again below, and
    // the ECU's (or held over a reconnection) from now on.
    SendTimer->stop();
    Sent = WorkSettings;
    FillGuard = false;
    const sSettings& s = WorkSettings;
    const bool emergency = Ecu::HasEmergencyPetrol(Version());
    Label9->setEnabled(emergency);
    EmPetrolCB->setEnabled(emergency);
    ScreenKit::SelectNearest(MinRPMCB, Conv::PeriodToRpm(s.MinRPMCode));
    int target = 6000;
    const bool active = s.MaxRPMCode != 0;
    EmPetrolCB->setCurrentIndex(active ? kActive : kInactive);
    Label1->setEnabled(active);
    MaxRPMCB->setEnabled(active);
    Label2->setEnabled(active);
    if (active) target = Conv::PeriodToRpm(s.MaxRPMCode);
    ScreenKit::SelectNearest(MaxRPMCB, target);
    StepPosMinED->setText(QString::number(s.StepPosMin));
    StepPosMaxED->setText(QString::number(s.StepPosMax));
    StepPosH0ED->setText(QString::number(s.StepPosH0));
    StepPosH1ED->setText(QString::number(s.StepPosH1));
    StepPosH2ED->setText(QString::number(s.StepPosH2));
    StepPosH0ED->setVisible(s.TPSType != 0);
    Label8->setVisible(s.TPSType != 0);
    CheckSettings();
    FillGuard = true;
    // A digit typed next replaces the value shown.
    if (auto* edit = qobject_cast<QLineEdit*>(focusWidget()); edit && isVisible()) edit->selectAll();
}

void TCalibForm::LinkEvent() {
    cIOForm::LinkEvent();
    if (LinkRequest != RQ_READ_SETTINGS || LinkPhase != Phase::Done || LinkValue != 1) return;
    // Every field shows what the ECU now holds, or the edits kept over a
    // reconnection: never a value of the ECU (or car) before. Hidden, it
    // fills itself when shown.
    if (!isVisible()) {
        ShowKeptNotice(KeptEditsNotice());
        return;
    }
    ReadWhileShown = true;
    EditedSinceRead = false;
    FormShow();
}

// --- checking ---

QColor TCalibForm::FieldColor(const QLineEdit* edit) { return edit->palette().color(QPalette::Base); }

int TCalibForm::CheckSettings() {
    int mask = 0;
    auto paint = [](QLineEdit* e, bool ok) {
        QPalette pal = e->palette();
        QColor c = ok ? NormalColor() : ErrorColor();
        if (pal.color(QPalette::Base) == c) return;
        pal.setColor(QPalette::Base, c);
        e->setPalette(pal);
    };
    auto parse = [&](QLineEdit* e, int bit) -> std::optional<int> {
        std::optional<int> v = Parse(e);
        paint(e, v.has_value());
        if (!v) mask |= bit;
        return v;
    };
    auto bad = [&](QLineEdit* e) {
        paint(e, false);
        mask |= OUT_OF_RANGE;
    };

    const std::optional<int> min = parse(StepPosMinED, BAD_MIN);
    const std::optional<int> max = parse(StepPosMaxED, BAD_MAX);
    std::optional<int> h0;
    if (WorkSettings.TPSType == 1) h0 = parse(StepPosH0ED, BAD_H0);
    const std::optional<int> h1 = parse(StepPosH1ED, BAD_H1);
    const std::optional<int> h2 = parse(StepPosH2ED, BAD_H2);

    if (min && (*min < 0 || *min > 255)) bad(StepPosMinED);
    if (max && (*max < 0 || *max > 255 || (min && *max < *min))) bad(StepPosMaxED);
    const int lo = min ? *min : 0;
    const int hi = max ? *max : 255;
    const std::pair<QLineEdit*, std::optional<int>> positions[3] = {
        {StepPosH0ED, h0}, {StepPosH1ED, h1}, {StepPosH2ED, h2}};
    for (const auto& [edit, value] : positions)
        if (value && (*value < lo || *value > hi)) bad(edit);
    return mask;
}

// --- changes ---

void TCalibForm::StepPosH2EDChange() {
    if (!FillGuard) return;
    CheckSettings();
    TakePositions();
    Changed();
}

void TCalibForm::Changed() {
    EditedSinceRead = true;
    // While edits kept over a reconnection are held, a pause in typing asks
    // nothing: Enter or leaving the field brings the question, so that a
    // key meant for the field never answers it.
    if (Ecu::NewProtocol(Version()) && !(CommThread && CommThread->HoldsKeptEdits()))
        SendTimer->start();  // again from now
}

bool TCalibForm::SendPending() const { return SendTimer->isActive(); }

void TCalibForm::TakePositions() {
    QLineEdit* const edits[5] = {StepPosMinED, StepPosMaxED, StepPosH0ED, StepPosH1ED, StepPosH2ED};
    uint8_t* const fields[5] = {&WorkSettings.StepPosMin, &WorkSettings.StepPosMax, &WorkSettings.StepPosH0,
                                &WorkSettings.StepPosH1, &WorkSettings.StepPosH2};
    for (int i = 0; i < 5; ++i) {
        const std::optional<int> v = Parse(edits[i]);
        if (!v || *v == *fields[i]) continue;
        // Ranges from the stored values, as left by the earlier fields of this pass.
        int lo = 0, hi = 255;
        if (i == 1) lo = WorkSettings.StepPosMin;
        if (i >= 2) {
            lo = WorkSettings.StepPosMin;
            hi = WorkSettings.StepPosMax;
        }
        if (*v < lo || *v > hi) continue;
        *fields[i] = uint8_t(*v);
    }
}

void TCalibForm::SendSettled() {
    SendTimer->stop();
    const int version = Version();
    if (!Ecu::NewProtocol(version)) return;
    const std::pair<int, uint8_t sSettings::*> params[] = {
        {P_STEP_MIN, &sSettings::StepPosMin}, {P_STEP_MAX, &sSettings::StepPosMax}, {P_STEP_H0, &sSettings::StepPosH0},
        {P_STEP_H1, &sSettings::StepPosH1},   {P_STEP_H2, &sSettings::StepPosH2},   {P_MIN_RPM, &sSettings::MinRPMCode},
        {P_MAX_RPM, &sSettings::MaxRPMCode}};
    for (const auto& [param, field] : params) {
        const uint8_t value = WorkSettings.*field;
        if (value == Sent.*field) continue;
        const bool held = CommThread && CommThread->HoldsKeptEdits();
        // Held over a reconnection and not released: nothing went out, and
        // the value waits for the fitter's word.
        if (!SendSettingUpdate(version, sUpdate(uint8_t(param), value))) return;
        if (held) {
            // Released: every difference went out with it.
            Sent = WorkSettings;
            return;
        }
        Sent.*field = value;
    }
}

void TCalibForm::MinRPMCBChange() {
    if (!FillGuard) return;
    WorkSettings.MinRPMCode = uint8_t(Conv::RpmToPeriod(MinRPMCB->currentText().toInt()));
    Changed();
}

void TCalibForm::MaxRPMCBChange() {
    if (!FillGuard) return;
    WorkSettings.MaxRPMCode = uint8_t(Conv::RpmToPeriod(MaxRPMCB->currentText().toInt()));
    Changed();
}

void TCalibForm::EmPetrolCBChange() {
    if (!Ecu::NewProtocol(Version())) return;
    const bool active = EmPetrolCB->currentIndex() == kActive;
    Label1->setEnabled(active);
    MaxRPMCB->setEnabled(active);
    Label2->setEnabled(active);
    WorkSettings.MaxRPMCode = active ? uint8_t(Conv::RpmToPeriod(MaxRPMCB->currentText().toInt())) : 0;
    Changed();
}

// --- leaving ---

bool TCalibForm::CanClose() {
    if (!isVisible()) return true;
    if (CheckSettings() != 0) {
        ShowInfo(Tr("Incorrect settings!"));
        return false;
    }
    bool stay = false;
    QLineEdit* const edits[5] = {StepPosMinED, StepPosMaxED, StepPosH0ED, StepPosH1ED, StepPosH2ED};
    uint8_t* const fields[5] = {&WorkSettings.StepPosMin, &WorkSettings.StepPosMax, &WorkSettings.StepPosH0,
                                &WorkSettings.StepPosH1, &WorkSettings.StepPosH2};
    for (int i = 0; i < 5; ++i) {
        const std::optional<int> v = Parse(edits[i]);
        if (!v) {
            // Only the hidden H0 field can get here (it is checked only with a
            // linear throttle sensor).
            ShowInfo(Tr("Incorrect settings!"));
            stay = true;
            break;
        }
        *fields[i] = uint8_t(*v & 0xFF);
    }
    if (stay) {
        SettingsStateChanged();
        return false;
    }
    // A newer ECU gets what is still waiting for a pause in typing.
    SendSettled();
    // After a settings read while the screen was shown, only changes made
    // since are asked about: the fields show the ECU's settings, or the
    // edits kept over a reconnection, whose question belongs to the store.
    const bool ask = !ReadWhileShown || EditedSinceRead;
    if (ask && !Ecu::NewProtocol(Version()) && SettingsChanged()) {
        // Settings kept over a reconnection are asked about on their own.
        const bool store = CommThread && CommThread->HoldsKeptEdits()
                               ? ConfirmKeptEdits()
                               : Ask(Tr("Settings has changed.\nDo you want to\nsave them in ECU?"));
        if (store) WriteSettingsWithProgress();
    }
    SettingsStateChanged();
    return true;
}
