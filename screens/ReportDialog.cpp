#include "screens/ReportDialog.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "kit/QtText.h"

namespace ReportDialog {

tHook& Hook() {
    static tHook hook;
    return hook;
}

bool Run(QWidget* parent, sReportJob& job) {
    if (Hook()) return Hook()(job);
    QDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("ReportDialog"));
    dialog.setWindowTitle(Tr("Fitting report"));
    auto* layout = new QFormLayout(&dialog);
    auto* vehicle = new QLineEdit(job.Vehicle, &dialog);
    auto* fitter = new QLineEdit(job.Fitter, &dialog);
    vehicle->setObjectName(QStringLiteral("VehicleED"));
    fitter->setObjectName(QStringLiteral("FitterED"));
    // A line of the page, not a file: long enough for a plate and a VIN.
    vehicle->setMaxLength(80);
    fitter->setMaxLength(80);
    vehicle->setMinimumWidth(320);
    layout->addRow(Tr("Vehicle (plate, VIN):"), vehicle);
    layout->addRow(Tr("Fitter:"), fitter);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    buttons->button(QDialogButtonBox::Ok)->setText(Tr("Save report..."));
    buttons->button(QDialogButtonBox::Cancel)->setText(Tr("Cancel"));
    layout->addRow(buttons);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    vehicle->setFocus();
    if (dialog.exec() != QDialog::Accepted) return false;
    job.Vehicle = vehicle->text().simplified();
    job.Fitter = fitter->text().simplified();
    return true;
}

}  // namespace ReportDialog
