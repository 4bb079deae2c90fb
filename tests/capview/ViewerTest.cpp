// The viewer's window and command line on the offscreen platform.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QImage>
#include <QKeyEvent>
#include <QMimeData>
#include <QUrl>
#include <QProcess>
#include <filesystem>
#include <fstream>

#include "capview/PlotView.h"
#include "capview/ViewerForm.h"
#include "screens/CaptureFile.h"

namespace fs = std::filesystem;

namespace {

fs::path TempDir() {
    fs::path d = fs::temp_directory_path() / ("zvview_" + std::to_string(::getpid()));
    fs::create_directories(d);
    return d;
}

// A capture through the program's own writer: a ramp on every column.
fs::path MakeCapture(const std::string& name, int records, const std::string& tail = "") {
    const fs::path p = TempDir() / name;
    {
        cCaptureFile f;
        f.Open(p.string());
        for (int i = 0; i < records; ++i)
            f.WriteRecord({float((i % 256) / 51.0), float((i % 52) / 51.0), 800 + i % 5000, i % 256});
    }
    std::ofstream(p, std::ios::app | std::ios::binary) << tail;
    return p;
}

bool WaitLoaded(TViewerForm& f, int count, int ms = 20000) {
    QElapsedTimer t;
    t.start();
    while (int(f.Captures().size()) < count || f.IsLoading()) {
        if (t.elapsed() > ms) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    QApplication::processEvents();
    return true;
}

void Key(QWidget* w, int key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    QKeyEvent press(QEvent::KeyPress, key, mods);
    QApplication::sendEvent(w, &press);
}

QString BinDir() {
    // The program is built beside the test.
    const char* dir = std::getenv("ZV_BIN_DIR");
    return dir ? QString::fromLocal8Bit(dir) : QCoreApplication::applicationDirPath();
}

}  // namespace

TEST(Viewer, ShowsGoodRecordsAndCountsSkippedLines) {
    const fs::path p = MakeCapture("bad.dat", 500, "not a record\r\n\x01\x02\x03\r\n\"1.0\",\"2.0\",\"3");
    TViewerForm f;
    f.resize(1200, 800);
    f.OpenFiles({QString::fromStdString(p.string())});
    ASSERT_TRUE(WaitLoaded(f, 1));
    ASSERT_EQ(f.Captures()[0]->Records(), 500u);
    EXPECT_TRUE(f.StatusText().contains(QStringLiteral("3 lines skipped"))) << f.StatusText().toStdString();
    EXPECT_TRUE(f.StatusText().contains(QStringLiteral("500 records"))) << f.StatusText().toStdString();
}

TEST(Viewer, DroppedFilesAreOpened) {
    const fs::path p = MakeCapture("dropped.dat", 40);
    TViewerForm f;
    f.resize(1000, 700);
    f.show();
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(p.string())), QUrl(QStringLiteral("https://example.org/x.dat"))});
    const QPointF at(300, 300);
    QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&f, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&f, &drop);
    ASSERT_TRUE(WaitLoaded(f, 1));
    EXPECT_EQ(f.Captures().size(), 1u);  // the remote address is not a file
    EXPECT_EQ(f.Captures()[0]->Records(), 40u);
}

TEST(Viewer, MissingFileIsReportedAndNothingIsAdded) {
    TViewerForm f;
    f.OpenFiles({QStringLiteral("/nonexistent-zv/none.dat")});
    QElapsedTimer t;
    t.start();
    while (f.IsLoading() && t.elapsed() < 5000) QApplication::processEvents(QEventLoop::AllEvents, 20);
    QApplication::processEvents();
    EXPECT_TRUE(f.Captures().empty());
    EXPECT_TRUE(f.StatusText().contains(QStringLiteral("none.dat"))) << f.StatusText().toStdString();
}

TEST(Viewer, KeysZoomPanAndShowAll) {
    const fs::path p = MakeCapture("keys.dat", 10000);
    TViewerForm f;
    f.resize(1200, 800);
    f.show();
    f.OpenFiles({QString::fromStdString(p.string())});
    ASSERT_TRUE(WaitLoaded(f, 1));
    cPlotView* v = f.Plot();
    EXPECT_DOUBLE_EQ(v->Scene().View.First, 0);
    EXPECT_DOUBLE_EQ(v->Scene().View.Span, 10000);
    Key(v, Qt::Key_Plus);
    EXPECT_DOUBLE_EQ(v->Scene().View.Span, 5000);
    EXPECT_DOUBLE_EQ(v->Scene().View.First, 2500);  // around the middle
    Key(v, Qt::Key_Right);
    EXPECT_DOUBLE_EQ(v->Scene().View.First, 3000);
    Key(v, Qt::Key_Left);
    Key(v, Qt::Key_Left);
    EXPECT_DOUBLE_EQ(v->Scene().View.First, 2000);
    // Panning stops at the ends.
    for (int i = 0; i < 30; ++i) Key(v, Qt::Key_Right);
    EXPECT_DOUBLE_EQ(v->Scene().View.First + v->Scene().View.Span, 10000);
    for (int i = 0; i < 40; ++i) Key(v, Qt::Key_Plus);
    EXPECT_GE(v->Scene().View.Span, cPlotView::MinSpan);
    Key(v, Qt::Key_Minus);
    Key(v, Qt::Key_Home);
    EXPECT_DOUBLE_EQ(v->Scene().View.First, 0);
    EXPECT_DOUBLE_EQ(v->Scene().View.Span, 10000);
    // The wheel zooms around the record under the mouse.
    const QPointF at(v->width() * 0.3, v->height() / 2.0);
    QWheelEvent wheel(at, v->mapToGlobal(at), QPoint(), QPoint(0, 120), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    const Plot::sView before = v->Scene().View;
    QApplication::sendEvent(v, &wheel);
    EXPECT_LT(v->Scene().View.Span, before.Span);
    EXPECT_GT(v->Scene().View.First, before.First);
}

TEST(Viewer, SelectionStatisticsAndCursor) {
    const fs::path p = MakeCapture("sel.dat", 1000);
    TViewerForm f;
    f.resize(1200, 800);
    f.show();
    f.OpenFiles({QString::fromStdString(p.string())});
    ASSERT_TRUE(WaitLoaded(f, 1));
    cPlotView* v = f.Plot();
    v->SetSelection(600, 100);  // either order
    ASSERT_TRUE(v->Scene().Selection);
    EXPECT_EQ(v->Scene().Selection->first, 100u);
    EXPECT_EQ(v->Scene().Selection->second, 600u);
    const auto s = v->Scene().Primary->Pyramid[Capture::TraceValve].Query(100, 601);
    EXPECT_EQ(s.Min, 0.0f);    // record 256
    EXPECT_EQ(s.Max, 255.0f);  // record 255
    v->SetCursor(5000);        // past the end: the last record
    EXPECT_EQ(*v->Scene().Cursor, 999u);
    Key(v, Qt::Key_Left, Qt::ShiftModifier);
    EXPECT_EQ(*v->Scene().Cursor, 998u);
    Key(v, Qt::Key_Escape);
    EXPECT_FALSE(v->Scene().Selection);
}

TEST(Viewer, TwoFilesAreComparedAndExported) {
    const fs::path a = MakeCapture("a.dat", 300), b = MakeCapture("b.dat", 700);
    TViewerForm f;
    f.resize(1000, 700);
    f.OpenFiles({QString::fromStdString(a.string()), QString::fromStdString(b.string())});
    ASSERT_TRUE(WaitLoaded(f, 2));
    ASSERT_TRUE(f.Plot()->Scene().Second);
    EXPECT_EQ(f.Plot()->Scene().Primary->Records(), 300u);
    EXPECT_EQ(f.Plot()->Scene().Second->Records(), 700u);
    EXPECT_DOUBLE_EQ(f.Plot()->Scene().View.Span, 700);  // the longer one
    f.ModeCB->setCurrentIndex(1);
    EXPECT_EQ(f.Plot()->Scene().Compare, Plot::eCompare::Stacked);

    const fs::path png = TempDir() / "plot.png", svg = TempDir() / "plot.svg", csv = TempDir() / "a.csv";
    TViewerForm::DialogHook() = [&](const QString& kind) {
        if (kind == "csv") return QStringList{QString::fromStdString(csv.string())};
        return QStringList{QString::fromStdString(png.string())};
    };
    Key(&f, Qt::Key_F5);
    Key(&f, Qt::Key_F6);
    TViewerForm::DialogHook() = nullptr;
    QImage image(QString::fromStdString(png.string()));
    EXPECT_EQ(image.size(), f.Plot()->size());
    ASSERT_TRUE(f.ExportPicture(QString::fromStdString(svg.string())));
    std::ifstream in(svg);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("<svg"), std::string::npos);
    std::ifstream c(csv);
    std::string line;
    int lines = 0;
    std::getline(c, line);
    EXPECT_EQ(line, "record,tps_v,lambda_v,rpm,valve\r");
    while (std::getline(c, line)) ++lines;
    EXPECT_EQ(lines, 300);  // the shown capture
}

// The command line without a window: the picture has the asked size, the
// CSV holds every record; bad arguments and missing files fail.
TEST(ViewerCommandLine, PngOfTheAskedSizeAndCsv) {
    const fs::path p = MakeCapture("cli.dat", 2000, "junk\r\n");
    const fs::path png = TempDir() / "cli.png", csv = TempDir() / "cli.csv";
    const QString exe = BinDir() + QStringLiteral("/zvbasic-capview");
    QProcess proc;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("LANGUAGE"), QStringLiteral("en"));
    proc.setProcessEnvironment(env);
    proc.start(exe, {QStringLiteral("--png"), QString::fromStdString(png.string()), QStringLiteral("--size"),
                     QStringLiteral("1000x640"), QString::fromStdString(p.string())});
    ASSERT_TRUE(proc.waitForFinished(60000)) << exe.toStdString() << ": " << proc.errorString().toStdString();
    EXPECT_EQ(proc.exitCode(), 0);
    const QString err = QString::fromLocal8Bit(proc.readAllStandardError());
    EXPECT_TRUE(err.contains(QStringLiteral("2000 records, 1 line skipped"))) << err.toStdString();
    QImage image(QString::fromStdString(png.string()));
    EXPECT_EQ(image.size(), QSize(1000, 640));
    // Not blank: navy around, black plots, coloured lines.
    EXPECT_EQ(image.pixelColor(2, 2), QColor(0, 0, 128));

    // Without any platform set and without a display, too.
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    proc.setProcessEnvironment(env);
    proc.start(exe, {QStringLiteral("--csv"), QString::fromStdString(csv.string()), QString::fromStdString(p.string())});
    ASSERT_TRUE(proc.waitForFinished(60000));
    EXPECT_EQ(proc.exitCode(), 0);
    std::ifstream c(csv);
    int lines = 0;
    for (std::string line; std::getline(c, line);) ++lines;
    EXPECT_EQ(lines, 2001);
    proc.start(exe, {QStringLiteral("--png"), QString::fromStdString(png.string()), QStringLiteral("--size"),
                     QStringLiteral("10x10"), QString::fromStdString(p.string())});
    ASSERT_TRUE(proc.waitForFinished(60000));
    EXPECT_EQ(proc.exitCode(), 2);
    proc.start(exe, {QStringLiteral("--png"), QString::fromStdString(png.string()), QStringLiteral("/nonexistent-zv/x.dat")});
    ASSERT_TRUE(proc.waitForFinished(60000));
    EXPECT_EQ(proc.exitCode(), 1);
}

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("LANGUAGE", "en");  // the texts the tests look for
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    const int rc = RUN_ALL_TESTS();
    std::error_code ec;
    fs::remove_all(TempDir(), ec);
    return rc;
}
