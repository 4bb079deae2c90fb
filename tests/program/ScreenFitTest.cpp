// Every screen on the screens people have: wide (16:9, 16:10), 4:3 and high
// density. No control may lie outside the screen, the 4:3 screens keep the
// layout they always had, and a screen with a device pixel ratio shows the
// same picture, only sharper.
#include <gtest/gtest.h>

#include <map>

#include <QApplication>
#include <QFile>
#include <QProcess>
#include <QScreen>
#include <QTemporaryDir>
#include <QTextStream>

#include "widgets/ShadowButton.h"

#include "kit/Artwork.h"
#include "kit/IOForm.h"

#include "screens/Globals.h"
#include "screens/InfoForm.h"
#include "screens/MainForm.h"
#include "screens/QuestionForm.h"

#include "GuiTestKit.h"

using GuiTestKit::cProgram;

namespace {

// The forms of the program in creation order, the information dialog included.
std::vector<QWidget*> AllForms(cProgram& program) {
    std::vector<QWidget*> forms;
    for (cIOForm* f : program.Shell->Forms()) forms.push_back(f);
    forms.push_back(InfoForm);
    return forms;
}

bool IsFullScreen(QWidget* form) { return form->windowType() != Qt::Dialog; }

// A control's name within its form: object names from the form down, an
// unnamed widget as its class and its place among its siblings.
QString PathOf(QWidget* w, QWidget* form) {
    QStringList parts;
    for (QWidget* at = w; at && at != form; at = at->parentWidget()) {
        QString name = at->objectName();
        if (name.isEmpty()) {
            // Counted among the unnamed siblings of its class, so that a new
            // control elsewhere does not rename it.
            int index = 0;
            if (QObject* parent = at->parent())
                for (QObject* sibling : parent->children()) {
                    if (sibling == at) break;
                    index += sibling->objectName().isEmpty() && sibling->metaObject() == at->metaObject();
                }
            name = QStringLiteral("%1#%2").arg(QString::fromLatin1(at->metaObject()->className())).arg(index);
        }
        parts.prepend(name);
    }
    return parts.join(QLatin1Char('/'));
}

// The controls of a form (children of its own window only, not popups).
std::vector<QWidget*> Controls(QWidget* form) {
    std::vector<QWidget*> out;
    for (QWidget* w : form->findChildren<QWidget*>())
        if (w->window() == form) out.push_back(w);
    return out;
}

// One line per form and control: place relative to the form, size and font.
QStringList Layout(QWidget* form) {
    QStringList lines;
    const QRect g = form->geometry();
    lines << QStringLiteral("%1 %2,%3,%4,%5 %6")
                 .arg(form->objectName())
                 .arg(g.x())
                 .arg(g.y())
                 .arg(g.width())
                 .arg(g.height())
                 .arg(form->font().pixelSize());
    for (QWidget* w : Controls(form)) {
        const QPoint at = w->mapTo(form, QPoint(0, 0));
        lines << QStringLiteral("%1/%2 %3,%4,%5,%6 %7")
                     .arg(form->objectName(), PathOf(w, form))
                     .arg(at.x())
                     .arg(at.y())
                     .arg(w->width())
                     .arg(w->height())
                     .arg(w->font().pixelSize());
    }
    return lines;
}

// Shows a form the way the program does and takes it down again.
void ShowAndHide(QWidget* form) {
    form->show();
    QCoreApplication::processEvents();
    form->hide();
    QCoreApplication::processEvents();
}

// The faults of one form on a screen: controls outside the screen, a
// full-screen form that does not cover it, a dialog off centre.
QStringList Faults(QWidget* form, const QRect& screen) {
    QStringList faults;
    const QRect g = form->geometry();
    if (IsFullScreen(form)) {
        if (g != screen)
            faults << QStringLiteral("%1 covers %2,%3 %4x%5")
                          .arg(form->objectName())
                          .arg(g.x())
                          .arg(g.y())
                          .arg(g.width())
                          .arg(g.height());
    } else {
        const QPoint off = g.center() - screen.center();
        if (std::abs(off.x()) > 1 || std::abs(off.y()) > 1)
            faults << QStringLiteral("%1 is off centre by %2,%3").arg(form->objectName()).arg(off.x()).arg(off.y());
    }
    if (!screen.contains(g)) faults << form->objectName() + QStringLiteral(" lies outside the screen");
    for (QWidget* w : Controls(form)) {
        // The picture inside a scroll area is larger than the screen by design.
        bool scrolled = false;
        for (QWidget* at = w->parentWidget(); at && at != form; at = at->parentWidget())
            scrolled = scrolled || at->inherits("QAbstractScrollArea");
        if (scrolled) continue;
        // A control inside a group lies inside the group, or it is cut off.
        if (w->parentWidget() != form && !w->parentWidget()->rect().contains(w->geometry()) &&
            !w->inherits("QScrollBar"))
            faults << QStringLiteral("%1/%2 sticks out of its group").arg(form->objectName(), PathOf(w, form));
        const QRect r(w->mapTo(form, QPoint(0, 0)) + g.topLeft(), w->size());
        if (!screen.contains(r))
            faults << QStringLiteral("%1/%2 at %3,%4 %5x%6")
                          .arg(form->objectName(), PathOf(w, form))
                          .arg(r.x())
                          .arg(r.y())
                          .arg(r.width())
                          .arg(r.height());
    }
    return faults;
}

struct sSized {
    QSize Screen;
    QStringList Layout;  // of every form
    QStringList Faults;
    std::map<QString, QRect> Geometry;  // of every form and named control
    double PaintedDpr = 0;              // of a picture of the main menu
};

// Starts the program on a screen of the given size (the real screen when
// `size` is empty) and takes the layout of every form.
sSized Measure(QSize size) {
    sSized out;
    cProgram program;
    if (size.isEmpty()) cIOForm::ClearScreenOverride();
    else cIOForm::SetScreenOverride(size, 96);
    const QRect screen = cIOForm::ScreenRect();
    out.Screen = screen.size();
    GuiTestKit::cSilentLine line;
    program.SetExtraPorts({line.Path()});
    program.WriteIni("COM: " + line.Path() + "\r\nLanguage: en\r\n");
    EXPECT_EQ(program.Start(), cShell::eStart::Ok);
    program.QuietLink();
    for (QWidget* form : AllForms(program)) {
        ShowAndHide(form);
        out.Layout << Layout(form);
        out.Faults << Faults(form, screen);
        out.Geometry[form->objectName()] = form->geometry();
        for (QWidget* w : Controls(form))
            if (!w->objectName().isEmpty())
                out.Geometry[form->objectName() + QLatin1Char('/') + w->objectName()] =
                    QRect(w->mapTo(form, QPoint(0, 0)), w->size());
    }
    out.PaintedDpr = MainForm->grab().devicePixelRatio();
    program.Stop();
    cIOForm::SetScreenOverride(QSize(1024, 768), 96);
    return out;
}

QStringList ReadLines(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text)) return {};
    return QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

// The layout of the 4:3 screens, in tests/program/layout. A deliberate change of
// a screen's layout rewrites it: run this test with ZV_WRITE_LAYOUT set to
// that folder and review the difference.
QString ReferencePath(QSize size) {
    return QStringLiteral(ZV_LAYOUT_REFERENCE_DIR "/layout-%1x%2.txt").arg(size.width()).arg(size.height());
}

}  // namespace

TEST(ScreenFit, EveryControlOfEveryFormLiesOnTheScreen) {
    for (QSize size : {QSize(1920, 1080), QSize(1366, 768), QSize(1280, 800), QSize(2560, 1440), QSize(1024, 768),
                       QSize(800, 600), QSize(1600, 1200)}) {
        SCOPED_TRACE(QStringLiteral("%1x%2").arg(size.width()).arg(size.height()).toStdString());
        const sSized m = Measure(size);
        EXPECT_EQ(m.Faults.join(QLatin1Char('\n')).toStdString(), "");
        // The content is centred: equal navy margins left and right (wide
        // screens) or top and bottom (tall ones), within a pixel.
        const QRect exit = m.Geometry.at(QStringLiteral("MainForm/ExitBtn"));
        const QRect title = m.Geometry.at(QStringLiteral("MainForm/Logo"));
        const double ratio = cIOForm::FitRatio(size, 96);
        const int left = int((size.width() - 1024 * ratio) / 2), top = int((size.height() - 768 * ratio) / 2);
        EXPECT_NEAR(title.x(), left + 540 * ratio, 1.0);
        EXPECT_NEAR(exit.bottom() + 1, top + (680 + 62) * ratio, 1.0);
        EXPECT_TRUE(left == 0 || top == 0) << "one pair of margins is zero";
    }
}

TEST(ScreenFit, FourToThreeScreensKeepTheirLayout) {
    const QString writeTo = qEnvironmentVariable("ZV_WRITE_LAYOUT");
    for (QSize size : {QSize(1024, 768), QSize(800, 600)}) {
        SCOPED_TRACE(QStringLiteral("%1x%2").arg(size.width()).arg(size.height()).toStdString());
        const sSized m = Measure(size);
        if (!writeTo.isEmpty()) {
            QFile f(QStringLiteral("%1/layout-%2x%3.txt").arg(writeTo).arg(size.width()).arg(size.height()));
            ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Text));
            f.write((m.Layout.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8());
            continue;
        }
        const QStringList reference = ReadLines(ReferencePath(size));
        ASSERT_FALSE(reference.isEmpty()) << ReferencePath(size).toStdString();
        // Line by line, so that a failure names the control that moved.
        for (int i = 0; i < std::max(reference.size(), m.Layout.size()); ++i) {
            const QString want = i < reference.size() ? reference[i] : QString();
            const QString got = i < m.Layout.size() ? m.Layout[i] : QString();
            if (want != got) {
                ADD_FAILURE() << "line " << i + 1 << ": was \"" << want.toStdString() << "\", now \""
                              << got.toStdString() << "\"";
                break;
            }
        }
    }
}

TEST(ScreenFit, RatioIsTheSmallerOfWidthAndHeightWithThePixelsPerInch) {
    EXPECT_DOUBLE_EQ(cIOForm::FitRatio(QSize(1024, 768), 96), 1.0);
    EXPECT_DOUBLE_EQ(cIOForm::FitRatio(QSize(800, 600), 96), 800.0 / 1024);
    EXPECT_DOUBLE_EQ(cIOForm::FitRatio(QSize(1024, 768), 120), 96.0 / 120);
    EXPECT_DOUBLE_EQ(cIOForm::FitRatio(QSize(1920, 1080), 96), 1080.0 / 768);
    EXPECT_DOUBLE_EQ(cIOForm::FitRatio(QSize(1280, 1024), 96), 1280.0 / 1024);  // 5:4, taller than the design
    EXPECT_DOUBLE_EQ(cIOForm::FitRatio(QSize(1920, 1080), 144), 1080.0 / 768 * 96 / 144);
    EXPECT_DOUBLE_EQ(cIOForm::FitRatio(QSize(0, 0), 96), cIOForm::FitRatio(QSize(1024, 768), 96));
}

// The same program on the real (offscreen) screen, run in a child process
// whose screen is set up by the test below. It prints what it measured.
TEST(ScreenFitChild, OnTheRealScreen) {
    if (qEnvironmentVariableIsEmpty("ZV_FIT_CHILD")) GTEST_SKIP() << "run by ScreenFit.HighDensityScreens";
    const sSized m = Measure(QSize());
    EXPECT_EQ(m.Faults.join(QLatin1Char('\n')).toStdString(), "");
    QScreen* screen = QGuiApplication::primaryScreen();
    const QRect exit = m.Geometry.at(QStringLiteral("MainForm/ExitBtn"));
    const QRect question = m.Geometry.at(QStringLiteral("QuestionForm"));
    std::printf("FIT screen %d %d dpr %g exit %d %d %d %d question %d %d dpr-painted %g\n", m.Screen.width(),
                m.Screen.height(), screen->devicePixelRatio(), exit.x(), exit.y(), exit.width(), exit.height(),
                question.width(), question.height(), m.PaintedDpr);
}

namespace {
struct sChild {
    int Exit = -1;
    QString Output;
    double Numbers[11] = {};
};

sChild RunChild(const QString& platform, const QStringList& env) {
    sChild out;
    QProcess p;
    QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
    e.insert(QStringLiteral("ZV_FIT_CHILD"), QStringLiteral("1"));
    e.insert(QStringLiteral("QT_QPA_PLATFORM"), platform);
    e.remove(QStringLiteral("QT_SCALE_FACTOR"));
    for (const QString& kv : env) e.insert(kv.section(QLatin1Char('='), 0, 0), kv.section(QLatin1Char('='), 1));
    p.setProcessEnvironment(e);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--gtest_filter=ScreenFitChild.*")});
    if (!p.waitForFinished(120000)) return out;
    out.Exit = p.exitCode();
    out.Output = QString::fromLocal8Bit(p.readAll());
    const int at = out.Output.indexOf(QStringLiteral("FIT screen "));
    if (at >= 0) {
        QString line = out.Output.mid(at + 11).section(QLatin1Char('\n'), 0, 0);
        line.replace(QStringLiteral("dpr-painted "), QString()).replace(QStringLiteral("dpr "), QString());
        line.replace(QStringLiteral("exit "), QString()).replace(QStringLiteral("question "), QString());
        const QStringList n = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        for (int i = 0; i < 11 && i < n.size(); ++i) out.Numbers[i] = n[i].toDouble();
    }
    return out;
}

QString ScreenConfig(const QTemporaryDir& dir, const char* name, int w, int h, int dpi) {
    const QString path = dir.filePath(QString::fromLatin1(name));
    QFile f(path);
    if (f.open(QIODevice::WriteOnly))
        f.write(QStringLiteral(R"({"screens":[{"name":"s","x":0,"y":0,"width":%1,"height":%2,)"
                               R"("logicalDpi":%3,"logicalBaseDpi":96,"dpr":1}]})")
                    .arg(w)
                    .arg(h)
                    .arg(dpi)
                    .toUtf8());
    return QStringLiteral("offscreen:configfile=") + path;
}
}  // namespace

// A screen of 3840 x 2160 at 192 pixels per inch, and a 1920 x 1080 screen
// with Qt's scale factor 2: Qt draws at twice the density, and the screens
// must cover the same share of the screen as a 1920 x 1080 screen at 96
// pixels per inch, the exit button neither doubled nor halved, the dialogs at
// their design size in Qt's pixels and centred.
TEST(ScreenFit, HighDensityScreens) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const sChild plain = RunChild(ScreenConfig(dir, "plain.json", 1920, 1080, 96), {});
    ASSERT_EQ(plain.Exit, 0) << plain.Output.toStdString();
    ASSERT_EQ(plain.Numbers[0], 1920) << plain.Output.toStdString();
    ASSERT_EQ(plain.Numbers[2], 1);
    struct {
        const char* Name;
        QString Platform;
        QStringList Env;
    } cases[] = {
        {"192 dpi", ScreenConfig(dir, "dense.json", 3840, 2160, 192), {}},
        {"scale factor 2", ScreenConfig(dir, "plain2.json", 1920, 1080, 96), {QStringLiteral("QT_SCALE_FACTOR=2")}},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const sChild dense = RunChild(c.Platform, c.Env);
        ASSERT_EQ(dense.Exit, 0) << dense.Output.toStdString();
        const double dpr = dense.Numbers[2];
        EXPECT_EQ(dpr, 2);
        EXPECT_EQ(dense.Numbers[9], 2) << "painted at the screen's density";
        // Device pixels: the share of the physical screen.
        const double physicalWidth = dense.Numbers[0] * dpr;
        const double k = physicalWidth / 1920;  // device pixels per pixel of the plain screen
        for (int i = 3; i <= 6; ++i)
            EXPECT_NEAR(dense.Numbers[i] * dpr, plain.Numbers[i] * k, 2 * k) << "exit button " << i;
        // Dialogs keep their design size in Qt's pixels.
        EXPECT_EQ(dense.Numbers[7], plain.Numbers[7]);
        EXPECT_EQ(dense.Numbers[8], plain.Numbers[8]);
    }
}

// The drawings are made at the size the screen gives them, once per size.
TEST(ScreenFit, DrawingsAreMadeAtTheirControlsSize) {
    QRectF given;
    cArtwork art([&given](QPainter&, const QRectF& r) { given = r; }, nullptr);
    art.resize(596, 157);
    art.grab();
    EXPECT_EQ(given, QRectF(0, 0, 596, 157));
    art.grab();
    EXPECT_EQ(art.Drawn(), 1) << "the same size is not drawn again";
    art.resize(331, 88);
    art.grab();
    EXPECT_EQ(given, QRectF(0, 0, 331, 88));
    EXPECT_EQ(art.Drawn(), 2);
}

// The lamps of the visualisation screen lie over their seats in the drawn
// console at every screen size (they are separate controls on top of it).
TEST(ScreenFit, ConsoleLampsSitOnTheirSeats) {
    for (QSize size : {QSize(1920, 1080), QSize(1366, 768), QSize(800, 600)}) {
        SCOPED_TRACE(QStringLiteral("%1x%2").arg(size.width()).arg(size.height()).toStdString());
        cProgram program;
        cIOForm::SetScreenOverride(size, 96);
        GuiTestKit::cSilentLine line;
        program.SetExtraPorts({line.Path()});
        program.WriteIni("COM: " + line.Path() + "\r\nLanguage: en\r\n");
        ASSERT_EQ(program.Start(), cShell::eStart::Ok);
        program.QuietLink();
        auto* console = VisScreen->findChild<QWidget*>(QStringLiteral("Image1"));
        ASSERT_TRUE(console);
        const double kx = console->width() / Artwork::ConsoleWidth, ky = console->height() / Artwork::ConsoleHeight;
        auto seatOf = [&](const char* name) {
            auto* lamp = VisScreen->findChild<QWidget*>(QString::fromLatin1(name));
            const QPoint c = lamp->geometry().center() - console->geometry().topLeft();
            return QPointF(c.x() / kx, c.y() / ky);
        };
        for (int i = 0; i < 6; ++i) {
            const QPointF at = seatOf(QStringLiteral("FuelLevelSH%1").arg(i).toLatin1().constData());
            EXPECT_NEAR(at.x(), 96 + 56 * i, 1.5) << i;
            EXPECT_NEAR(at.y(), 50, 1.5) << i;
        }
        EXPECT_NEAR(seatOf("GasSH").x(), 40, 1.5);
        EXPECT_NEAR(seatOf("PetrolSH").y(), 120, 1.5);
        program.Stop();
    }
    cIOForm::SetScreenOverride(QSize(1024, 768), 96);
}

// Laid out again for any window size, the whole design fits the window,
// centred, at the smaller of the two ratios.
TEST(ScreenFit, AnyWindowSizeHoldsTheWholeDesignCentred) {
    const QRect design(0, 0, 1024, 768);
    for (QSize window : {QSize(600, 400), QSize(800, 600), QSize(1366, 768), QSize(1920, 1080), QSize(1024, 300),
                         QSize(300, 1000), QSize(1023, 767), QSize(2560, 1600)}) {
        SCOPED_TRACE(QStringLiteral("%1x%2").arg(window.width()).arg(window.height()).toStdString());
        const double ratio = cIOForm::FitRatio(window, 96);
        const QPoint origin = cIOForm::FitOrigin(window, ratio);
        const QRect placed = cIOForm::FitRect(design, ratio, origin);
        EXPECT_TRUE(QRect(QPoint(0, 0), window).contains(placed))
            << placed.x() << "," << placed.y() << " " << placed.width() << "x" << placed.height();
        // One side is filled (within a pixel), the margins on the other are equal.
        EXPECT_TRUE(std::abs(placed.width() - window.width()) <= 1 || std::abs(placed.height() - window.height()) <= 1);
        EXPECT_LE(std::abs(placed.left() - (window.width() - placed.right() - 1)), 1);
        EXPECT_LE(std::abs(placed.top() - (window.height() - placed.bottom() - 1)), 1);
    }
}

// A window made smaller (or larger) by a window manager is laid out again:
// every control stays inside it, and back at the screen's size the layout is
// the one it started with.
TEST(ScreenFit, ResizedWindowsAreLaidOutAgain) {
    GuiTestKit::cSilentLine line;
    cProgram program;
    cIOForm::SetScreenOverride(QSize(1024, 768), 96);
    program.SetExtraPorts({line.Path()});
    program.WriteIni("COM: " + line.Path() + "\r\nLanguage: en\r\n");
    ASSERT_EQ(program.Start(), cShell::eStart::Ok);
    program.QuietLink();
    for (cIOForm* form : program.Shell->Forms()) {
        // The help viewer's picture is larger than any window: it scrolls.
        if (!IsFullScreen(form) || form->objectName() == QStringLiteral("HelpForm")) continue;
        SCOPED_TRACE(form->objectName().toStdString());
        form->show();
        QCoreApplication::processEvents();
        const QStringList before = Layout(form);
        for (QSize size : {QSize(600, 400), QSize(1600, 700)}) {
            form->resize(size);
            QCoreApplication::processEvents();
            EXPECT_DOUBLE_EQ(form->Scale(), cIOForm::FitRatio(size, cIOForm::ScreenDpi()));
            for (QWidget* w : Controls(form)) {
                if (!w->isVisibleTo(form) || w->objectName() == QStringLiteral("FocusMark")) continue;
                const QRect r(w->mapTo(form, QPoint(0, 0)), w->size());
                EXPECT_TRUE(QRect(QPoint(0, 0), size).contains(r)) << PathOf(w, form).toStdString();
            }
        }
        form->resize(1024, 768);
        QCoreApplication::processEvents();
        EXPECT_EQ(Layout(form), before);
        form->hide();
    }
    program.Stop();
    cIOForm::ClearScreenOverride();
}

// Nothing a fitter must read is drawn under 10 pixels at 800 x 600: every
// control with a font of its own (labels, buttons, lists, gauges' scales).
TEST(ScreenFit, NoTextUnderTenPixelsAt800x600) {
    const sSized m = Measure(QSize(800, 600));
    int checked = 0;
    for (const QString& line : m.Layout) {
        const int font = line.section(QLatin1Char(' '), -1).toInt();
        if (font < 0) continue;  // no font of its own
        ++checked;
        EXPECT_GE(font, 10) << line.toStdString();
    }
    EXPECT_GT(checked, 100);
}
