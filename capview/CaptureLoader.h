// Reads capture files for the viewer away from its window's thread: a whole
// file (with its progress, cancellable), or what the shown file has gained
// since it was read (following a file still being recorded). One reading of
// each kind at a time. The results are handed over on the loader's own
// thread, from its event loop; the loader owns its two worker threads and
// joins them before it is gone.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include <QObject>

#include "analysis/LoadedCapture.h"

class cCaptureLoader : public QObject {
public:
    // A whole file read: its records, or what reading gave (a file that
    // could not be opened, a reading cancelled or broken off).
    using tLoaded = std::function<void(std::shared_ptr<Capture::sLoadedCapture> capture)>;
    // A follow read of `before`: `after` is a new capture with what the file
    // gained (null when it had not changed); `failed` when the file could not
    // be read any more.
    using tFollowed = std::function<void(std::shared_ptr<const Capture::sLoadedCapture> before,
                                         std::shared_ptr<Capture::sLoadedCapture> after, bool failed)>;

    cCaptureLoader(tLoaded loaded, tFollowed followed, QObject* parent = nullptr);
    ~cCaptureLoader() override;  // stops

    // Starts reading the file at `path`; false while a reading is under way.
    bool Load(const std::string& path);
    // From Load until the result was handed over (or Stop).
    bool Loading() const { return Worker.joinable(); }
    // The reading under way ends at its next step, handed over as cancelled.
    void Cancel() { CancelRequested = true; }
    // Bytes read so far of the file being read, and its size.
    uint64_t BytesDone() const { return Done; }
    uint64_t BytesTotal() const { return Total; }

    // Reads what the file of `before` has gained, into a copy (`before`
    // stays as it is while it is painted); false while a follow read is
    // under way.
    bool Follow(std::shared_ptr<const Capture::sLoadedCapture> before);
    bool FollowBusy() const { return FollowRunning; }

    // Cancels the reading and waits for both workers. A result they had
    // finished is still handed over from the event loop, unless the loader
    // is destroyed first.
    void Stop();

private:
    void Loaded(uint64_t job, std::shared_ptr<Capture::sLoadedCapture> capture);
    void Followed(uint64_t job, std::shared_ptr<const Capture::sLoadedCapture> before,
                  std::shared_ptr<Capture::sLoadedCapture> after, bool failed);

    tLoaded OnLoaded;
    tFollowed OnFollowed;
    // Counted per start, so that a result handed over late (after Stop)
    // never joins the worker of a later start.
    uint64_t LoadJob = 0, FollowJob = 0;
    std::thread Worker;
    std::atomic<uint64_t> Done{0}, Total{0};
    std::atomic<bool> CancelRequested{false};
    std::thread FollowWorker;
    bool FollowRunning = false;
};
