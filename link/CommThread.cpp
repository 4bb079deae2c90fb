// The link thread: its levels (waiting for a port, connection cycles, serving
// requests), the operations the screens call and the delivery of the
// notifications. The transactions themselves are in Connect.cpp,
// Transfer.cpp and Poll.cpp.
#include "link/CommThread.h"

#include <system_error>

#include "serial/ComPort.h"

std::atomic<int> cCommThread::IdlePollIndex{0};

namespace {
constexpr auto kNoLimit = std::chrono::milliseconds(-1);
constexpr auto kIdleWait = cCommThread::IdleWait;
constexpr auto kPostLockLimit = std::chrono::milliseconds(1000);
constexpr auto kShutdownSlice = std::chrono::milliseconds(5);
constexpr auto kReopenWait = std::chrono::milliseconds(1000);
constexpr int kReadLimitMs = cCommThread::ReadLimitMs;
constexpr int kWriteLimitMs = cCommThread::WriteLimitMs;
constexpr int kBaudRate = cCommThread::BaudRate;
}  // namespace

cCommThread::cCommThread(tUiInvoker invoker)
    : cCommThread(std::move(invoker), [](std::shared_ptr<cWaitHub> hub) -> std::unique_ptr<cBytePort> {
          return std::make_unique<cComPort>(std::move(hub));
      }) {}

cCommThread::cCommThread(tUiInvoker invoker, const tPortMaker& makePort)
    : Invoker(std::move(invoker)),
      Hub(std::make_shared<cWaitHub>()),
      Port(makePort(Hub)) {
    // No port yet: nothing posted now could be served, so posts are refused
    // until the first connection cycle starts.
    Busy.Set();
    // The program settings belong to the user-interface thread, so the name
    // of every port opened is handed over there.
    Port->SetNameSink([this](const std::string& name) {
        std::function<void(const std::string&)> sink;
        {
            std::lock_guard<std::mutex> lock(ListenerMutex);
            sink = NameSink;
        }
        if (sink) OnUi([&] { sink(name); });
    });
    try {
        Thread = std::thread([this] { Run(); });
    } catch (const std::system_error& e) {
        throw sError("CommThread", __LINE__, e.code().value());
    }
}

cCommThread::~cCommThread() {
    Shutdown();
    std::lock_guard<std::timed_mutex> lock(QueueLock);
    Updates = {};
}

void cCommThread::AddListener(cLinkListener* listener) {
    std::lock_guard<std::mutex> lock(ListenerMutex);
    Listeners.push_back(listener);
}

void cCommThread::SetEnabledSource(std::function<bool()> enabled) {
    std::lock_guard<std::mutex> lock(ListenerMutex);
    EnabledSource = std::move(enabled);
}

void cCommThread::SetPortNameSink(std::function<void(const std::string&)> sink) {
    std::lock_guard<std::mutex> lock(ListenerMutex);
    NameSink = std::move(sink);
}

// ---- operations for the screens ----------------------------------------

bool cCommThread::PostRequest(int32_t code) {
    std::unique_lock<std::timed_mutex> lock(RequestLock, std::defer_lock);
    if (!TryLockFor(lock, kPostLockLimit)) return false;
    if (Busy.IsSet() || Pending.IsSet()) return false;
    Post(code);
    return true;
}

void cCommThread::Post(int32_t code) {
    CurrentRequest = code;
    PendingWasPosted = true;
    Stop.Reset();
    // Busy before pending: the thread may take and finish the request as
    // soon as it is pending, and must not find busy set afterwards.
    Busy.Set();
    Pending.Set();
}

bool cCommThread::PostRequestAfterStop(int32_t code) {
    std::unique_lock<std::timed_mutex> lock(RequestLock, std::defer_lock);
    if (!TryLockFor(lock, kPostLockLimit)) return false;
    if (Pending.IsSet()) {
        // A live poll posted while the link was busy with an idle-poll
        // exchange, and told to stop before the link took it, would end at
        // once when taken: `code` takes its place. Any other waiting request
        // (a chained connect, identify or settings read) keeps its turn.
        const int32_t waiting = CurrentRequest;
        const bool stoppedPoll = (waiting == RQ_CONFIG_POLL || waiting == RQ_VIS_POLL) && Stop.IsSet();
        if (!stoppedPoll || RequestTaken || FollowUp != 0) return false;
        CurrentRequest = code;
        PendingWasPosted = true;
        Stop.Reset();
        return true;
    }
    if (Busy.IsSet()) {
        // Only a request being served that was told to stop ends by itself.
        if (!Stop.IsSet() || FollowUp != 0 || !RequestTaken) return false;
        FollowUp = code;
        return true;
    }
    Post(code);
    return true;
}

bool cCommThread::TryLockFor(std::unique_lock<std::timed_mutex>& lock, std::chrono::milliseconds limit) {
    // Against the system clock: the steady-clock wait of the library goes
    // through pthread_mutex_clocklock, which ThreadSanitizer cannot follow.
    // The locks are only ever held for a few instructions, so a clock step
    // changes nothing in practice.
    return lock.try_lock_until(std::chrono::system_clock::now() + limit);
}

void cCommThread::QueueUpdate(sUpdate update) {
    std::lock_guard<std::timed_mutex> lock(QueueLock);
    // While kept settings are held only commands pass (a key of the fitter).
    if (EditsHeld && update.Param() != P_COMMAND) return;
    Updates.push(update);
}

void cCommThread::ReleaseHeldEdits() {
    if (!EditsHeld) return;
    std::lock_guard<std::timed_mutex> lock(QueueLock);
    EditsHeld = false;
    FileHeld = false;
    // The fitter said it is the same vehicle. (Before the first read an
    // opened file stays over it, held again: the fitter is asked once the
    // ECU is known.)
    OtherVehicle = false;
    if (!Ecu::NewProtocol(EcuVersion)) return;
    for (const sUpdate& u : Ecu::UpdatesBetween(WorkSettings, EcuSettings)) Updates.push(u);
    StoreAllEdits = false;
}

void cCommThread::HoldOpenedFile(bool withCounts) {
    std::lock_guard<std::timed_mutex> lock(QueueLock);
    EditsHeld = true;
    StoreAllEdits = true;
    OtherVehicle = false;
    FileHeld = true;
    FileCounts = withCounts;
    // Before the first read the ECU's settings are not known: the read
    // keeps the file over them.
    FileOverFirstRead = !RecordsRead;
    Updates = {};
}

void cCommThread::DropHeldEdits() {
    WorkSettings = EcuSettings;
    FileOverFirstRead = false;
    EditsHeld = false;
    FileHeld = false;
    StoreAllEdits = false;
    OtherVehicle = false;
}

void cCommThread::StopRequest() { Stop.Set(); }

bool cCommThread::IsBusy() const { return Busy.IsSet(); }

void cCommThread::SetPortName(const std::string& name) {
    {
        std::lock_guard<std::mutex> lock(NameMutex);
        PortName = name;
    }
    PortChanged.Set();
}

std::string cCommThread::GetPortName() const {
    std::lock_guard<std::mutex> lock(NameMutex);
    return PortName;
}

void cCommThread::Shutdown(const std::function<void()>& pump) {
    std::lock_guard<std::mutex> guard(ShutdownMutex);
    if (!Thread.joinable()) return;
    Terminate = true;
    Port->SignalStop();
    // A delivery may be waiting for the caller's thread: keep it running.
    while (!Ended.Wait(kShutdownSlice))
        if (pump) pump();
    Thread.join();
}

// ---- notifications -------------------------------------------------------

void cCommThread::OnUi(const std::function<void()>& fn) {
    if (Invoker) Invoker(fn);
    else fn();
}

void cCommThread::Notify(const std::function<void(cLinkListener&)>& fn) {
    std::vector<cLinkListener*> listeners;
    {
        std::lock_guard<std::mutex> lock(ListenerMutex);
        listeners = Listeners;
    }
    // Nothing new once the thread is told to end; but one that has begun
    // reaches every listener (Shutdown keeps the deliveries running).
    if (Terminate) return;
    // One trip to the user-interface thread for all of them: one wake-up of
    // its event loop per notification, however many screens listen.
    OnUi([&] {
        for (cLinkListener* listener : listeners) fn(*listener);
    });
}

void cCommThread::RaiseLinkEvent(int32_t request, int32_t phase, int32_t value) {
    Notify([&](cLinkListener& l) {
        l.LinkRequest = request;
        l.LinkPhase = phase;
        l.LinkValue = value;
        l.LinkEvent();
    });
}

void cCommThread::RaiseLinkIdle(bool idle) {
    if (!idle) {
        std::function<bool()> enabled;
        {
            std::lock_guard<std::mutex> lock(ListenerMutex);
            enabled = EnabledSource;
        }
        if (enabled && enabled()) return;
    }
    Notify([idle](cLinkListener& l) { l.DeliverLinkIdle(idle); });
}

void cCommThread::RaiseSendError() {
    Notify([](cLinkListener& l) { l.SendError(); });
}

void cCommThread::RaiseNoReply() {
    Notify([](cLinkListener& l) { l.NoReply(); });
}

void cCommThread::RaiseBadReply() {
    Notify([](cLinkListener& l) { l.BadReply(); });
}

// ---- thread body -----------------------------------------------------------

void cCommThread::Run() {
    cEvent& portStop = Port->GetStopEvent();
    // Set while the port has failed: the same name is opened again about
    // once a second (an adapter plugged back in, a line that returns),
    // quietly, until it opens or another name is given.
    bool reopening = false;
    while (!Terminate) {
        // Anything thrown on this thread (a port error, but also a failed
        // allocation or a system error of the library) ends the cycle as a
        // port failure: the thread never ends while the program waits on it.
        try {
            // Wait for a port name, the time to try the failed one again, or
            // the end.
            int which = cEvent::WaitAny({&PortChanged, &portStop}, reopening ? kReopenWait : kNoLimit);
            if (which == 0) PortChanged.Reset();
            else if (which == 1) Terminate = true;
            if (Terminate) break;
            const bool retry = which < 0;
            reopening = false;
            if (!OpenPort(retry)) {
                reopening = true;
                continue;
            }

            while (!Terminate) {
                if (PortChanged.IsSet()) {
                    PortChanged.Reset();
                    if (!OpenPort(false)) {
                        reopening = true;
                        break;
                    }
                }
                RunCycle();
            }
        } catch (...) {
            PortFailed();
            reopening = true;
        }
        // Nothing to open again without a name.
        if (GetPortName().empty()) reopening = false;
    }
    Connected = false;
    Ended.Set();
}

void cCommThread::PortFailed(bool quiet) {
    // The failed device is let go at once (a pulled adapter's device stays
    // around while it is held open). Posts are refused from here on, until a
    // port opens again; the busy event stays set even when a request was
    // being served.
    Port->Close();
    const bool running = TransactionRunning;
    TransactionRunning = false;
    {
        // A write posted after a stop goes with the request it followed.
        std::lock_guard<std::timed_mutex> lock(RequestLock);
        FollowUp = 0;
        RequestTaken = false;
    }
    Busy.Set();
    Connected = false;
    if (quiet) return;
    // Each notification on its own, so that a failure to deliver one does
    // not keep back the others: the RequestFailed of a served request is
    // what closes a progress dialog following it.
    const auto deliver = [](const std::function<void()>& raise) {
        try {
            raise();
        } catch (...) {}
    };
    deliver([this] { RaiseLinkIdle(false); });
    deliver([this] { RaiseSendError(); });
    if (running) deliver([this] { Notify([](cLinkListener& l) { l.RequestFailed(); }); });
}

bool cCommThread::OpenPort(bool quiet) {
    std::string name = GetPortName();
    try {
        Port->Open(name);
        Port->SetTimeouts(kReadLimitMs, kWriteLimitMs);
        Port->SetQueueSizes(16, 0);
        return true;
    } catch (...) {
        // A new name that fails is reported; trying a failed one again is
        // not (the screens still show the port error).
        PortFailed(quiet);
        return false;
    }
}

void cCommThread::RunCycle() {
    Connected = false;
    EcuVersion = 0;
    EcuIdVersion = 0;
    Port->ClearAndPurgeRx();
    Port->ClearAndPurgeTx();
    Port->SetBaudRate(kBaudRate);
    Port->ClearAndPurgeRx();
    {
        std::lock_guard<std::timed_mutex> lock(RequestLock);
        CurrentRequest = RQ_CONNECT;
        PendingWasPosted = false;
        Stop.Reset();
        Pending.Set();
        Busy.Reset();
    }

    cEvent& portStop = Port->GetStopEvent();
    while (!Terminate) {
        int which = Port->WaitAny({&PortChanged, &portStop, &Pending}, kIdleWait);
        if (which == 0 || which == 1) return;
        if (which == 2) {
            bool wasConnected = Connected;
            if (Serve()) {
                Connected = true;
            } else {
                Connected = false;
                Notify([](cLinkListener& l) { l.RequestFailed(); });
                if (!wasConnected) return;  // a new cycle starts at once
                // Serve has already queued RQ_CONNECT: reconnect.
            }
        } else if (Connected) {
            if (!IdlePollStep() && !portStop.IsSet()) PostRequest(RQ_CONNECT);
        }
    }
}

void cCommThread::SetPending(int32_t code) {
    CurrentRequest = code;
    PendingWasPosted = false;
    Pending.Set();
}

bool cCommThread::Serve() {
    int32_t code;
    {
        std::lock_guard<std::timed_mutex> lock(RequestLock);
        code = CurrentRequest;
        ServedWasPosted = PendingWasPosted;
        Busy.Set();
        Pending.Reset();
        RequestTaken = true;
    }
    RaiseLinkIdle(false);

    TransactionRunning = true;
    ReadCut = false;
    bool ok = RunTransaction(code);
    TransactionRunning = false;
    // A read that was stopped before its last parameter has copied nothing:
    // the screens must not take the records for the ECU's, so it is not
    // reported as loaded but read again from the start. (A screen's stop is
    // meant for its poll; the read only happened to run at that moment.)
    const bool readAgain = ok && code == RQ_READ_SETTINGS && ReadCut;

    {
        // The next request (a chained one, or reconnecting after a failure)
        // is made pending before busy clears, so a post from a screen cannot
        // slip in between and be overwritten.
        std::lock_guard<std::timed_mutex> lock(RequestLock);
        if (!ok) {
            SetPending(RQ_CONNECT);
        } else if (code == RQ_CONNECT) {
            SetPending(RQ_IDENTIFY);
        } else if (code == RQ_IDENTIFY) {
            SetPending(RQ_READ_SETTINGS);
        } else if (readAgain) {
            // Read again as what it was: posted or chained.
            SetPending(RQ_READ_SETTINGS);
            PendingWasPosted = ServedWasPosted;
        } else if (FollowUp != 0) {
            SetPending(FollowUp);
            PendingWasPosted = true;
        }
        FollowUp = 0;
        RequestTaken = false;
        Busy.Reset();
        Stop.Reset();
    }
    if (ok && code == RQ_READ_SETTINGS && !readAgain) Notify([](cLinkListener& l) { l.SettingsLoaded(); });
    RaiseLinkIdle(true);
    return ok;
}

bool cCommThread::RunTransaction(int32_t code) {
    switch (code) {
    case RQ_CONNECT: return Connect();
    case RQ_CHECK: return Check();
    case RQ_IDENTIFY: return Identify();
    case RQ_READ_SETTINGS: return ReadSettings();
    case RQ_WRITE_SETTINGS: return WriteSettings();
    case RQ_CONFIG_POLL: return ConfigPoll();
    case RQ_VIS_POLL: return VisPoll();
    default: return false;
    }
}

bool cCommThread::Exchange(uint8_t code, uint8_t data, uint8_t& reply) {
    return ::Exchange(*Port, EcuVersion.load(), *this, code, data, reply);
}

bool cCommThread::Pause(int ms, bool orStop) {
    cEvent& portStop = Port->GetStopEvent();
    auto limit = std::chrono::milliseconds(ms);
    int which = orStop ? Port->WaitAny({&portStop, &Stop, &PortChanged}, limit) : Port->WaitAny({&portStop}, limit);
    return which < 0;
}
