// The data transfer screen: vehicle settings files to and from the working
// settings, storing the settings in the ECU, restoring the ECU's factory
// settings, and the fitting report of the job.
#pragma once

#include "kit/IOForm.h"

class QLabel;
class cShadowButton;
class cVerticalLabel;

class TDataExForm : public cIOForm {
    Q_OBJECT
public:
    explicit TDataExForm(QWidget* parent = nullptr);
    // Says when unsaved settings were kept over a reconnection, or the ECU
    // looks like another vehicle's (SettingsStateChanged).
    QLabel* KeptLL;
    void ShowKeptNotice(const QString& text);

    void Retranslate() override;
    void FormShow() override;
    void LinkIdle(bool idle) override;
    void LinkEvent() override;

    void LoadFromFileBtnClick();
    // The vehicle file the program was started with, loaded as Load loads
    // one (the same questions, a file that cannot be read said plainly), but
    // held: nothing of it goes to the ECU until the fitter stores it (Store
    // in ECU asks first). False when nothing was loaded.
    bool OpenFile(const QString& path);
    void SaveToFileBtnClick();
    void SaveToECUBtnClick();
    void LoadFromECUBtnClick();
    // Drops the unsaved settings (kept over a reconnection or not) for the
    // ECU's, after a question (No by default).
    void TakeEcuBtnClick();
    // The fitting report as PDF: the settings of the first read since the
    // program connected to this ECU against those it holds now; offline,
    // two vehicle files chosen by the fitter.
    void ReportBtnClick();

    cVerticalLabel* VrLabel1;
    QWidget* Image1;
    cShadowButton* LoadFromFileBtn;
    cShadowButton* SaveToFileBtn;
    cShadowButton* SaveToECUBtn;
    cShadowButton* LoadFromECUBtn;
    cShadowButton* TakeEcuBtn;
    cShadowButton* ReportBtn;
    cShadowButton* ExitBtn;

protected:
    void showEvent(QShowEvent* event) override;

    // The question Factory Settings asks first; it names the backup of the
    // ECU's settings when there is one.
    QString FactoryQuestion() const;

private:
    bool LoadFile(const QString& path, bool opened);
    void ShowTitle();
    int Version() const;
    QString LastFitter;    // proposed for the next report
    QString ReportFolder;  // where the last report was saved
    QString OpenedName;    // the file the program was started with
};
