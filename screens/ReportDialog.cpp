#include "screens/ReportDialog.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include "core/Ini.h"

#include "widgets/Palette.h"

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
    // The screens' colours: white captions on navy, yellow entries on black.
    QPalette pal = dialog.palette();
    pal.setColor(QPalette::Window, Palette::Navy);
    pal.setColor(QPalette::WindowText, Qt::white);
    for (auto role : {QPalette::Base, QPalette::Button}) pal.setColor(role, Qt::black);
    pal.setColor(QPalette::Text, Palette::Yellow);
    pal.setColor(QPalette::ButtonText, Palette::LightOrange);
    pal.setColor(QPalette::Highlight, Palette::DarkRed);
    pal.setColor(QPalette::HighlightedText, Palette::Yellow);
    dialog.setPalette(pal);
    auto* layout = new QFormLayout(&dialog);
    auto* vehicle = new QLineEdit(job.Vehicle, &dialog);
    auto* fitter = new QLineEdit(job.Fitter, &dialog);
    vehicle->setObjectName(QStringLiteral("VehicleED"));
    fitter->setObjectName(QStringLiteral("FitterED"));
    // A line of the page, not a file: long enough for a plate and a VIN.
    vehicle->setMaxLength(80);
    fitter->setMaxLength(80);
    vehicle->setMinimumWidth(320);
    auto* workshop = new QLineEdit(job.Workshop, &dialog);
    workshop->setObjectName(QStringLiteral("WorkshopED"));
    workshop->setMaxLength(80);
    auto* address = new QPlainTextEdit(job.Address.join(QLatin1Char('\n')), &dialog);
    address->setObjectName(QStringLiteral("AddressED"));
    address->setTabChangesFocus(true);
    address->setFixedHeight(address->fontMetrics().lineSpacing() * int(cIni::ReportAddressLines) + 12);
    layout->addRow(Tr("Vehicle (plate, VIN):"), vehicle);
    layout->addRow(Tr("Fitter:"), fitter);
    layout->addRow(Tr("Workshop:"), workshop);
    layout->addRow(Tr("Address:"), address);
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
    job.Workshop = workshop->text().simplified();
    job.Address.clear();
    for (const QString& line : address->toPlainText().split(QLatin1Char('\n'))) {
        const QString plain = line.simplified();
        if (!plain.isEmpty() && job.Address.size() < int(cIni::ReportAddressLines)) job.Address << plain;
    }
    return true;
}

}  // namespace ReportDialog
