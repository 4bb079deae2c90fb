#include "screens/ReportDialog.h"

#include <algorithm>
#include <cmath>

#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/Ini.h"

#include "widgets/Palette.h"

#include "kit/IOForm.h"
#include "kit/QtText.h"

#include "screens/Questions.h"

namespace ReportDialog {

tHook& Hook() {
    static tHook hook;
    return hook;
}

bool Run(QWidget* parent, sReportJob& job) {
    if (Hook()) return Hook()(job);
    QDialog dialog(parent, Qt::Dialog | Qt::FramelessWindowHint);
    dialog.setObjectName(QStringLiteral("ReportDialog"));
    dialog.setWindowTitle(Tr("Fitting report"));
    // The screens' colours: white captions on navy, yellow entries on black;
    // the focus is a yellow frame, as on the screens.
    QPalette pal = dialog.palette();
    pal.setColor(QPalette::Window, Palette::Navy);
    pal.setColor(QPalette::WindowText, Qt::white);
    for (auto role : {QPalette::Base, QPalette::Button}) pal.setColor(role, Qt::black);
    pal.setColor(QPalette::Text, Palette::Yellow);
    pal.setColor(QPalette::ButtonText, Palette::LightOrange);
    pal.setColor(QPalette::Highlight, Palette::DarkRed);
    pal.setColor(QPalette::HighlightedText, Palette::Yellow);
    dialog.setPalette(pal);
    // Text as large as the screens' at the program window's scale.
    const double ratio = cIOForm::DialogRatio();
    QFont font = dialog.font();
    font.setPixelSize(std::max(11, int(std::lround(16 * ratio))));
    dialog.setFont(font);
    // A style sheet replaces the palette for the controls it names: every
    // colour is given here.
    dialog.setStyleSheet(
        QStringLiteral("QWidget { font-size: %1px; }").arg(font.pixelSize()) +
        QStringLiteral(
            "#ReportDialog, #ReportFrame { background: rgb(0,0,128); }"
            "#ReportFrame { border: 2px solid rgb(255,128,0); border-radius: 6px; }"
            "QLabel { color: white; background: transparent; }"
            "QLineEdit, QPlainTextEdit { background: black; color: yellow; border: 1px solid rgb(192,192,192);"
            " selection-background-color: rgb(128,0,0); selection-color: yellow; }"
            "QPushButton { background: black; color: rgb(255,160,66); border: 2px solid rgb(255,128,0);"
            " padding: 4px 16px; }"
            "QPushButton:focus, QLineEdit:focus, QPlainTextEdit:focus { border: 3px solid yellow; }"));
    auto* outer = new QVBoxLayout(&dialog);
    outer->setContentsMargins(0, 0, 0, 0);
    auto* frame = new QFrame(&dialog);
    frame->setObjectName(QStringLiteral("ReportFrame"));
    outer->addWidget(frame);
    auto* column = new QVBoxLayout(frame);
    const int margin = int(std::lround(14 * ratio));
    column->setContentsMargins(margin, margin, margin, margin);
    auto* title = new QLabel(Tr("Fitting report"), frame);
    title->setObjectName(QStringLiteral("TitleLL"));
    QFont titleFont = font;
    titleFont.setBold(true);
    title->setFont(titleFont);
    column->addWidget(title);
    auto* layout = new QFormLayout;
    column->addLayout(layout);
    auto* vehicle = new QLineEdit(job.Vehicle, frame);
    auto* fitter = new QLineEdit(job.Fitter, frame);
    vehicle->setObjectName(QStringLiteral("VehicleED"));
    fitter->setObjectName(QStringLiteral("FitterED"));
    // A line of the page, not a file: long enough for a plate and a VIN.
    vehicle->setMaxLength(80);
    fitter->setMaxLength(80);
    vehicle->setMinimumWidth(int(std::lround(420 * ratio)));
    auto* workshop = new QLineEdit(job.Workshop, frame);
    workshop->setObjectName(QStringLiteral("WorkshopED"));
    workshop->setMaxLength(80);
    auto* address = new QPlainTextEdit(job.Address.join(QLatin1Char('\n')), frame);
    address->setObjectName(QStringLiteral("AddressED"));
    address->setTabChangesFocus(true);
    address->setFixedHeight(QFontMetrics(font).lineSpacing() * int(cIni::ReportAddressLines) + 12);
    layout->addRow(Tr("Vehicle (plate, VIN):"), vehicle);
    layout->addRow(Tr("Fitter:"), fitter);
    layout->addRow(Tr("Workshop:"), workshop);
    layout->addRow(Tr("Address:"), address);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, frame);
    buttons->button(QDialogButtonBox::Ok)->setText(Tr("Save report..."));
    buttons->button(QDialogButtonBox::Cancel)->setText(Tr("Cancel"));
    column->addWidget(buttons);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, [&] {
        // The vehicle is what the customer's paper is about: a report
        // without it is made only when the fitter says so.
        if (vehicle->text().simplified().isEmpty() &&
            !Ask(Tr("No vehicle is given (plate, VIN).\nMake the report without it?"), false)) {
            vehicle->setFocus();
            return;
        }
        dialog.accept();
    });
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    dialog.adjustSize();
    // Centred on the program's window, as its other dialogs are.
    dialog.move(cIOForm::DialogPosition(dialog.size()));
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
