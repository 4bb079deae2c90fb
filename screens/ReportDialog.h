// What the fitting report asks for when it is made, in one small dialog:
// the vehicle (plate or VIN) and the fitter's name, and the workshop's name
// and address as zvbasic.ini keeps them (filled in once, changed here when
// needed). Tests replace the dialog through Hook().
#pragma once

#include <functional>

#include <QString>
#include <QStringList>

class QWidget;

struct sReportJob {
    QString Vehicle;
    QString Fitter;
    QString Workshop;
    QStringList Address;  // at most cIni::ReportAddressLines lines
};

namespace ReportDialog {
// When set, called instead of showing the dialog; false for a cancelled one.
using tHook = std::function<bool(sReportJob&)>;
tHook& Hook();

// Asks for the lines, proposing those in `job` (the fitter's name of the last
// report, the workshop of zvbasic.ini); false when cancelled.
bool Run(QWidget* parent, sReportJob& job);
}  // namespace ReportDialog
