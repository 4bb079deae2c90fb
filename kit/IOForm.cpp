#include "kit/IOForm.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include <QApplication>
#include <QChildEvent>
#include <QCloseEvent>
#include <QEventLoop>
#include <QFontMetricsF>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QResizeEvent>
#include <QScreen>

#include "link/LinkStatus.h"

#include "widgets/FocusMark.h"
#include "widgets/Palette.h"
#include "widgets/ShadowButton.h"
#include "widgets/Shape.h"

#include "kit/QtText.h"

namespace {
std::optional<QSize> OverrideSize;
double OverrideDpi = 96;
// The full-screen forms in the order they were last shown.
std::vector<QPointer<cIOForm>>& ShownScreens() {
    static std::vector<QPointer<cIOForm>> shown;
    return shown;
}

int Round(double v) { return int(std::lround(v)); }
}  // namespace

cIOForm::cIOForm(QWidget* parent) : QWidget(parent) {
    setMouseTracking(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Palette::Navy);
    pal.setColor(QPalette::WindowText, Qt::white);
    setPalette(pal);
    setAutoFillBackground(true);
}

cIOForm::~cIOForm() {
    if (ModalLoop) ModalLoop->exit();
}

// --- screen geometry and scaling ---

QRect cIOForm::ScreenRect() {
    if (OverrideSize) return QRect(QPoint(0, 0), *OverrideSize);
    if (QScreen* s = QGuiApplication::primaryScreen()) return s->geometry();
    return QRect(0, 0, 1024, 768);
}

double cIOForm::ScreenDpi() {
    if (OverrideSize) return OverrideDpi;
    if (QScreen* s = QGuiApplication::primaryScreen()) return s->logicalDotsPerInchX();
    return 96;
}

void cIOForm::SetScreenOverride(QSize size, double dpi) {
    OverrideSize = size;
    OverrideDpi = dpi > 0 ? dpi : 96;
}

void cIOForm::ClearScreenOverride() { OverrideSize.reset(); }

QRect cIOForm::ProgramWindow() {
    const std::vector<QPointer<cIOForm>>& shown = ShownScreens();
    for (auto it = shown.rbegin(); it != shown.rend(); ++it)
        if (*it && (*it)->isVisible() && !(*it)->size().isEmpty()) return (*it)->geometry();
    return ScreenRect();
}

double cIOForm::DialogRatio() { return FitRatio(ProgramWindow().size(), ScreenDpi()); }

QPoint cIOForm::DialogPosition(QSize size) {
    const QRect window = ProgramWindow();
    return QPoint(window.x() + (window.width() - size.width()) / 2, window.y() + (window.height() - size.height()) / 2);
}

double cIOForm::FitRatio(QSize screen, double dpi) {
    if (dpi <= 0) dpi = 96;
    if (screen.width() <= 0 || screen.height() <= 0) screen = QSize(1024, 768);
    const double byWidth = (screen.width() * 96.0) / (dpi * 1024.0);
    const double byHeight = (screen.height() * 96.0) / (dpi * 768.0);
    return std::min(byWidth, byHeight);
}

QPoint cIOForm::FitOrigin(QSize screen, double ratio) {
    // Whole pixels towards the top-left: on a 4:3 screen both margins are 0.
    return QPoint(std::max(0, int((screen.width() - 1024 * ratio) / 2)),
                  std::max(0, int((screen.height() - 768 * ratio) / 2)));
}

double cIOForm::ScaleRatio() { return FitRatio(ScreenRect().size(), ScreenDpi()); }

QRect cIOForm::FitRect(const QRect& d, double ratio, QPoint origin) {
    return QRect(origin.x() + Round(d.x() * ratio), origin.y() + Round(d.y() * ratio), Round(d.width() * ratio),
                 Round(d.height() * ratio));
}

int cIOForm::Scaled(int designPixels) const { return Round(designPixels * Ratio); }

QRect cIOForm::ScaledRect(const QWidget* control, const QRect& d) const {
    return FitRect(d, Ratio, control && control->parentWidget() == this ? Origin : QPoint());
}

void cIOForm::SetupFullScreen() {
    Ratio = ScaleRatio();
    const QRect screen = ScreenRect();
    Origin = FitOrigin(screen.size(), Ratio);
    FullScreen = true;
    LaidOut = screen.size();
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    setGeometry(screen);
    for (const sPlaced& p : Placed)
        Place(p.Widget, p.Design.x(), p.Design.y(), p.Design.width(), p.Design.height(), p.FontPt, p.Bold);
}

void cIOForm::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (FullScreen && event->size() != LaidOut && !event->size().isEmpty()) Rescale(event->size());
}

void cIOForm::Rescale(QSize size) {
    LaidOut = size;
    Ratio = FitRatio(size, ScreenDpi());
    Origin = FitOrigin(size, Ratio);
    const std::vector<sPlaced> placed = Placed;
    for (const sPlaced& p : placed)
        Place(p.Widget, p.Design.x(), p.Design.y(), p.Design.width(), p.Design.height(), p.FontPt, p.Bold);
    const std::vector<QPointer<QLabel>> fitted = Fitted;
    for (const QPointer<QLabel>& label : fitted) FitText(label);
    Rescaled();
    UpdateFocusMark();
    update();
}

void cIOForm::SetupDialog(int designWidth, int designHeight) {
    Ratio = 1.0;
    Origin = QPoint();
    FullScreen = false;
    DialogDesign = QSize(designWidth, designHeight);
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setFixedSize(designWidth, designHeight);
    move(DialogPosition(size()));
}

void cIOForm::LayOutDialog() {
    Ratio = DialogRatio();
    setFixedSize(Scaled(DialogDesign.width()), Scaled(DialogDesign.height()));
    const std::vector<sPlaced> placed = Placed;
    for (const sPlaced& p : placed)
        Place(p.Widget, p.Design.x(), p.Design.y(), p.Design.width(), p.Design.height(), p.FontPt, p.Bold);
    const std::vector<QPointer<QLabel>> fitted = Fitted;
    for (const QPointer<QLabel>& label : fitted) FitText(label);
    Rescaled();
    move(DialogPosition(size()));
}

void cIOForm::Place(QWidget* w, int x, int y, int width, int height, int fontPt, bool bold) {
    if (!w) return;  // also a deleted child's entry
    bool known = false;
    for (sPlaced& p : Placed)
        if (p.Widget == w) {
            p = {w, QRect(x, y, width, height), fontPt, bold};
            known = true;
        }
    if (!known) {
        std::erase_if(Placed, [](const sPlaced& p) { return p.Widget.isNull(); });
        Placed.push_back({w, QRect(x, y, width, height), fontPt, bold});
    }
    w->setGeometry(ScaledRect(w, QRect(x, y, width, height)));
    // Design sizes are points at 96 pixels per inch.
    if (fontPt > 0) w->setFont(DesignFont(Round(fontPt * 96.0 / 72.0 * Ratio), bold));
}

void cIOForm::FitText(QLabel* label) {
    if (!label) return;
    if (std::find(Fitted.begin(), Fitted.end(), label) == Fitted.end()) {
        std::erase_if(Fitted, [](const QPointer<QLabel>& l) { return l.isNull(); });
        Fitted.emplace_back(label);
    }
    for (const sPlaced& p : Placed) {
        if (p.Widget != label || p.FontPt <= 0) continue;
        QFont f = DesignFont(Round(p.FontPt * 96.0 / 72.0 * Ratio), p.Bold);
        const QStringList lines = label->text().split(QLatin1Char('\n'));
        const int room = label->contentsRect().width();
        while (f.pixelSize() > 6) {
            const QFontMetricsF fm(f);
            double widest = 0;
            for (const QString& line : lines) widest = std::max(widest, fm.horizontalAdvance(line));
            if (widest <= room) break;
            f.setPixelSize(f.pixelSize() - 1);
        }
        label->setFont(f);
        return;
    }
}

// --- large buttons, keys and hover colours ---

void cIOForm::RegisterLargeButton(cShadowButton* button, int functionKey) {
    if (!button) return;
    std::erase_if(LargeButtons, [](const auto& b) { return b.first.isNull(); });
    LargeButtons.emplace_back(button, functionKey);
    button->installEventFilter(this);
}

void cIOForm::SetAllButtonFills(cShadowButton* hovered) {
    for (auto& [button, key] : LargeButtons)
        if (button) button->SetFill(button == hovered ? cShadowButton::HoverFill() : cShadowButton::NormalFill());
}

void cIOForm::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    // Esc and F10 close the full-screen screens only; a dialog closes by its
    // own keys, buttons and results.
    if (FullScreen && (key == Qt::Key_Escape || key == Qt::Key_F10)) {
        event->accept();
        CloseScreen();
        return;
    }
    if (key >= Qt::Key_F1 && key <= Qt::Key_F35) {
        for (auto& [button, fkey] : LargeButtons) {
            if (!button || fkey != key) continue;
            event->accept();
            // A disabled button's key does nothing.
            if (button->isEnabled()) button->click();
            return;
        }
    }
    event->ignore();
}

void cIOForm::mouseMoveEvent(QMouseEvent* event) {
    // Over a disabled large button (its moves come here) nothing changes.
    QWidget* under = childAt(event->position().toPoint());
    for (auto& [button, key] : LargeButtons)
        if (button && under && (under == button || button->isAncestorOf(under)) && !button->isEnabled()) return;
    SetAllButtonFills(nullptr);
    QWidget::mouseMoveEvent(event);
}

void cIOForm::CloseScreen() { close(); }

void cIOForm::closeEvent(QCloseEvent* event) {
    if (!CanClose()) {
        event->ignore();
        if (ModalLoop) ModalResult = ResultNone;
        return;
    }
    event->accept();
    if (ModalLoop) {
        if (ModalResult == ResultNone) ModalResult = ResultCancel;
        ModalLoop->exit(ModalResult);
    }
}

void cIOForm::childEvent(QChildEvent* event) {
    if (event->type() == QEvent::ChildAdded) WatchTree(event->child());
    QWidget::childEvent(event);
}

void cIOForm::WatchTree(QObject* object) {
    if (!object || !object->isWidgetType()) return;
    // Another form nested in this one handles its own keys.
    if (qobject_cast<cIOForm*>(object)) return;
    object->removeEventFilter(this);
    object->installEventFilter(this);
    for (QObject* child : object->children()) WatchTree(child);
}

bool cIOForm::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::ChildAdded: WatchTree(static_cast<QChildEvent*>(event)->child()); break;
    case QEvent::KeyPress: {
        // The form sees every key before its controls.
        auto* w = qobject_cast<QWidget*>(watched);
        if (w && w != this && w->window() == this) {
            // A key may move the focus (Tab) even where no focus event
            // comes (a window not yet active): the mark looks afterwards.
            QMetaObject::invokeMethod(
                this, [this] { UpdateFocusMark(); }, Qt::QueuedConnection);
            auto* key = static_cast<QKeyEvent*>(event);
            const bool wasAccepted = key->isAccepted();
            key->accept();
            keyPressEvent(key);
            if (key->isAccepted()) return true;
            // Not the form's key: the control gets it as it came. Left
            // ignored, a key the control does use (Tab moves the focus
            // without accepting it) would travel on to every parent, and
            // each would use it again.
            key->setAccepted(wasAccepted);
        }
        break;
    }
    case QEvent::FocusIn: UpdateFocusMark(); break;
    case QEvent::FocusOut:
        // The focus is on its way elsewhere: look once it has arrived.
        QMetaObject::invokeMethod(
            this, [this] { UpdateFocusMark(); }, Qt::QueuedConnection);
        break;
    case QEvent::Move:
    case QEvent::Resize:
    case QEvent::Show:
    case QEvent::Hide:
    case QEvent::EnabledChange:
        if (FocusMark && watched == FocusMark->Target()) UpdateFocusMark();
        break;
    case QEvent::MouseMove:
    case QEvent::Enter:
        for (auto& [button, fkey] : LargeButtons) {
            if (!button || button != watched) continue;
            if (!button->isEnabled()) break;  // keeps its fill
            SetAllButtonFills(button);
            // Without a pressed button the move would travel on to the form,
            // which would paint the button black again.
            if (event->type() == QEvent::MouseMove && static_cast<QMouseEvent*>(event)->buttons() == Qt::NoButton)
                return true;
            break;
        }
        break;
    default: break;
    }
    return QWidget::eventFilter(watched, event);
}

// --- notifications ---

void cIOForm::LinkEvent() {
    if (!StatusLL) return;
    if (!FormatLinkStatus(LinkRequest, LinkPhase, LinkValue)) return;
    StatusKind = eStatus::Link;
    StatusPhase = LinkPhase;
    StatusValue = LinkValue;
    RenderStatus();
}

void cIOForm::SendError() {
    if (!StatusLL) return;
    // A device that is not there (an adapter not plugged in) is told apart
    // from one that failed.
    const bool absent = PortAbsent() && PortAbsent()();
    StatusKind = absent ? eStatus::PortAbsent : eStatus::PortError;
    RenderStatus();
}

std::function<bool()>& cIOForm::PortAbsent() {
    static std::function<bool()> absent;
    return absent;
}

void cIOForm::DeliverLinkIdle(bool idle) {
    LinkIdle(idle);
    for (cIOForm* child : findChildren<cIOForm*>(Qt::FindDirectChildrenOnly)) child->DeliverLinkIdle(idle);
}

// --- status line ---

void cIOForm::CreateStatusLine(int x, int y, int width, int height, int fontPt) {
    if (!StatusSH) {
        StatusSH = new cShape(this);
        StatusSH->setObjectName(QStringLiteral("StatusSH"));
        StatusSH->SetBrush(Qt::black);
        StatusSH->SetPen(Palette::Orange, 2);
        StatusSH->SetRadius(12);
        StatusLL = new QLabel(this);
        StatusLL->setObjectName(QStringLiteral("StatusLL"));
        StatusLL->setAlignment(Qt::AlignVCenter | Qt::AlignLeft);
        QPalette pal = StatusLL->palette();
        pal.setColor(QPalette::WindowText, Palette::Yellow);
        StatusLL->setPalette(pal);
        // The status panel counts as background for the buttons' hover
        // colours: mouse moves over it are passed on to the form.
        StatusSH->setMouseTracking(true);
        StatusLL->setMouseTracking(true);
    }
    Place(StatusSH, x, y, width, height);
    Place(StatusLL, x + 14, y + 4, width - 28, height - 8, fontPt, true);
    RenderStatus();
}

void cIOForm::RenderStatus() {
    if (!StatusLL) return;
    QString text;
    switch (StatusKind) {
    case eStatus::Design: text = Tr("Status: connected"); break;
    case eStatus::Link:
        text = ToQ(FormatLinkStatus(RQ_CONNECT, StatusPhase, StatusValue).value_or(std::string()));
        break;
    case eStatus::PortError: text = Tr("COM port error!"); break;
    case eStatus::PortAbsent: text = Tr("COM port not present!"); break;
    case eStatus::Message: text = StatusMessage ? Tr(StatusMessage) : QString(); break;
    }
    StatusLL->setText(text);
}

void cIOForm::ShowStatusMessage(const char* key) {
    StatusKind = eStatus::Message;
    StatusMessage = key;
    RenderStatus();
}

void cIOForm::RetranslateForm() {
    RenderStatus();
    Retranslate();
}

// --- modal showing ---

int cIOForm::ShowModal() {
    if (ModalLoop) return ResultCancel;  // already up
    ModalResult = ResultNone;
    if (isVisible()) hide();
    if (!FullScreen && DialogDesign.isValid()) LayOutDialog();
    setWindowModality(Qt::ApplicationModal);
    QEventLoop loop;
    ModalLoop = &loop;
    show();
    raise();
    activateWindow();
    // The form may have been closed while it was being shown.
    if (isVisible()) loop.exec(QEventLoop::DialogExec);
    ModalLoop = nullptr;
    hide();
    setWindowModality(Qt::NonModal);
    int result = ModalResult == ResultNone ? ResultCancel : ModalResult;
    ModalResult = ResultNone;
    return result;
}

void cIOForm::Done(int result) {
    if (!ModalLoop) return;
    ModalResult = result;
    close();
}

bool cIOForm::IsModalRunning() const { return ModalLoop != nullptr; }

QLabel* cIOForm::MakeLabel(const char* name, const QColor& color) {
    auto* l = new QLabel(this);
    l->setObjectName(QString::fromLatin1(name));
    QPalette pal = l->palette();
    pal.setColor(QPalette::WindowText, color);
    l->setPalette(pal);
    return l;
}

void cIOForm::DeferStyleSheet(QWidget* w, const QString& sheet) {
    if (w) w->setProperty("zvDeferredStyleSheet", sheet);
}

// --- keyboard focus ---

QWidget* cIOForm::FirstFocus() const {
    for (QWidget* w = nextInFocusChain(); w && w != this; w = w->nextInFocusChain()) {
        if (w->window() != this || w->focusProxy()) continue;
        if (!(w->focusPolicy() & Qt::TabFocus) || !w->isEnabled() || !w->isVisibleTo(this)) continue;
        return w;
    }
    return nullptr;
}

void cIOForm::GiveFirstFocus() {
    if (QWidget* first = FirstFocus()) first->setFocus(Qt::TabFocusReason);
    UpdateFocusMark();
}

void cIOForm::RestoreFocus(QWidget* previous) {
    if (previous && previous != this && previous->window() == this && previous->isEnabled() &&
        previous->isVisibleTo(this) && (previous->focusPolicy() & Qt::TabFocus))
        previous->setFocus(Qt::OtherFocusReason);
    else GiveFirstFocus();
    UpdateFocusMark();
}

QWidget* cIOForm::FocusMarkTarget() const {
    return FocusMark && !FocusMark->isHidden() ? FocusMark->Target() : nullptr;
}

void cIOForm::UpdateFocusMark() {
    QWidget* w = focusWidget();
    const bool marked = w && w != this && w->window() == this && w->isEnabled() && w->isVisibleTo(this) &&
                        w->parentWidget() && w != FocusMark;
    if (!marked) {
        if (FocusMark) FocusMark->Follow(nullptr, 0, 0);
        return;
    }
    if (!FocusMark) FocusMark = new cFocusMark(w->parentWidget());
    // Plain at every size: at least 3 pixels wide, 4 at the design size.
    FocusMark->Follow(w, std::max(1, Scaled(2)), std::max(3, Scaled(4)));
}

void cIOForm::showEvent(QShowEvent* event) {
    if (!StylesApplied) {
        StylesApplied = true;
        for (QWidget* child : findChildren<QWidget*>()) {
            const QVariant sheet = child->property("zvDeferredStyleSheet");
            if (sheet.isValid()) child->setStyleSheet(sheet.toString());
        }
    }
    QWidget::showEvent(event);
    if (FullScreen) {
        std::vector<QPointer<cIOForm>>& shown = ShownScreens();
        std::erase_if(shown, [this](const QPointer<cIOForm>& f) { return f.isNull() || f == this; });
        shown.emplace_back(this);
    }
    // Every showing starts at the first control, after the form's own show
    // handling (a refill may take the focus away).
    if (!event->spontaneous())
        QMetaObject::invokeMethod(
            this, [this] { GiveFirstFocus(); }, Qt::QueuedConnection);
}
