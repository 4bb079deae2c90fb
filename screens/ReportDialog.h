// The two lines the fitting report asks for when it is made: the vehicle
// (plate or VIN) and the fitter's name, in one small dialog. Tests replace
// the dialog through Hook().
#pragma once

#include <functional>

#include <QString>

class QWidget;

struct sReportJob {
    QString Vehicle;
    QString Fitter;
};

namespace ReportDialog {
// When set, called instead of showing the dialog; false for a cancelled one.
using tHook = std::function<bool(sReportJob&)>;
tHook& Hook();

// Asks for the lines, proposing those in `job` (the fitter's name of the last
// report); false when cancelled.
bool Run(QWidget* parent, sReportJob& job);
}  // namespace ReportDialog
