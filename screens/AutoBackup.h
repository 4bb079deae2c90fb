// The windowed program's automatic backups: after every completed settings
// read the values read, and after every completed store the values stored, go into a vehicle file of their own in the backup
// folder (core/Backup.h). The link's notification only hands a copy of the
// values to a writer thread and returns; the file is written there, so
// neither the link nor the screens wait for the disk. The outcome comes back
// on the user-interface thread.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include <QObject>
#include <QString>

#include "core/Backup.h"

#include "link/LinkListener.h"

class cAutoBackup : public QObject, public cLinkListener {
    Q_OBJECT
public:
    // `folder`: where the backups go (the program passes Backup::Folder()).
    explicit cAutoBackup(std::string folder, QObject* parent = nullptr);
    ~cAutoBackup() override;  // finishes the backups handed over

    // The one made by start-up, or null (tests, zvbasic-cli).
    static cAutoBackup* Instance();

    const std::string& Folder() const { return BackupFolder; }

    // The backup that holds the settings of the last completed read or store
    // (a new file or the newest one with the same values) and the ECU
    // identity it belongs to; empty while there is none, and while that
    // backup is still being written.
    QString LatestPath() const { return Latest; }
    QString LatestIdentity() const { return LatestId; }

    // The backup of the first read since the program connected to this ECU
    // (the state before the fitter's work, for the fitting report) and its
    // identity; empty while there is none or it is still being written, and
    // when it could not be written. A reconnection to the same ECU keeps it;
    // an ECU of another identity, or one whose first read holds other
    // settings than the last backed up (the cable on the next car), starts
    // anew.
    QString FirstPath() const { return First; }
    QString FirstIdentity() const { return FirstId; }

    // Called on the user-interface thread with the reason of the first
    // backup of the run that could not be written; later failures are not
    // told again.
    std::function<void(const QString&)> OnFailure;
    int Failures() const { return FailureCount; }
    int Done() const { return DoneCount; }

    // Waits until every backup handed over has been written (tests).
    void Flush();

    void LinkEvent() override;

private:
    void Finished(const Backup::sJob& job, const Backup::sResult& result);

    std::string BackupFolder;
    int IdVersion = 0;
    int Version = 0;
    QString Latest;
    QString LatestId;
    QString First;
    QString FirstId;
    int FirstJob = 0;           // SubmitCount of the first backup's job; 0: none
    bool AwaitingFirst = true;  // the next completed read is the first since identifying
    std::string LastContents;   // the last settings handed over
    int FailureCount = 0;
    int DoneCount = 0;
    int SubmitCount = 0;
    std::unique_ptr<Backup::cWriter> Writer;
};
