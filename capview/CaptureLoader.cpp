#include "capview/CaptureLoader.h"

#include <cerrno>

cCaptureLoader::cCaptureLoader(tLoaded loaded, tFollowed followed, QObject* parent)
    : QObject(parent),
      OnLoaded(std::move(loaded)),
      OnFollowed(std::move(followed)) {}

cCaptureLoader::~cCaptureLoader() { Stop(); }

void cCaptureLoader::Stop() {
    CancelRequested = true;
    if (Worker.joinable()) Worker.join();
    if (FollowWorker.joinable()) FollowWorker.join();
}

bool cCaptureLoader::Load(const std::string& path) {
    if (Worker.joinable()) return false;
    Done = 0;
    Total = 0;
    CancelRequested = false;
    const uint64_t job = ++LoadJob;
    auto capture = std::make_shared<Capture::sLoadedCapture>();
    Worker = std::thread([this, job, capture, path] {
        try {
            capture->Load(path, [this](uint64_t done, uint64_t total) {
                Done = done;
                Total = total;
                return !CancelRequested.load();
            });
        } catch (...) {
            // Nothing of a failed reading is shown.
            capture->Data.Clear();
            capture->Index();
            capture->Result = {Capture::eReadStatus::ReadError, EIO};
        }
        QMetaObject::invokeMethod(
            this, [this, job, capture] { Loaded(job, capture); }, Qt::QueuedConnection);
    });
    return true;
}

void cCaptureLoader::Loaded(uint64_t job, std::shared_ptr<Capture::sLoadedCapture> capture) {
    if (job == LoadJob && Worker.joinable()) Worker.join();
    if (OnLoaded) OnLoaded(std::move(capture));
}

bool cCaptureLoader::Follow(std::shared_ptr<const Capture::sLoadedCapture> before) {
    if (FollowRunning || !before) return false;
    if (FollowWorker.joinable()) FollowWorker.join();
    FollowRunning = true;
    const uint64_t job = ++FollowJob;
    FollowWorker = std::thread([this, job, before] {
        std::shared_ptr<Capture::sLoadedCapture> after;
        bool failed = false;
        try {
            if (Capture::CaptureFileMayHaveChanged(before->Path, before->Data)) {
                after = std::make_shared<Capture::sLoadedCapture>();
                after->Path = before->Path;
                after->Data = before->Data;
                after->Result = before->Result;
                bool restarted = false;
                const Capture::sReadResult r = Capture::ReadMoreOfCaptureFile(after->Path, after->Data, restarted);
                if (r.Status != Capture::eReadStatus::Ok) {
                    failed = true;
                    after.reset();
                } else {
                    after->Index();
                }
            }
        } catch (...) {
            failed = true;
            after.reset();
        }
        QMetaObject::invokeMethod(
            this, [this, job, before, after, failed] { Followed(job, before, after, failed); }, Qt::QueuedConnection);
    });
    return true;
}

void cCaptureLoader::Followed(uint64_t job, std::shared_ptr<const Capture::sLoadedCapture> before,
                              std::shared_ptr<Capture::sLoadedCapture> after, bool failed) {
    if (job == FollowJob) {
        if (FollowWorker.joinable()) FollowWorker.join();
        FollowRunning = false;
    }
    if (OnFollowed) OnFollowed(std::move(before), std::move(after), failed);
}
