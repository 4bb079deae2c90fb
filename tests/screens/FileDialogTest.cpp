// The real file dialog of the screens: Qt's own dialog, the default extension
// added to a typed name, and the overwrite question only where it is asked for.
#include <gtest/gtest.h>

#include <unistd.h>

#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <thread>

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QMessageBox>
#include <QMimeDatabase>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>

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

// Ends the test program with a message when it is not disarmed (destroyed)
// within the given time: a hang fails the run instead of stalling it.
class cWatchdog {
public:
    cWatchdog(int seconds, const char* what)
        : Thread([this, seconds, what] {
              std::unique_lock<std::mutex> lock(Mutex);
              if (!Wake.wait_for(lock, std::chrono::seconds(seconds), [this] { return Done; })) {
                  std::fprintf(stderr, "watchdog: %s did not return\n", what);
                  std::_Exit(3);
              }
          }) {}
    ~cWatchdog() {
        {
            std::lock_guard<std::mutex> lock(Mutex);
            Done = true;
        }
        Wake.notify_all();
        Thread.join();
    }

private:
    std::mutex Mutex;
    std::condition_variable Wake;
    bool Done = false;
    std::thread Thread;
};

bool Pump(const std::function<bool()>& until, int ms) {
    QElapsedTimer t;
    t.start();
    while (!until()) {
        if (t.elapsed() > ms) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
    return true;
}

// Sends the dialog to a folder and waits until its model has listed it.
bool ListFolder(QFileDialog* d, QFileSystemModel* model, const QString& folder) {
    bool loaded = false;
    auto c = QObject::connect(model, &QFileSystemModel::directoryLoaded,
                              [&](const QString& path) { loaded = loaded || path == folder; });
    d->setDirectory(folder);
    const bool ok = Pump([&] { return loaded; }, 30000);
    QObject::disconnect(c);
    return ok;
}

}  // namespace

TEST(FileDialog, TypesComeFromNamesNeverFromContents) {
    sTempDir dir;
    // Files whose names say nothing and whose first bytes say PDF and PNG.
    const std::string pdf = "%PDF-1.4\n%\xe2\xe3\xcf\xd3\n1 0 obj\n<< /Type /Catalog >>\nendobj\n";
    const std::string png = std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16);
    std::ofstream(dir.Path / "notes", std::ios::binary) << pdf;
    std::ofstream(dir.Path / "picture", std::ios::binary) << png;
    const QMimeDatabase mime;
    const QString pdfType = mime.mimeTypeForData(QByteArray::fromStdString(pdf)).comment();
    const QString pngType = mime.mimeTypeForData(QByteArray::fromStdString(png)).comment();
    ASSERT_NE(pdfType, mime.mimeTypeForName(QStringLiteral("application/octet-stream")).comment());

    sFileDialogRequest request;
    request.Filter = QStringLiteral("All (*)");
    request.Folder = QString::fromStdString(dir.Path.string());
    QString notesType, pictureType;
    bool listed = false;
    OnModal([&](QWidget* w) {
        auto* d = qobject_cast<QFileDialog*>(w);
        if (!d) return true;
        auto* model = d->findChild<QFileSystemModel*>();
        if (model) {
            // Both the listing in the background and a path looked up at once
            // (as when a name is typed) give a type.
            listed = Pump([&] { return model->rowCount(model->index(request.Folder)) >= 2; }, 20000);
            notesType = model->type(model->index(request.Folder + QStringLiteral("/notes")));
            pictureType = model->type(model->index(request.Folder + QStringLiteral("/picture")));
        }
        d->reject();
        return false;
    });
    EXPECT_TRUE(FileDialog::Run(nullptr, request).isEmpty());
    EXPECT_TRUE(listed);
    EXPECT_FALSE(notesType.isEmpty());
    EXPECT_NE(notesType.toStdString(), pdfType.toStdString());
    EXPECT_NE(pictureType.toStdString(), pngType.toStdString());
}

// /proc/kmsg is a regular file whose reader waits for the next kernel message;
// /dev holds devices. Listing both, and looking a path up at once, must not
// wait on any of them, nor must closing the dialog.
TEST(FileDialog, ListsProcAndDevWithoutWaitingOnAnyFile) {
    cWatchdog watchdog(120, "the file dialog on /proc and /dev");
    bool dev = false, proc = false;
    QString kmsgType;
    OnModal([&](QWidget* w) {
        auto* d = qobject_cast<QFileDialog*>(w);
        if (!d) return true;
        if (auto* model = d->findChild<QFileSystemModel*>()) {
            dev = ListFolder(d, model, QStringLiteral("/dev"));
            proc = ListFolder(d, model, QStringLiteral("/proc"));
            kmsgType = model->type(model->index(QStringLiteral("/proc/kmsg")));
            model->type(model->index(QStringLiteral("/proc/self/pagemap")));
        }
        d->reject();
        return false;
    });
    sFileDialogRequest request;
    request.Filter = QStringLiteral("All (*)");
    EXPECT_TRUE(FileDialog::Run(nullptr, request).isEmpty());
    EXPECT_TRUE(dev);
    EXPECT_TRUE(proc);
    if (std::filesystem::exists("/proc/kmsg")) {
        EXPECT_FALSE(kmsgType.isEmpty());
    }
}

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

// The side bar of the dialog for `request`, as it opens (then cancelled).
static QList<QUrl> SidebarOf(const sFileDialogRequest& request) {
    QList<QUrl> urls;
    OnModal([&](QWidget* w) {
        auto* d = qobject_cast<QFileDialog*>(w);
        if (!d) return true;
        urls = d->sidebarUrls();
        d->reject();
        return false;
    });
    FileDialog::Run(nullptr, request);
    return urls;
}

// Qt keeps the side bar of the last dialog in its shared settings: a dialog
// without places of its own (the capture's) opened after one with them (the
// load dialog's backups) lists only the usual places, and the load dialog
// its own place again (shown under its own name by the side bar's delegate).
TEST(FileDialog, EachDialogListsItsOwnPlaces) {
    sTempDir dir;
    const QString backups = QString::fromStdString((dir.Path / "backups").string());
    sFileDialogRequest load;
    load.Places.push_back({QStringLiteral("ECU backups"), backups});
    const sFileDialogRequest capture;
    const struct {
        const sFileDialogRequest& Request;
        bool ListsBackups;
    } rounds[] = {{load, true}, {capture, false}, {load, true}};
    for (const auto& round : rounds) {
        const QList<QUrl> urls = SidebarOf(round.Request);
        EXPECT_EQ(urls.contains(QUrl::fromLocalFile(backups)), round.ListsBackups);
        EXPECT_TRUE(urls.contains(QUrl::fromLocalFile(QDir::homePath())));
    }
    EXPECT_EQ(FileDialog::PlaceName(backups), QStringLiteral("ECU backups"));
}

// A dialog opens in its own folder, else in one the fitter used or keeps
// files in, never in the program's working folder (on Windows the program's
// own folder, under Program Files); Documents is among the places.
TEST(FileDialog, OpensWhereTheFitterKeepsFiles) {
    sTempDir dir;
    const QString own = QString::fromStdString((dir.Path / "own").string());
    const QString working = QString::fromStdString((dir.Path / "program").string());
    QDir().mkpath(own);
    QDir().mkpath(working);
    const QString before = QDir::currentPath();
    QDir::setCurrent(working);
    sFileDialogRequest request;
    request.Folder = own;
    EXPECT_EQ(FileDialog::StartFolder(request), own);
    for (const QString& folder : {QString(), QString::fromStdString((dir.Path / "gone").string())}) {
        request.Folder = folder;
        const QString start = FileDialog::StartFolder(request);
        EXPECT_NE(QDir::cleanPath(start), QDir::cleanPath(working)) << folder.toStdString();
        EXPECT_TRUE(QDir(start).exists()) << start.toStdString();
    }
    QDir::setCurrent(before);

    // A home of the test's own, with its Documents.
    const testkit::cScopedEnv home("HOME", (dir.Path / "home").string());
    const testkit::cScopedEnv config("XDG_CONFIG_HOME", (dir.Path / "home" / ".config").string());
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    ASSERT_FALSE(documents.isEmpty());
    QDir().mkpath(documents);
    const QList<QUrl> urls = SidebarOf(sFileDialogRequest{});
    EXPECT_TRUE(urls.contains(QUrl::fromLocalFile(documents))) << documents.toStdString();
}
