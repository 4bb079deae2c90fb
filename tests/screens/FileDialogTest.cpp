// The real file dialog of the screens: Qt's own dialog, the default extension
// added to a typed name, and the overwrite question only where it is asked for.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QFileDialog>
#include <QAbstractButton>
#include <QMessageBox>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <functional>

#include "screens/FileDialog.h"
#include "tests/TestKit.h"

namespace fs = std::filesystem;

namespace {

// Runs `act` on each modal window that comes up, in turn, until it returns false.
void OnModal(std::function<bool(QWidget*)> act) {
    auto* timer = new QTimer(qApp);
    timer->setInterval(10);
    auto last = std::make_shared<QWidget*>(nullptr);
    QObject::connect(timer, &QTimer::timeout, [timer, act, last] {
        QWidget* w = QApplication::activeModalWidget();
        if (!w || w == *last || !w->isVisible()) return;
        *last = w;
        if (!act(w)) {
            timer->stop();
            timer->deleteLater();
        }
    });
    timer->start();
}

// Accepts the dialog from the event loop, so that a question it opens does
// not block the watcher.
void Accept(QFileDialog* d) {
    QTimer::singleShot(0, d, [d] { static_cast<QDialog*>(d)->accept(); });
}

using sTempDir = testkit::cTempDir;

sFileDialogRequest VehicleSave() {
    sFileDialogRequest request;
    request.Save = true;
    request.Filter = QStringLiteral("Vehicle settings .zv2 (*.zv2)");
    request.DefaultSuffix = QStringLiteral("zv2");
    request.ProposedName = QStringLiteral("vehicle");
    request.ConfirmOverwrite = true;
    return request;
}

}  // namespace

TEST(FileDialog, SaveAddsTheExtensionToTheProposedName) {
    sTempDir dir;
    QStringList filters;
    bool nonNative = false;
    OnModal([&](QWidget* w) {
        auto* d = qobject_cast<QFileDialog*>(w);
        if (!d) return true;
        filters = d->nameFilters();
        nonNative = d->testOption(QFileDialog::DontUseNativeDialog);
        d->setDirectory(QString::fromStdString(dir.Path.string()));
        d->selectFile(QStringLiteral("vehicle"));
        Accept(d);
        return false;
    });
    const QString path = FileDialog::Run(nullptr, VehicleSave());
    EXPECT_EQ(path.toStdString(), (dir.Path / "vehicle.zv2").string());
    EXPECT_EQ(filters, QStringList{QStringLiteral("Vehicle settings .zv2 (*.zv2)")});
    EXPECT_TRUE(nonNative);
}

TEST(FileDialog, OverwriteIsAskedOnlyWhenWanted) {
    sTempDir dir;
    const fs::path existing = dir.Path / "vehicle.zv2";
    std::ofstream(existing) << "1\r\n";
    const QString folder = QString::fromStdString(dir.Path.string());

    // Vehicle file: the question comes; "No" keeps the dialog, which is then cancelled.
    int questions = 0;
    OnModal([&](QWidget* w) {
        if (auto* box = qobject_cast<QMessageBox*>(w)) {
            ++questions;
            box->button(QMessageBox::No) ? box->button(QMessageBox::No)->click() : box->reject();
            return true;
        }
        auto* d = qobject_cast<QFileDialog*>(w);
        if (!d) return true;
        if (questions == 0) {  // first round: choose the existing file
            d->setDirectory(folder);
            d->selectFile(QStringLiteral("vehicle"));
            Accept(d);
            return true;
        }
        d->reject();  // still up after the refused overwrite: cancel it
        return false;
    });
    EXPECT_TRUE(FileDialog::Run(nullptr, VehicleSave()).isEmpty());
    EXPECT_EQ(questions, 1);

    // Capture file: replaced without a question.
    sFileDialogRequest capture;
    capture.Save = true;
    capture.Filter = QStringLiteral("Data files *.dat (*.dat)");
    capture.DefaultSuffix = QStringLiteral("dat");
    capture.ProposedName = QStringLiteral("capture");
    std::ofstream(dir.Path / "capture.dat") << "old";
    questions = 0;
    OnModal([&](QWidget* w) {
        if (qobject_cast<QMessageBox*>(w)) {
            ++questions;
            static_cast<QDialog*>(w)->reject();
            return true;
        }
        auto* d = qobject_cast<QFileDialog*>(w);
        if (!d) return true;
        d->setDirectory(folder);
        d->selectFile(QStringLiteral("capture"));
        Accept(d);
        return false;
    });
    EXPECT_EQ(FileDialog::Run(nullptr, capture).toStdString(), (dir.Path / "capture.dat").string());
    EXPECT_EQ(questions, 0);
}
