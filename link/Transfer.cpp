// Moving the settings record: the whole read (RQ_READ_SETTINGS), the write
// with its store command (RQ_WRITE_SETTINGS) in both protocol generations,
// and the flush of the single-update queue.
#include "link/CommThread.h"

namespace {
constexpr int kNewWriteSteps = 10;
constexpr int kNewWriteStepMs = 10;
constexpr auto kQueueLockLimit = std::chrono::milliseconds(10000);
}  // namespace

bool cCommThread::FlushUpdates() {
    for (;;) {
        if (Terminate) return false;
        sUpdate update;
        {
            std::unique_lock<std::timed_mutex> lock(QueueLock, std::defer_lock);
            if (!TryLockFor(lock, kQueueLockLimit)) return false;
            if (Updates.empty()) return true;
            update = Updates.front();
            Updates.pop();
        }
        // Below version 48 the settings go out with the next whole write;
        // a queued update is dropped. A parameter number beyond 15 would
        // turn into another command class: dropped as well.
        if (!Ecu::NewProtocol(EcuVersion) || update.Param() > 15) continue;
        uint8_t reply = 0;
        if (!Exchange(WriteCommand(update.Param()), update.Value(), reply)) return false;
    }
}

bool cCommThread::ReadSettings() {
    RaiseLinkEvent(RQ_READ_SETTINGS, Phase::Start, 0);
    const int version = EcuVersion;
    const bool isNew = Ecu::NewProtocol(version);
    if (!ServedWasPosted) {
        // The read the link makes by itself after connecting: whatever was
        // queued before the line was lost was meant for the ECU of then,
        // which may not be the one on the line now. It is dropped; the
        // edits stay in WorkSettings.
        std::unique_lock<std::timed_mutex> lock(QueueLock, std::defer_lock);
        if (!TryLockFor(lock, kQueueLockLimit)) return false;
        Updates = {};
    } else if (isNew && !FlushUpdates()) {
        RaiseBadReply();
        return false;
    }
    const int count = Ecu::ReadCount(version);
    for (int i = 0; i < count; ++i) {
        if (Terminate) return false;
        if (Stop.IsSet()) {
            // Stopped: nothing is copied, and the read is done again.
            ReadCut = true;
            return true;
        }
        uint8_t reply = 0;
        if (!Exchange(ReadCommand(i), 0x00, reply)) return false;
        // IncomingSettings is the link's own receive buffer.
        Ecu::StoreReadParam(IncomingSettings, version, i, reply);
        float progress = isNew ? float(i) * (1.0f / 13) : float(i) / float(count);
        RaiseLinkEvent(RQ_READ_SETTINGS, Phase::Progress, ProgressToValue(progress));
    }
    if (Terminate) return false;
    // A read the link makes by itself after a reconnection keeps the
    // fitter's unsaved edits; the first read, and a read a screen asked for
    // (factory settings, the load dialog), copy the ECU's settings. Kept
    // edits are held: nothing of them goes to the ECU until the fitter says
    // it is the same vehicle (ReleaseHeldEdits).
    const bool automatic = !ServedWasPosted && HaveRead;
    const bool sameEcu = version == ReadVersion && EcuIdVersion == ReadIdVersion;
    eReadOutcome outcome = eReadOutcome::Copied;
    bool otherVehicle = false;
    // One step for the screens: the copies happen on the user-interface thread.
    OnUi([&] {
        // A warning about another vehicle stays while the edits it is about
        // are still held, however often the line drops again: only the
        // fitter's word (store, drop, "same vehicle") ends it.
        const bool warnedBefore = EditsHeld && OtherVehicle;
        otherVehicle = automatic && (!sameEcu || !Ecu::SameVehicle(WorkSettings, EcuSettings, IncomingSettings));
        if (FileOverFirstRead.exchange(false)) {
            // The opened file's settings stay, held, over what the ECU holds.
            otherVehicle = false;
            FileHeld = true;
            outcome = eReadOutcome::KeptEdits;
            EcuSettings = IncomingSettings;
            if (!FileCounts) {
                WorkSettings.CylCount = IncomingSettings.CylCount;
                WorkSettings.CoilCount = IncomingSettings.CoilCount;
            }
        } else if (!automatic || WorkSettings == EcuSettings) {
            WorkSettings = IncomingSettings;
            EcuSettings = IncomingSettings;
        } else if (sameEcu) {
            outcome = eReadOutcome::KeptEdits;
            KeepEditsOverRead(WorkSettings, EcuSettings, IncomingSettings);
        } else {
            // Another ECU: the fitter's edits are kept over its settings, and
            // every other position shows what it holds, never a value of the
            // ECU before. What it holds is all it has stored.
            outcome = eReadOutcome::OtherEcu;
            KeepEditsOverRead(WorkSettings, EcuSettings, IncomingSettings);
            EcuSettings = IncomingSettings;
        }
        // Set in the same step as the records, before any screen can queue
        // an update for them.
        std::lock_guard<std::timed_mutex> lock(QueueLock);
        EditsHeld = outcome != eReadOutcome::Copied;
        StoreAllEdits = EditsHeld.load();
        if (EditsHeld) Updates = {};
        OtherVehicle = otherVehicle || (warnedBefore && EditsHeld);
        if (!EditsHeld) FileHeld = false;
        RecordsRead = true;
    });
    HaveRead = true;
    ReadVersion = version;
    ReadIdVersion = EcuIdVersion;
    ReadOutcome = outcome;
    RaiseLinkEvent(RQ_READ_SETTINGS, Phase::Done, 1);
    return true;
}

bool cCommThread::WriteSettings() {
    RaiseLinkEvent(RQ_WRITE_SETTINGS, Phase::Start, 0);
    const int version = EcuVersion;
    uint8_t reply = 0;

    if (!Ecu::NewProtocol(version)) {
        // The direction rule is applied to the working record itself, and the
        // values are sent from a snapshot taken in the same step.
        sSettings sent;
        OnUi([&] {
            Conv::ApplyTpsDirection(WorkSettings);
            sent = WorkSettings;
        });
        const int count = Ecu::OldWriteCount(version);
        for (int i = 0; i < count; ++i) {
            if (Terminate) return false;
            if (!Exchange(WriteCommand(i), Ecu::OldWriteValue(sent, version, i), reply)) return false;
            RaiseLinkEvent(RQ_WRITE_SETTINGS, Phase::Progress, i);
        }
        RaiseLinkEvent(RQ_WRITE_SETTINGS, Phase::Done, 0);
        if (!Exchange(CMD_STORE, STORE_DATA, reply)) return false;
        if (Terminate) return false;
        // What the ECU now holds is what was sent.
        OnUi([&] {
            EcuSettings = sent;
            EditsHeld = false;
            FileHeld = false;
            OtherVehicle = false;
        });
        RaiseLinkEvent(RQ_WRITE_SETTINGS, Phase::Done, 1);
        return true;
    }

    // New protocol: the single updates have gone out as they were made; the
    // write sends what is still queued and stores. Settings kept over a
    // reconnection may never have gone to this ECU: they are all sent first.
    if (StoreAllEdits) {
        std::vector<sUpdate> all;
        OnUi([&] { all = Ecu::UpdatesBetween(WorkSettings, EcuSettings); });
        std::lock_guard<std::timed_mutex> lock(QueueLock);
        for (const sUpdate& u : all) Updates.push(u);
    }
    if (!FlushUpdates()) {
        RaiseBadReply();
        return false;
    }
    for (int i = 0; i < kNewWriteSteps; ++i) {
        if (Terminate) return false;
        Pause(kNewWriteStepMs, false);
        RaiseLinkEvent(RQ_WRITE_SETTINGS, Phase::Progress, i);
    }
    RaiseLinkEvent(RQ_WRITE_SETTINGS, Phase::Done, 0);
    if (!Exchange(CMD_STORE, STORE_DATA, reply)) return false;
    if (Terminate) return false;
    StoreAllEdits = false;
    OnUi([this] {
        EcuSettings = WorkSettings;
        EditsHeld = false;
        FileHeld = false;
        OtherVehicle = false;
    });
    RaiseLinkEvent(RQ_WRITE_SETTINGS, Phase::Done, 1);
    return true;
}
