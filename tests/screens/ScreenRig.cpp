#include "ScreenRig.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLabel>
#include <QTimer>

#include "serial/ComPort.h"

#include "link/Settings.h"

#include "widgets/ShadowButton.h"

#include "screens/CalibForm.h"
#include "screens/ConfigForm.h"
#include "screens/DataExForm.h"
#include "screens/Globals.h"
#include "screens/InfoForm.h"
#include "screens/MainForm.h"
#include "screens/QuestionForm.h"
#include "screens/SaveForm.h"
#include "screens/VisForm.h"

namespace {
sSimOptions Options(int version) {
    sSimOptions o;
    o.Version = version;
    o.Instant = true;
    return o;
}

// The real serial port on the simulator's pseudo-terminal, whose pauses
// (between the bytes of a frame, before the handshake, between idle polls)
// pass PaceSpeed times faster: what the screens show does not hang on the
// line's speed, which the link's own tests check. Read and write limits stay
// those of the line, so a late simulator thread still answers in time.
class cQuickPacedPort : public cComPort {
public:
    static constexpr int PaceSpeed = 5;
    using cComPort::cComPort;
    int WaitAny(std::initializer_list<cEvent*> events, std::chrono::milliseconds limit) override {
        if (limit.count() <= 0) return cComPort::WaitAny(events, limit);
        return cComPort::WaitAny(
            events, std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::microseconds(limit) / PaceSpeed +
                                                                          std::chrono::milliseconds(1)));
    }
};
}  // namespace

cScreenRig::cScreenRig(int version) : Sim(Options(version)), Version(version) {}

cScreenRig::~cScreenRig() {
    // A watch whose dialog never came goes with the bench, not after it.
    for (const QPointer<QTimer>& watch : Watches) delete watch.data();
    if (Link) Link->Shutdown([] { QCoreApplication::processEvents(QEventLoop::AllEvents, 5); });
    Link.reset();
    CommThread = nullptr;
    Sim.Stop();
    Screens.reset();
    QCoreApplication::processEvents();
}

bool cScreenRig::Start() {
    WorkSettings = EcuSettings = IncomingSettings = sSettings{};
    cIOForm::SetScreenOverride(QSize(1024, 768), 96);

    Screens = std::make_unique<cScreenSet>(cScreenSet::eScope::Work);
    Main = MainForm;
    Vis = VisForm;
    Config = ConfigForm;
    Calib = CalibForm;
    Info = InfoForm;
    DataEx = DataExForm;
    Save = SaveForm;
    Question = QuestionForm;

    Link = std::make_unique<cCommThread>(
        [](const std::function<void()>& fn) { QMetaObject::invokeMethod(qApp, fn, Qt::BlockingQueuedConnection); },
        [](std::shared_ptr<cWaitHub> hub) {
            return std::unique_ptr<cBytePort>(std::make_unique<cQuickPacedPort>(std::move(hub)));
        });
    CommThread = Link.get();
    for (cLinkListener* l : Screens->Listeners()) Link->AddListener(l);
    Link->AddListener(this);
    for (cLinkListener* l : ExtraListeners) Link->AddListener(l);
    if (BeforeConnect) BeforeConnect();
    Sim.Start();
    Link->SetPortName(Sim.DevicePath());
    return WaitUntil([this] { return Loaded > 0; }, 20000) && Link->GetEcuVersion() == Version;
}

void cScreenRig::LinkEvent() {
    if (LinkRequest == RQ_IDLE_POLL || LinkRequest == RQ_VIS_POLL) ++LiveValues;
}

bool cScreenRig::WaitUntil(const std::function<bool()>& pred, int ms) {
    QElapsedTimer t;
    t.start();
    while (!pred()) {
        if (t.elapsed() > ms) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QCoreApplication::sendPostedEvents();
    }
    return true;
}

void cScreenRig::Pump(int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

bool cScreenRig::WaitIdle(int ms) {
    return WaitUntil([this] { return Link->IsConnected() && !Link->IsBusy(); }, ms) && WaitLive(2, ms);
}

bool cScreenRig::WaitLive(int count, int ms) {
    const int target = LiveValues + count;
    return WaitUntil([&] { return LiveValues >= target; }, ms);
}

std::vector<std::pair<int, int>> cScreenRig::Writes() const {
    std::vector<std::pair<int, int>> out;
    for (const auto& f : Sim.Received())
        if (f.size() == 3 && (f[0] & 0xF0) == 0xC0) out.emplace_back(f[0] & 0x0F, f[1]);
    return out;
}

void cScreenRig::AnswerQuestion(bool yes, bool atOnce) {
    QTimer* timer = NewWatch();
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [this, timer, yes, atOnce] {
        if (!Question || !Question->IsModalRunning()) return;
        if (!atOnce && Link && Link->IsBusy()) return;
        timer->stop();
        timer->deleteLater();
        (yes ? Question->YesBtn : Question->NoBtn)->click();
    });
    timer->start();
}

void cScreenRig::AcknowledgeInfo(QString* text) {
    QTimer* timer = NewWatch();
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [this, timer, text] {
        if (!Info || !Info->IsModalRunning()) return;
        timer->stop();
        timer->deleteLater();
        if (text) *text = Info->TextLL->text();
        Info->OKBtn->click();
    });
    timer->start();
}

QTimer* cScreenRig::NewWatch() {
    auto* timer = new QTimer(qApp);
    std::erase_if(Watches, [](const QPointer<QTimer>& t) { return t.isNull(); });
    Watches.emplace_back(timer);
    return timer;
}

void cScreenRig::PressInQuestions(std::vector<int> keys, QStringList* texts) {
    QTimer* timer = NewWatch();
    timer->setInterval(5);
    auto pending = std::make_shared<std::vector<int>>(std::move(keys));
    auto last = std::make_shared<QString>();
    QObject::connect(timer, &QTimer::timeout, [this, timer, pending, last, texts] {
        if (!Question || !Question->IsModalRunning()) return;
        const QString text = Question->TextLL->text();
        if (text == *last) return;  // the one answered, still closing
        *last = text;
        texts->push_back(text);
        const int key = pending->front();
        pending->erase(pending->begin());
        if (pending->empty()) {
            timer->stop();
            timer->deleteLater();
        }
        Key(Question, key);
    });
    timer->start();
}

void cScreenRig::Key(QWidget* w, int key, Qt::KeyboardModifiers mods) {
    QString text;
    if (key >= Qt::Key_0 && key <= Qt::Key_9) text = QChar(u'0' + (key - Qt::Key_0));
    else if (key >= Qt::Key_A && key <= Qt::Key_Z) text = QChar(u'a' + (key - Qt::Key_A));
    else if (key == Qt::Key_Backspace) text = QStringLiteral("\b");
    QKeyEvent press(QEvent::KeyPress, key, mods, text);
    QApplication::sendEvent(w, &press);
    QKeyEvent release(QEvent::KeyRelease, key, mods, text);
    QApplication::sendEvent(w, &release);
}
