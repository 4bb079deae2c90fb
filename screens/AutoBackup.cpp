#include "screens/AutoBackup.h"

#include <ctime>

#include "link/Settings.h"

#include "formats/VehicleFile.h"

namespace {
cAutoBackup* TheInstance = nullptr;
}

cAutoBackup::cAutoBackup(std::string folder, QObject* parent) : QObject(parent), BackupFolder(std::move(folder)) {
    Writer = std::make_unique<Backup::cWriter>(
        [this](const Backup::sJob& job, const Backup::sResult& result) {
            // On the writer thread: the outcome goes to the user-interface thread.
            QMetaObject::invokeMethod(
                this, [this, job, result] { Finished(job, result); }, Qt::QueuedConnection);
        },
        VehicleFile::IsWhole);
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
        AwaitingFirst = true;
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
    const std::string identity = Ecu::VersionCaption(IdVersion, Version);
    std::string contents = VehicleFile::Format(held);
    if (LinkRequest == RQ_READ_SETTINGS && AwaitingFirst) {
        AwaitingFirst = false;
        // The same ECU back on the line holds what was last backed up; any
        // other is another car (or the first one).
        if (FirstJob == 0 || identity != FirstId.toStdString() || contents != LastContents) {
            FirstJob = SubmitCount;
            First.clear();
            FirstId = QString::fromStdString(identity);
        }
    }
    LastContents = contents;
    Writer->Submit({BackupFolder, identity, std::move(contents), std::time(nullptr)});
}

void cAutoBackup::Finished(const Backup::sJob& job, const Backup::sResult& result) {
    ++DoneCount;
    // An older backup than the newest handed over holds settings the ECU
    // may no longer have.
    const bool newest = DoneCount == SubmitCount;
    if (DoneCount == FirstJob && result.Outcome != Backup::eOutcome::Failed)
        First = QString::fromStdString(result.Path);
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
