// The link thread: owns the serial port, serves one request at a time,
// connects, identifies and reads the settings by itself, polls live values
// while idle, and tells the listeners (the screens) what happens through
// synchronous calls on the user-interface thread. When the port fails it is
// closed at once and opened again under the same name about once a second,
// until that works or another name is given.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <queue>

#include "serial/BytePort.h"
#include "serial/Event.h"

#include "link/Frames.h"
#include "link/LinkListener.h"
#include "link/Settings.h"

class cCommThread : private cExchangeSink {
public:
    // The line speed, and the wait before each idle poll step.
    static constexpr int BaudRate = 1200;
    static constexpr std::chrono::milliseconds IdleWait{50};
    // Seconds between two records of a capture recorded while the link ran
    // its idle poll with an ECU of the given version: six live reads per
    // record, each one idle wait and one frame exchange at the ECU's pacing.
    static double PollCycleSeconds(int ecuVersion);
    // The port's time limits for one byte read and one byte written.
    static constexpr int ReadLimitMs = 100;
    static constexpr int WriteLimitMs = 100;
    // Before each handshake the line must have been quiet this long (three
    // byte times at 1200 baud); what comes before is dropped.
    static constexpr int QuietMs = 25;

    // `invoker` runs a function on the user-interface thread and waits for it;
    // an empty invoker runs it directly on the link thread (core tests).
    // The thread starts at once and waits for a port name.
    explicit cCommThread(tUiInvoker invoker = {});
    // The same on another byte port than cComPort (tests: an in-memory ECU).
    // `makePort` gets the hub the port's stop event must live on.
    using tPortMaker = std::function<std::unique_ptr<cBytePort>(std::shared_ptr<cWaitHub>)>;
    cCommThread(tUiInvoker invoker, const tPortMaker& makePort);
    ~cCommThread();  // calls Shutdown if it has not run
    cCommThread(const cCommThread&) = delete;
    cCommThread& operator=(const cCommThread&) = delete;

    // Listeners receive every notification in the order they were added.
    // Add them before the first SetPortName.
    void AddListener(cLinkListener* listener);
    // When set and returning true, LinkIdle(false) is not raised (the
    // program settings' Enabled flag). Read before every request served.
    void SetEnabledSource(std::function<bool()> enabled);
    // Called with the name on every port open (program settings' Port). It
    // runs on the user-interface thread, through the invoker.
    void SetPortNameSink(std::function<void(const std::string&)> sink);

    bool PostRequest(int32_t code);
    // As PostRequest, but a request that is running and has been asked to
    // stop (StopRequest) does not refuse it: `code` is then served as soon as
    // that request has ended with success. Should it fail instead, the link
    // reconnects and `code` is dropped; the listeners hear RequestFailed. A
    // stopped live poll that the link has not yet taken is replaced by `code`.
    bool PostRequestAfterStop(int32_t code);
    void QueueUpdate(sUpdate update);
    void StopRequest();
    bool IsBusy() const;
    int32_t GetCurrentRequest() const { return CurrentRequest.load(); }
    int GetEcuVersion() const { return EcuVersion.load(); }
    int GetEcuIdVersion() const { return EcuIdVersion.load(); }
    bool IsConnected() const { return Connected.load(); }

    // How the last completed settings read treated the program's records.
    // Copied: the ECU's settings went into WorkSettings and EcuSettings (the
    // first read, a read a screen asked for, or no unsaved edits). KeptEdits:
    // a read the link made by itself after reconnecting to an ECU of the same
    // identity updated EcuSettings and kept the unsaved edits in
    // WorkSettings. OtherEcu: the reconnected ECU identified differently; the
    // unsaved edits were kept in WorkSettings over its settings, which went
    // into EcuSettings. Read it
    // while the read's completion LinkEvent runs.
    enum class eReadOutcome { Copied, KeptEdits, OtherEcu };
    eReadOutcome GetReadOutcome() const { return ReadOutcome.load(); }

    // Edits kept over a reconnection are held: none of them goes to the ECU
    // by itself, and QueueUpdate drops every setting update while they are
    // held (the ECU on the line may be another vehicle's; commands pass). The fitter's word ends the
    // hold: ReleaseHeldEdits queues, on an ECU taking single updates, every
    // setting that differs from the ECU's, and the next write stores them;
    // DropHeldEdits takes the ECU's settings into WorkSettings. A completed
    // write or a read a screen asked for ends the hold too. Both calls run
    // on the user-interface thread.
    bool HoldsKeptEdits() const { return EditsHeld.load(); }
    void ReleaseHeldEdits();
    void DropHeldEdits();
    // The last read after a reconnection found another version or identity,
    // or settings that the ECU read before the line was lost did not hold
    // (Ecu::SameVehicle): most likely another vehicle. It stays over
    // further reconnections while the edits are held, and is cleared by a
    // completed write, a read a screen asked for, ReleaseHeldEdits and
    // DropHeldEdits.
    bool LooksLikeOtherVehicle() const { return OtherVehicle.load(); }
    // The working settings were loaded from a vehicle file the program was
    // started with (a double-click on the file): they are held like edits
    // kept over a reconnection, from now on, and the first read keeps them
    // whole over the ECU's settings (an older file's missing cylinder and
    // coil counts, `withCounts` false, are the ECU's); nothing of them goes
    // to the ECU before the fitter's word. Runs on the user-interface thread.
    void HoldOpenedFile(bool withCounts);
    // The held settings are those of the opened file (HoldOpenedFile).
    bool HoldsOpenedFile() const { return EditsHeld.load() && FileHeld.load(); }
    cBytePort& GetPort() { return *Port; }
    void SetPortName(const std::string& name);
    std::string GetPortName() const;

    // Ends the thread and waits for it. `pump` is called repeatedly while
    // waiting (the GUI passes one that processes pending events, so that a
    // delivery in flight can finish).
    void Shutdown(const std::function<void()>& pump = {});

    // Process-wide position of the next idle poll read.
    static std::atomic<int> IdlePollIndex;

private:
    // Exchange failures, delivered to every listener.
    void RaiseSendError() override;
    void RaiseNoReply() override;
    void RaiseBadReply() override;

    // Thread body and its levels.
    void Run();
    // Opens and configures the port under the stored name; on failure
    // PortFailed(quiet) and false.
    bool OpenPort(bool quiet);
    // The port failed or could not be opened (or anything else was thrown on
    // the thread): the device is closed, posts are refused until a port opens
    // again, and unless `quiet` LinkIdle(false), SendError and, when a
    // request was being served, RequestFailed are raised.
    void PortFailed(bool quiet = false);
    void RunCycle();
    bool Serve();
    bool RunTransaction(int32_t code);

    // Transactions; each returns the transaction's success.
    bool Connect();
    bool Check();
    bool Identify();
    bool ReadSettings();
    bool WriteSettings();
    bool ConfigPoll();
    bool VisPoll();
    // One idle poll read; left out (with success) when a posted request
    // arrived first.
    bool IdlePollStep();
    bool FlushUpdates();
    bool Exchange(uint8_t code, uint8_t data, uint8_t& reply);
    uint8_t LiveValue(int k, uint8_t raw) const;

    // Reads and drops what arrives until the line has been quiet for QuietMs;
    // false when it would not go quiet (a second's worth of bytes) or the
    // port's stop event was set.
    bool WaitQuietLine();
    // Waits up to `ms` on the port's stop event (and, when `orStop`, on the
    // request stop and port-changed events); true when the full time passed.
    bool Pause(int ms, bool orStop);

    // Runs `fn` on the user-interface thread (through the invoker) and waits.
    void OnUi(const std::function<void()>& fn);
    // Delivers a notification to every listener in order, all in one invoker
    // call. Nothing new is delivered once the thread is told to end;
    // one begun before goes to every listener.
    void Notify(const std::function<void(cLinkListener&)>& fn);
    void RaiseLinkEvent(int32_t request, int32_t phase, int32_t value);
    void RaiseLinkIdle(bool idle);
    // Sets the request to serve next, under the request lock.
    void SetPending(int32_t code);
    // Posts request `code` to the idle thread; RequestLock held, neither busy
    // nor pending set.
    void Post(int32_t code);
    // Takes a timed lock within `limit`; false when the time ran out.
    static bool TryLockFor(std::unique_lock<std::timed_mutex>& lock, std::chrono::milliseconds limit);

    tUiInvoker Invoker;
    std::shared_ptr<cWaitHub> Hub;
    std::unique_ptr<cBytePort> Port;

    // Manual-reset events, all on Hub together with the port's stop event.
    cEvent PortChanged{Hub};
    cEvent Pending{Hub};
    cEvent Busy{Hub};
    cEvent Stop{Hub};
    cEvent Ended{Hub};

    std::timed_mutex RequestLock;   // serialises posting and taking requests
    int32_t FollowUp = 0;           // guarded by RequestLock: served after a stopped request
    bool RequestTaken = false;      // guarded by RequestLock: Serve has taken a request and not finished it
    bool PendingWasPosted = false;  // guarded by RequestLock: the pending request was posted, not chained
    std::timed_mutex QueueLock;     // guards Updates
    std::queue<sUpdate> Updates;

    mutable std::mutex NameMutex;  // guards PortName
    std::string PortName;

    std::mutex ListenerMutex;  // guards the three below
    std::vector<cLinkListener*> Listeners;
    std::function<bool()> EnabledSource;
    std::function<void(const std::string&)> NameSink;

    std::atomic<int32_t> CurrentRequest{RQ_CONNECT};
    std::atomic<int> EcuVersion{0};
    std::atomic<int> EcuIdVersion{0};
    std::atomic<bool> Connected{false};
    std::atomic<bool> Terminate{false};
    bool TransactionRunning = false;  // link thread only: a transaction runs
    bool ReadCut = false;             // link thread only: the read served last was stopped
    bool ServedWasPosted = false;     // link thread only: the request being served was posted
    // Link thread only: the identity of the ECU the records were last read
    // from (none before the first read).
    bool HaveRead = false;
    int ReadVersion = 0;
    int ReadIdVersion = 0;
    // The program's settings were kept over a reconnection, so the next
    // store of an ECU taking single updates sends every difference.
    std::atomic<bool> StoreAllEdits{false};
    std::atomic<bool> EditsHeld{false};
    std::atomic<bool> OtherVehicle{false};
    // HoldOpenedFile: the held edits are a file's; the next completed read
    // is the first and keeps them (with the file's counts, or the ECU's).
    std::atomic<bool> FileHeld{false};
    std::atomic<bool> FileOverFirstRead{false};
    std::atomic<bool> FileCounts{true};
    // User-interface thread only: a read has been copied into the records.
    bool RecordsRead = false;
    std::atomic<eReadOutcome> ReadOutcome{eReadOutcome::Copied};

    std::mutex ShutdownMutex;
    std::thread Thread;
};
