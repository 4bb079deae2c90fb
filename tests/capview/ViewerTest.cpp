// The viewer's window and command line on the offscreen platform.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include <QApplication>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QElapsedTimer>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QMimeData>
#include <QPainter>
#include <QProcess>
#include <QUrl>

#include "core/Translate.h"

#include "formats/CaptureFile.h"

#include "analysis/ViewerText.h"

#include "widgets/ShadowButton.h"

#include "capview/PlotView.h"
#include "capview/ViewerForm.h"

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
    mime.setUrls(
        {QUrl::fromLocalFile(QString::fromStdString(p.string())), QUrl(QStringLiteral("https://example.org/x.dat"))});
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
    QWheelEvent wheel(at, v->mapToGlobal(at), QPoint(), QPoint(0, 120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase,
                      false);
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
    proc.start(exe,
               {QStringLiteral("--csv"), QString::fromStdString(csv.string()), QString::fromStdString(p.string())});
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
    proc.start(
        exe, {QStringLiteral("--png"), QString::fromStdString(png.string()), QStringLiteral("/nonexistent-zv/x.dat")});
    ASSERT_TRUE(proc.waitForFinished(60000));
    EXPECT_EQ(proc.exitCode(), 1);
}

// The views beside the time traces, worked from the keyboard: F4 switches,
// the arrow keys move the readouts, M sets markers whose difference is read
// out, and F6 exports only the selected range.
TEST(Viewer, ViewsMarkersAndRangeExportByKeys) {
    const fs::path p = MakeCapture("views.dat", 1000);
    TViewerForm f;
    f.resize(800, 600);
    f.show();
    f.OpenFiles({QString::fromStdString(p.string())});
    ASSERT_TRUE(WaitLoaded(f, 1));
    cPlotView* v = f.Plot();
    const Plot::eKind kinds[] = {Plot::eKind::Scatter, Plot::eKind::Map, Plot::eKind::Histogram, Plot::eKind::Time};
    for (Plot::eKind kind : kinds) {
        Key(&f, Qt::Key_F4);
        EXPECT_EQ(v->Scene().Kind, kind);
        // Every view paints something over the navy background.
        QImage image(v->size(), QImage::Format_RGB32);
        {
            QPainter painter(&image);
            Plot::Paint(painter, QSizeF(v->size()), v->Scene());
        }
        int coloured = 0;
        for (int y = 0; y < image.height(); y += 3)
            for (int x = 0; x < image.width(); x += 3) {
                const QColor c = image.pixelColor(x, y);
                if (c != QColor(0, 0, 128) && c != QColor(0, 0, 0)) ++coloured;
            }
        EXPECT_GT(coloured, 200) << int(kind);
        if (kind == Plot::eKind::Scatter) {
            Key(v, Qt::Key_Right);
            ASSERT_TRUE(v->Scene().Nearest);
            EXPECT_EQ(v->Scene().Nearest->second, 0u);
            Key(v, Qt::Key_Down);
            EXPECT_EQ(v->Scene().Nearest->second, 100u);
            Key(&f, Qt::Key_X);  // next channel on the X axis
            EXPECT_EQ(v->Scene().ScatterX, Capture::TraceValve);
        }
        if (kind == Plot::eKind::Map) {
            Key(v, Qt::Key_Up);  // the busiest cell first
            ASSERT_TRUE(v->Scene().MapCell);
        }
    }
    v->SetCursor(100);
    Key(v, Qt::Key_M);
    v->SetCursor(350);
    Key(v, Qt::Key_M);
    ASSERT_EQ(v->Scene().Markers, (std::vector<size_t>{100, 350}));
    EXPECT_TRUE(Plot::MarkerDifference(v->Scene(), 100, 350).contains(QStringLiteral("250 records")));
    f.TimeCB->setCurrentIndex(3);
    f.SecondsED->setValue(0.5);
    EXPECT_TRUE(Plot::MarkerDifference(v->Scene(), 100, 350).contains(QStringLiteral("125.0 s")))
        << Plot::MarkerDifference(v->Scene(), 100, 350).toStdString();
    Key(v, Qt::Key_M, Qt::ShiftModifier);
    EXPECT_TRUE(v->Scene().Markers.empty());

    // Markers at 199 and 100, S selects between them, F6 writes that range.
    v->SetCursor(199);
    Key(v, Qt::Key_M);
    v->SetCursor(100);
    Key(v, Qt::Key_M);
    Key(v, Qt::Key_S);
    ASSERT_TRUE(v->Scene().Selection);
    EXPECT_EQ(*v->Scene().Selection, std::make_pair(size_t(100), size_t(199)));
    const fs::path csv = TempDir() / "range.csv";
    TViewerForm::DialogHook() = [&](const QString&) { return QStringList{QString::fromStdString(csv.string())}; };
    Key(&f, Qt::Key_F6);
    TViewerForm::DialogHook() = nullptr;
    std::ifstream in(csv);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    ASSERT_EQ(lines.size(), 101u);
    EXPECT_EQ(lines[1].substr(0, 4), "101,");  // numbered as in the capture
    EXPECT_EQ(lines[100].substr(0, 4), "200,");
}

// A second window follows a capture while it is recorded; F7 turns it off.
TEST(Viewer, FollowsAGrowingFile) {
    const fs::path p = MakeCapture("follow.dat", 10);
    TViewerForm f;
    f.resize(1000, 700);
    f.show();
    f.OpenFiles({QString::fromStdString(p.string())});
    ASSERT_TRUE(WaitLoaded(f, 1));
    Key(&f, Qt::Key_F7);
    EXPECT_TRUE(f.Following());
    {
        std::ofstream out(p, std::ios::app | std::ios::binary);
        for (int i = 0; i < 15; ++i) out << cCaptureFile::FormatRecord({1.0f, 0.5f, 2000, i});
        out << "\"1.0\",\"0.5\"";  // a record the writer has not finished
    }
    QElapsedTimer t;
    t.start();
    while (f.Plot()->Scene().Records() < 25 && t.elapsed() < 20000)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    ASSERT_EQ(f.Plot()->Scene().Records(), 25u);
    EXPECT_EQ(f.Captures()[0]->Records(), 25u);
    EXPECT_TRUE(f.StatusText().contains(QStringLiteral("F7"))) << f.StatusText().toStdString();
    std::ofstream(p, std::ios::app | std::ios::binary) << ",\"2000.0\",\"99.0\"\r\n";
    t.restart();
    while (f.Plot()->Scene().Records() < 26 && t.elapsed() < 20000)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    ASSERT_EQ(f.Plot()->Scene().Records(), 26u);
    EXPECT_EQ(f.Plot()->Scene().Primary->Data.Value(Capture::TraceValve, 25), 99.0f);
    Key(&f, Qt::Key_F7);
    EXPECT_FALSE(f.Following());
}

// Input the window cannot show: a pipe is refused at once (no freeze), an
// empty capture says "No records", a long message never pushes the buttons
// or the plot's boxes out of an 800 x 600 window.
TEST(Viewer, PipesEmptyFilesAndLongMessagesKeepTheWindowWhole) {
    TViewerForm f;
    f.resize(800, 600);
    f.show();
    QApplication::processEvents();
    const fs::path fifo = TempDir() / "pipe.dat";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    f.OpenFiles({QString::fromStdString(fifo.string())});
    QElapsedTimer t;
    t.start();
    while (f.IsLoading() && t.elapsed() < 5000) QApplication::processEvents(QEventLoop::AllEvents, 20);
    ASSERT_FALSE(f.IsLoading());
    QApplication::processEvents();
    EXPECT_TRUE(f.StatusText().contains(QStringLiteral("not a regular file"))) << f.StatusText().toStdString();
    EXPECT_TRUE(f.Captures().empty());

    const fs::path empty = TempDir() / "empty.dat";
    std::ofstream(empty) << "garbage\n";
    f.OpenFiles({QString::fromStdString(empty.string())});
    ASSERT_TRUE(WaitLoaded(f, 1));
    EXPECT_EQ(f.Plot()->Scene().EmptyText, QStringLiteral("No records"));

    const QSize before = f.size();
    EXPECT_EQ(before, QSize(800, 600)) << f.minimumSizeHint().width();
    const std::string longName = "/nonexistent-zv/" + std::string(400, 'x') + ".csv";
    EXPECT_FALSE(f.ExportCsv(QString::fromStdString(longName)));
    QApplication::processEvents();
    EXPECT_GT(f.StatusText().size(), 400);
    EXPECT_EQ(f.size(), QSize(800, 600));
    for (QWidget* w : std::initializer_list<QWidget*>{f.ExitBtn, f.Plot()}) {
        const QRect r(w->mapTo(&f, QPoint(0, 0)), w->size());
        EXPECT_TRUE(f.rect().contains(r)) << w->objectName().toStdString();
    }
}

// A capture of one record shows its point; every panel of a plot one above
// the other at 1600 x 900 has a scale of at least two labels.
TEST(ViewerPainter, OneRecordShowsAndNarrowPanelsKeepTheirScale) {
    const fs::path p = MakeCapture("one.dat", 1);
    auto c = std::make_shared<Capture::sLoadedCapture>();
    c->Load(p.string());
    ASSERT_EQ(c->Records(), 1u);
    Plot::sScene scene;
    scene.Primary = c;
    scene.View = Plot::FullView(1, cPlotView::MinSpan);
    QImage image(1000, 640, QImage::Format_RGB32);
    {
        QPainter painter(&image);
        Plot::Paint(painter, QSizeF(image.size()), scene);
    }
    int green = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            green += image.pixelColor(x, y) == Plot::TraceLook(Capture::TraceRpm).Color;
    if (green < 25) image.save(QString::fromStdString((fs::temp_directory_path() / "zv-one-record.png").string()));
    EXPECT_GE(green, 25);
    for (const auto& [lo, hi] : {std::pair{0.0, 8000.0}, {0.0, 255.0}, {0.0, 5.0}, {0.0, 1.0}})
        for (int maxTicks = 2; maxTicks <= 6; ++maxTicks) EXPECT_GE(Plot::NiceTicks(lo, hi, maxTicks).size(), 2u) << hi;
}

// A capture with a gap line (the ECU was away for 12 s between records 100
// and 101): the time view marks it in the middle of the plot, where a capture
// without gaps has no such mark; the window's status counts it; at 1280 x 800 the status box shows its whole text,
// following the file, in every language.
TEST(Viewer, GapsAreMarkedCountedAndTheStatusShowsWhole) {
    const fs::path p = TempDir() / "gap.dat";
    {
        cCaptureFile f;
        f.Open(p.string());
        for (int i = 0; i < 200; ++i) {
            if (i == 100) f.WriteGap(12.0);
            f.WriteRecord({float(i % 5), 0.5f, 800 + i, i % 256});
        }
    }
    const QColor gapColour(255, 120, 60);
    for (const auto& [file, marked] : {std::pair{p, true}, {MakeCapture("nogap.dat", 200), false}}) {
        auto c = std::make_shared<Capture::sLoadedCapture>();
        c->Load(file.string());
        Plot::sScene scene;
        scene.Primary = c;
        scene.View = Plot::FullView(c->Records(), cPlotView::MinSpan);
        QImage image(1000, 640, QImage::Format_RGB32);
        {
            QPainter painter(&image);
            Plot::Paint(painter, QSizeF(image.size()), scene);
        }
        int middle = 0, elsewhere = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (image.pixelColor(x, y) == gapColour) ++(x > 300 && x < 800 ? middle : elsewhere);
        EXPECT_EQ(middle > 200, marked) << middle;
        EXPECT_EQ(elsewhere, 0);
    }

    TViewerForm f;
    f.resize(1280, 800);
    f.show();
    f.OpenFiles({QString::fromStdString(p.string())});
    ASSERT_TRUE(WaitLoaded(f, 1));
    EXPECT_TRUE(f.StatusText().contains(QStringLiteral("1 gap of 12.0 s in all"))) << f.StatusText().toStdString();
    f.SetFollowing(true);
    ViewerText::Init(ViewerText::LocaleDir(BinDir().toStdString()));
    const auto* label = f.findChild<QLabel*>(QStringLiteral("StatusLL"));
    ASSERT_TRUE(label);
    for (const char* language : {"de", "pl", "ru", "en"}) {
        Translate::SetLanguage(language);
        f.SetFollowing(false);
        f.SetFollowing(true);
        QApplication::processEvents();
        EXPECT_EQ(label->text(), f.StatusText()) << language;
        EXPECT_EQ(f.size(), QSize(1280, 800)) << language;
    }
    f.SetFollowing(false);
}

// The command line: the map as CSV, scatter pictures, the streamed CSV; a
// pipe ends at once, an empty capture gives its header and exit 3.
TEST(ViewerCommandLine, TableScatterAndTheirFailures) {
    const fs::path p = TempDir() / "table.dat";
    {
        cCaptureFile f;
        f.Open(p.string());
        f.WriteRecord({1.0f, 0.8f, 1000, 100});
        f.WriteRecord({1.49f, 0.2f, 1499, 50});
        f.WriteRecord({0.5f, 0.3f, 54000 / 27, 7});
    }
    const fs::path table = TempDir() / "map.csv", png = TempDir() / "scatter.png", csv = TempDir() / "stream.csv";
    const QString exe = BinDir() + QStringLiteral("/zvbasic-capview");
    auto run = [&](const QStringList& args) {
        QProcess proc;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("LANGUAGE"), QStringLiteral("de"));  // a comma as decimal mark
        proc.setProcessEnvironment(env);
        proc.start(exe, args);
        EXPECT_TRUE(proc.waitForFinished(60000)) << args.join(' ').toStdString();
        return proc.exitCode();
    };
    auto read = [](const fs::path& f) {
        std::ifstream in(f);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    };
    const QString file = QString::fromStdString(p.string());
    EXPECT_EQ(
        run({"--table", QString::fromStdString(table.string()), "--rpm-step", "1000", "--rich-above", "0.25", file}),
        0);
    EXPECT_EQ(read(table),
              "rpm_from,rpm_to,tps_from,tps_to,records,share,valve_mean,lambda_mean,rich_share\n"
              "1000,2000,1,1.5,2,0.666667,75.000000,0.500000,0.500000\n"
              "2000,3000,0.5,1,1,0.333333,7.000000,0.300000,1.000000\n");
    EXPECT_EQ(
        run({"--png", QString::fromStdString(png.string()), "--size", "800x600", "--scatter", "tps:lambda:rpm", file}),
        0);
    EXPECT_EQ(QImage(QString::fromStdString(png.string())).size(), QSize(800, 600));
    for (const char* bad : {"tps", "tps:speed", "tps:rpm:valve:lambda", "tps::rpm"})
        EXPECT_EQ(run({"--png", QString::fromStdString(png.string()), "--scatter", bad, file}), 2) << bad;
    EXPECT_EQ(run({"--table", QString::fromStdString(table.string()), "--tps-step", "0", file}), 2);
    EXPECT_EQ(run({"--csv", QString::fromStdString(csv.string()), file}), 0);
    EXPECT_EQ(read(csv),
              "record,tps_v,lambda_v,rpm,valve\r\n1,1,0.8,1000,100\r\n2,1.49,0.2,1499,50\r\n3,0.5,0.3,2000,7\r\n");

    const fs::path empty = TempDir() / "garbage.dat";
    std::ofstream(empty) << "\x01\x02 no records\n";
    const QString emptyFile = QString::fromStdString(empty.string());
    EXPECT_EQ(run({"--table", QString::fromStdString(table.string()), emptyFile}), 3);
    EXPECT_EQ(read(table), "rpm_from,rpm_to,tps_from,tps_to,records,share,valve_mean,lambda_mean,rich_share\n");
    EXPECT_EQ(run({"--csv", QString::fromStdString(csv.string()), emptyFile}), 3);
    EXPECT_EQ(run({"--png", QString::fromStdString(png.string()), emptyFile}), 3);

    const fs::path fifo = TempDir() / "cli-pipe.dat";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const char* option : {"--png", "--csv", "--table"}) {
        QElapsedTimer t;
        t.start();
        EXPECT_EQ(
            run({option, QString::fromStdString((TempDir() / "out").string()), QString::fromStdString(fifo.string())}),
            1)
            << option;
        EXPECT_LT(t.elapsed(), 5000) << option;
    }
}

// A followed file that another capture replaces (moved over it, as many
// records as before) is shown anew, not mixed with the old one.
TEST(Viewer, FollowReadsAReplacedFileAnew) {
    const fs::path p = MakeCapture("replaced.dat", 10);
    TViewerForm f;
    f.resize(1000, 700);
    f.show();
    f.OpenFiles({QString::fromStdString(p.string())});
    ASSERT_TRUE(WaitLoaded(f, 1));
    Key(&f, Qt::Key_F7);
    ASSERT_TRUE(f.Following());
    const fs::path next = TempDir() / "replacement.dat";
    {
        cCaptureFile w;
        w.Open(next.string());
        for (int i = 0; i < 10; ++i)
            w.WriteRecord({float((i % 256) / 51.0), float((i % 52) / 51.0), 800 + i % 5000, 9 - i});
    }
    ASSERT_EQ(fs::file_size(next), fs::file_size(p));
    fs::rename(next, p);
    auto valve = [&] { return f.Plot()->Scene().Primary->Data.Value(Capture::TraceValve, 0); };
    QElapsedTimer t;
    t.start();
    while (valve() != 9.0f && t.elapsed() < 20000) QApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_EQ(valve(), 9.0f);
    EXPECT_EQ(f.Plot()->Scene().Records(), 10u);
    Key(&f, Qt::Key_F7);
}

// "-" is standard output; without a display the window is refused with a
// plain message; options that would do nothing are refused.
TEST(ViewerCommandLine, StandardOutputNoDisplayAndIdleOptions) {
    const fs::path p = MakeCapture("stdout.dat", 3);
    const QString file = QString::fromStdString(p.string()), exe = BinDir() + QStringLiteral("/zvbasic-capview");
    struct sRun {
        int Exit = -1;
        QByteArray Out, Err;
    };
    auto run = [&](const QStringList& args, const std::vector<std::pair<const char*, const char*>>& set,
                   const std::vector<const char*>& unset = {}) {
        QProcess proc;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const auto& [k, v] : set) env.insert(QString::fromLatin1(k), QString::fromLatin1(v));
        for (const char* k : unset) env.remove(QString::fromLatin1(k));
        proc.setProcessEnvironment(env);
        proc.start(exe, args);
        EXPECT_TRUE(proc.waitForFinished(60000)) << args.join(' ').toStdString();
        return sRun{proc.exitStatus() == QProcess::NormalExit ? proc.exitCode() : 1000, proc.readAllStandardOutput(),
                    proc.readAllStandardError()};
    };
    const std::vector<std::pair<const char*, const char*>> offscreen = {{"QT_QPA_PLATFORM", "offscreen"},
                                                                        {"LANGUAGE", "en"}};
    const fs::path table = TempDir() / "stdout-map.csv";
    ASSERT_EQ(run({"--table", QString::fromStdString(table.string()), file}, offscreen).Exit, 0);
    std::ifstream in(table);
    const std::string tableText((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    struct {
        const char* Option;
        QByteArray Starts;
    } outputs[] = {{"--table", QByteArray::fromStdString(tableText)},
                   {"--csv", "record,tps_v,lambda_v,rpm,valve\r\n1,0,0,800,0\r\n"},
                   {"--png", "\x89PNG"},
                   {"--svg", "<?xml"}};
    for (const auto& o : outputs) {
        const sRun r = run({o.Option, "-", "--", file}, offscreen);
        EXPECT_EQ(r.Exit, 0) << o.Option << r.Err.toStdString();
        EXPECT_TRUE(r.Out.startsWith(o.Starts)) << o.Option << ": " << r.Out.left(40).toStdString();
        EXPECT_FALSE(fs::exists("-")) << o.Option;
    }
    QImage png;
    ASSERT_TRUE(png.loadFromData(run({"--png", "-", "--size", "640x480", file}, offscreen).Out, "PNG"));
    EXPECT_EQ(png.size(), QSize(640, 480));

    // No display of any kind, or one that cannot be opened.
    for (const auto& set :
         {std::vector<std::pair<const char*, const char*>>{{"LANGUAGE", "en"}},
          std::vector<std::pair<const char*, const char*>>{{"LANGUAGE", "en"}, {"DISPLAY", ":9876"}}}) {
        const sRun r = run({file}, set, {"QT_QPA_PLATFORM", "WAYLAND_DISPLAY", "DISPLAY"});
        EXPECT_EQ(r.Exit, 1) << r.Err.toStdString();
        EXPECT_TRUE(r.Err.contains("needs a display")) << r.Err.toStdString();
        EXPECT_TRUE(r.Err.contains("--png")) << r.Err.toStdString();
    }

    const QString out = QString::fromStdString((TempDir() / "idle.out").string());
    const QStringList refused[] = {
        {"--scatter", "tps:rpm", file},
        {"--rpm-step", "100", file},
        // The pictures draw no map: its steps would change nothing there.
        {"--png", out, "--rpm-step", "100", file},
        {"--svg", out, "--tps-step", "0.25", file},
        {"--png", out, "--scatter", "tps:rpm", "--rich-above", "0.3", file},
        {"--csv", out, "--stacked", file},
        {"--csv", out, "--compare", file, file},
        {"--table", out, "--size", "800x600", file},
        {"--png", out, "--stacked", file},
        {"--png", "-", "--table", "-", file},
        {"--csv", "-", "--svg", "-", file},
    };
    for (const QStringList& args : refused) {
        const sRun r = run(args, offscreen);
        EXPECT_EQ(r.Exit, 2) << args.join(' ').toStdString();
        EXPECT_FALSE(r.Err.isEmpty()) << args.join(' ').toStdString();
    }
}

// Values up to the float limit keep their axis and cursor texts short: they
// fit beside the plot instead of running over it.
TEST(ViewerPainter, ValueTextsNearTheFloatLimitStayShort) {
    const QLocale loc;
    struct {
        int Trace;
        double Value;
        QString Text;  // empty: six significant digits with an exponent
    } cases[] = {
        {Capture::TraceRpm, 54000, loc.toString(54000.0, 'f', Plot::TraceLook(Capture::TraceRpm).Decimals)},
        {Capture::TraceTps, 0.45, loc.toString(0.45, 'f', Plot::TraceLook(Capture::TraceTps).Decimals)},
        {Capture::TraceValve, 9999999, loc.toString(9999999.0, 'f', Plot::TraceLook(Capture::TraceValve).Decimals)},
        {Capture::TraceValve, 3.4028234663852886e38, {}},
        {Capture::TraceLambda, -3.4028234663852886e38, {}},
        {Capture::TraceRpm, 1e7, {}},
    };
    for (const auto& c : cases) {
        const QString text = Plot::ValueText(c.Trace, c.Value);
        if (!c.Text.isEmpty()) {
            EXPECT_EQ(text, c.Text) << c.Value;
            continue;
        }
        EXPECT_LE(text.size(), 12) << text.toStdString();
        bool ok = false;
        EXPECT_NEAR(loc.toDouble(text, &ok) / c.Value, 1.0, 1e-5) << text.toStdString();
        EXPECT_TRUE(ok) << text.toStdString();
    }
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

// A control character in a file name comes out escaped on every line the
// viewer prints; a capture closed with its time line reads with no line
// skipped.
TEST(ViewerCommandLine, NamesAreShownEscapedAndTheTimeLineIsNoSkippedLine) {
    const std::string odd = "odd\n\x1b[2J";
    const fs::path p = MakeCapture(odd + ".dat", 20);  // closed by the writer: its time line last
    const fs::path missing = TempDir() / (odd + "-missing.dat");
    const QString exe = BinDir() + QStringLiteral("/zvbasic-capview");
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("LANGUAGE"), QStringLiteral("en"));
    const struct {
        QStringList Args;
        int Exit;
        const char* Says;
    } cases[] = {
        {{QStringLiteral("--csv"), QStringLiteral("-"), QString::fromStdString(p.string())},
         0,
         "odd\\x0A\\x1B[2J.dat: 20 records\n"},
        {{QStringLiteral("--csv"), QStringLiteral("-"), QString::fromStdString(missing.string())},
         1,
         "odd\\x0A\\x1B[2J-missing.dat: "},
        {{QStringLiteral("--table"), QString::fromStdString((TempDir() / "no" / (odd + ".csv")).string()),
          QString::fromStdString(p.string())},
         1,
         "no/odd\\x0A\\x1B[2J.csv: "},
    };
    for (const auto& c : cases) {
        QProcess proc;
        proc.setProcessEnvironment(env);
        proc.start(exe, c.Args);
        ASSERT_TRUE(proc.waitForFinished(60000)) << proc.errorString().toStdString();
        EXPECT_EQ(proc.exitCode(), c.Exit) << c.Says;
        const std::string err = proc.readAllStandardError().toStdString();
        EXPECT_NE(err.find(c.Says), std::string::npos) << err;
        EXPECT_EQ(err.find('\x1b'), std::string::npos) << err;
        for (size_t at = err.find('\n'); at != std::string::npos; at = err.find('\n', at + 1))
            EXPECT_TRUE(at + 1 == err.size() || err.compare(at + 1, 3, "odd") != 0) << err;  // no line of its own
    }
}

// A usage error says what was wrong before the usage.
TEST(ViewerCommandLine, UsageErrorsSayTheirReason) {
    const fs::path p = MakeCapture("usage.dat", 10);
    const QString file = QString::fromStdString(p.string()),
                  png = QString::fromStdString((TempDir() / "u.png").string());
    const QString exe = BinDir() + QStringLiteral("/zvbasic-capview");
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("LANGUAGE"), QStringLiteral("en"));
    const struct {
        QStringList Args;
        const char* Reason;
    } cases[] = {
        {{QStringLiteral("--png")}, "This option needs a value: --png\n"},
        {{QStringLiteral("--png"), png}, "--png, --svg, --csv and --table take exactly one capture file\n"},
        {{QStringLiteral("--png"), png, file, file}, "--png, --svg, --csv and --table take exactly one capture file\n"},
        {{QStringLiteral("--png"), png, QStringLiteral("--seconds-per-record"), QStringLiteral("soon"), file},
         "Bad number: --seconds-per-record soon\n"},
    };
    for (const auto& c : cases) {
        QProcess proc;
        proc.setProcessEnvironment(env);
        proc.start(exe, c.Args);
        ASSERT_TRUE(proc.waitForFinished(60000)) << proc.errorString().toStdString();
        EXPECT_EQ(proc.exitCode(), 2) << c.Reason;
        const std::string err = proc.readAllStandardError().toStdString();
        EXPECT_EQ(err.rfind(c.Reason, 0), 0u) << err;
        EXPECT_NE(err.find("Usage: zvbasic-capview"), std::string::npos) << err;
    }
}
