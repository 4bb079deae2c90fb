#include "kit/IOForm.h"

#include <algorithm>

#include <QApplication>
#include <QChildEvent>
#include <QCloseEvent>
#include <QEventLoop>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QResizeEvent>

#include "widgets/FocusMark.h"
#include "widgets/Palette.h"
#include "widgets/ShadowButton.h"
#include "widgets/Shape.h"

#include "kit/StatusLine.h"

namespace {
// The full-screen forms in the order they were last shown.
std::vector<QPointer<cIOForm>>& ShownScreens() {
    static std::vector<QPointer<cIOForm>> shown;
    return shown;
}
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

// --- placement and scaling ---

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

void cIOForm::SetupFullScreen() {
    const double ratio = ScaleRatio();
    const QRect screen = ScreenRect();
    Scaling.SetFit(ratio, FitOrigin(screen.size(), ratio));
    FullScreen = true;
    LaidOut = screen.size();
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    setGeometry(screen);
    Scaling.PlaceAll();
}

void cIOForm::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (FullScreen && event->size() != LaidOut && !event->size().isEmpty()) Rescale(event->size());
}

void cIOForm::Rescale(QSize size) {
    LaidOut = size;
    const double ratio = FitRatio(size, ScreenDpi());
    Scaling.SetFit(ratio, FitOrigin(size, ratio));
    Scaling.PlaceAll();
    Scaling.FitAll();
    Rescaled();
    UpdateFocusMark();
    update();
}

void cIOForm::SetupDialog(int designWidth, int designHeight) {
    Scaling.SetFit(1.0, QPoint());
    FullScreen = false;
    DialogDesign = QSize(designWidth, designHeight);
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setFixedSize(designWidth, designHeight);
    move(DialogPosition(size()));
}

void cIOForm::LayOutDialog() {
    Scaling.SetFit(DialogRatio(), QPoint());
    setFixedSize(Scaled(DialogDesign.width()), Scaled(DialogDesign.height()));
    Scaling.PlaceAll();
    Scaling.FitAll();
    Rescaled();
    move(DialogPosition(size()));
}

void cIOForm::Place(QWidget* w, int x, int y, int width, int height, int fontPt, bool bold) {
    Scaling.Place(w, QRect(x, y, width, height), fontPt, bold);
}

void cIOForm::FitText(QLabel* label) { Scaling.FitText(label); }

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
    if (Status) Status->ShowLink(LinkRequest, LinkPhase, LinkValue);
}

void cIOForm::SendError() {
    if (!Status) return;
    // A device that is not there (an adapter not plugged in) is told apart
    // from one that failed.
    Status->ShowPortError(PortAbsent() && PortAbsent()());
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
    if (!Status) {
        Status = std::make_unique<cStatusLine>(this);
        StatusSH = Status->Shape();
        StatusLL = Status->Label();
    }
    Place(StatusSH, x, y, width, height);
    Place(StatusLL, x + 14, y + 4, width - 28, height - 8, fontPt, true);
    Status->Render();
}

void cIOForm::ShowStatusMessage(const char* key) {
    if (Status) Status->ShowMessage(key);
}

void cIOForm::RetranslateForm() {
    if (Status) Status->Render();
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
    if (QWidget* first = FirstFocus()) {
        first->setFocus(Qt::TabFocusReason);
        // A field that had the focus already gets no focus event: its value
        // is selected here, so that what is typed first replaces it.
        if (auto* edit = qobject_cast<QLineEdit*>(first)) edit->selectAll();
    } else if (focusWidget() && focusWidget() != this) {
        // No control of the last showing keeps the keys.
        setFocus(Qt::OtherFocusReason);
    }
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
