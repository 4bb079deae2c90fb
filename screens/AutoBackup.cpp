#include "screens/AutoBackup.h"

#include <ctime>

#include "link/Settings.h"

#include "formats/VehicleFile.h"

namespace {
cAutoBackup* TheInstance = nullptr;
}

cAutoBackup::cAutoBackup(std::string folder, QObject* parent) : QObject(parent), BackupFolder(std::move(folder)) {
    Writer = std::make_unique<Backup::cWriter>([this](const Backup::sJob& job, const Backup::sResult& result) {
        // On the writer thread: the outcome goes to the user-interface thread.
        QMetaObject::invokeMethod(
            this, [this, job, result] { Finished(job, result); }, Qt::QueuedConnection);
    });
    if (!TheInstance) TheInstance = this;
}

cAutoBackup::~cAutoBackup() {
    Writer.reset();  // what is handed over is written; its outcomes are dropped with this object
    if (TheInstance == this) TheInstance = nullptr;
}

cAutoBackup* cAutoBackup::Instance() { return TheInstance; }

void cAutoBackup::Flush() {
    if (Writer) Writer->Flush();
}

void cAutoBackup::LinkEvent() {
    if (LinkRequest == RQ_IDENTIFY) {
        if (LinkPhase == Phase::IdVersion) IdVersion = LinkValue & 0xFF;
        else if (LinkPhase == Phase::Version) Version = LinkValue & 0xFF;
        return;
    }
    if ((LinkRequest != RQ_READ_SETTINGS && LinkRequest != RQ_WRITE_SETTINGS) || LinkPhase != Phase::Done ||
        LinkValue != 1)
        return;
    // A read has just copied what it read into IncomingSettings; a store has
    // just made EcuSettings what the ECU now holds. Only a copy leaves the
    // notification.
    const sSettings& held = LinkRequest == RQ_READ_SETTINGS ? IncomingSettings : EcuSettings;
    // Until this one is written no backup holds the ECU's present settings.
    Latest.clear();
    LatestId.clear();
    ++SubmitCount;
    Writer->Submit(
        {BackupFolder, Ecu::VersionCaption(IdVersion, Version), VehicleFile::Format(held), std::time(nullptr)});
}

void cAutoBackup::Finished(const Backup::sJob& job, const Backup::sResult& result) {
    ++DoneCount;
    // An older backup than the newest handed over holds settings the ECU
    // may no longer have.
    const bool newest = DoneCount == SubmitCount;
    if (result.Outcome == Backup::eOutcome::Failed) {
        Latest.clear();
        LatestId.clear();
        if (++FailureCount == 1 && OnFailure) OnFailure(QString::fromStdString(result.Error));
        return;
    }
    if (!newest) return;
    Latest = QString::fromStdString(result.Path);
    LatestId = QString::fromStdString(job.Identity);
}
