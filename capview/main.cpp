// zvbasic-capview: plots capture files of the visualisation screen.
//   zvbasic-capview [FILE.dat ...]                  the window
//   zvbasic-capview --png OUT.png [--size WxH] FILE  a picture, no window
//   zvbasic-capview --svg OUT.svg [--size WxH] FILE
//   zvbasic-capview --csv OUT.csv FILE               a spreadsheet file
//   zvbasic-capview --table OUT.csv [--rpm-step N] [--tps-step V]
//                   [--rich-above V] FILE            the speed x throttle map
// An output named "-" is standard output (one output at most).
// The picture options take --compare FILE2 [--stacked],
// --seconds-per-record S and --scatter X:Y[:C] (a scatter plot instead of
// the time traces). Exit status: 0 done, 1 a file could not be read or
// written, 2 bad arguments, 3 the capture holds no records.
#include <algorithm>
#include <cerrno>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QLocale>
#include <QPainter>
#include <QSaveFile>

#include "core/CommandLine.h"
#include "core/Printable.h"
#include "core/Resources.h"
#include "core/SafeWrite.h"
#include "core/Translate.h"
#include "core/Version.h"

#include "formats/CsvExport.h"

#include "analysis/DriveStats.h"
#include "analysis/ViewerText.h"

#include "capview/Platform.h"
#include "capview/PlotPainter.h"
#include "capview/PlotView.h"
#include "capview/SvgPicture.h"
#include "capview/ViewerForm.h"
#include "capview/ViewerQt.h"

namespace {

struct sArgs {
    std::string Png, Svg, Csv, Compare, Table;
    int Width = 1600, Height = 900;
    bool Stacked = false;
    bool Scatter = false;
    int ScatterX = Capture::TraceRpm, ScatterY = Capture::TraceValve, ScatterC = -1;
    Capture::sMapOptions Map;
    double SecondsPerRecord = 0;
    std::vector<std::string> Files;
    // Options given that only pictures use, and those of the map.
    std::vector<std::string> PictureOptions, MapOptions;
    bool Picture() const { return !Png.empty() || !Svg.empty(); }
    bool Headless() const { return Picture() || !Csv.empty() || !Table.empty(); }
};

const char* T(const char* text) { return ViewerText::Get(text); }
const char* TN(const char* singular, const char* plural, unsigned long n) {
    return ViewerText::Get(singular, plural, n);
}

void Usage(FILE* to) {
    std::fprintf(to, "%s\n",
                 T("Usage: zvbasic-capview [FILE.dat ...]\n"
                   "       zvbasic-capview --png OUT.png [--size WIDTHxHEIGHT] FILE.dat\n"
                   "       zvbasic-capview --svg OUT.svg [--size WIDTHxHEIGHT] FILE.dat\n"
                   "       zvbasic-capview --csv OUT.csv FILE.dat\n"
                   "       zvbasic-capview --table OUT.csv [--rpm-step N] [--tps-step V] [--rich-above V] FILE.dat\n"
                   "Picture options: --compare FILE2.dat, --stacked, --seconds-per-record S,\n"
                   "                 --scatter X:Y[:C] with the channels tps, lambda, rpm, valve\n"
                   "An output named - is standard output.\n"
                   "Exit status: 0 done, 1 a file could not be read or written, 2 bad arguments,\n"
                   "             3 the capture holds no records"));
    if (!SvgPicture::Available())
        std::fprintf(to, "%s\n", T("This build writes no SVG drawings: --svg is not available."));
}

// Options that would do nothing in the mode chosen are refused rather than
// ignored, and so are two outputs to standard output. 0, or the exit status.
int Fitting(const sArgs& a) {
    if (!a.Picture())
        for (const std::string& o : a.PictureOptions) {
            std::fprintf(stderr, "%s: %s\n", T("This option works only with --png or --svg"), o.c_str());
            return 2;
        }
    // The pictures of the command line draw the time traces or a scatter
    // plot, never the map: its options shape the table alone.
    if (a.Table.empty())
        for (const std::string& o : a.MapOptions) {
            std::fprintf(stderr, "%s: %s\n", T("This option works only with --table"), o.c_str());
            return 2;
        }
    if (a.Stacked && a.Compare.empty()) {
        std::fprintf(stderr, "%s\n", T("--stacked needs --compare FILE2.dat"));
        return 2;
    }
    int toStdout = 0;
    for (const std::string* out : {&a.Png, &a.Svg, &a.Csv, &a.Table}) toStdout += *out == "-" ? 1 : 0;
    if (toStdout > 1) {
        std::fprintf(stderr, "%s\n", T("Only one output can go to standard output (-)"));
        return 2;
    }
    return 0;
}

// 0: go on, otherwise the exit status.
int Parse(int argc, char** argv, sArgs& a) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "%s: %s\n", T("This option needs a value"), arg.c_str());
                return false;
            }
            out = argv[++i];
            return true;
        };
        std::string v;
        if (arg == "--help" || arg == "-h") {
            Usage(stdout);
            return -1;
        } else if (arg == "--version") {
            const sVersion v = ProgramVersion();
            std::printf("zvbasic-capview %u.%u.%u.%u\n", v.Major, v.Minor, v.Release, v.Build);
            return -1;
        } else if (arg == "--png") {
            if (!value(a.Png)) return 2;
        } else if (arg == "--svg") {
            if (!SvgPicture::Available()) {
                std::fprintf(stderr, "%s\n", T("This build writes no SVG drawings: --svg is not available."));
                return 2;
            }
            if (!value(a.Svg)) return 2;
        } else if (arg == "--csv") {
            if (!value(a.Csv)) return 2;
        } else if (arg == "--table") {
            if (!value(a.Table)) return 2;
        } else if (arg == "--rpm-step" || arg == "--tps-step" || arg == "--rich-above") {
            if (!value(v)) return 2;
            a.MapOptions.push_back(arg);
            char* end = nullptr;
            const double number = std::strtod(v.c_str(), &end);
            if (!end || end == v.c_str() || *end || !std::isfinite(number)) {
                std::fprintf(stderr, "%s: %s %s\n", T("Bad number"), arg.c_str(), v.c_str());
                return 2;
            }
            (arg == "--rpm-step" ? a.Map.RpmStep : arg == "--tps-step" ? a.Map.TpsStep : a.Map.RichAbove) = number;
            if (!Capture::MapOptionsValid(a.Map)) {
                std::fprintf(stderr, "%s: %s %s\n", T("Bad step (a positive number of at least 0.000001)"), arg.c_str(),
                             v.c_str());
                return 2;
            }
        } else if (arg == "--scatter") {
            if (!value(v)) return 2;
            a.PictureOptions.push_back(arg);
            int channels[3] = {-1, -1, -1};
            size_t from = 0;
            int n = 0;
            bool ok = true;
            while (ok && n < 3) {
                const size_t colon = v.find(':', from);
                channels[n++] = Capture::TraceByName(v.substr(from, colon == std::string::npos ? colon : colon - from));
                ok = channels[n - 1] >= 0;
                if (colon == std::string::npos) break;
                from = colon + 1;
                if (n == 3) ok = false;  // more than three names
            }
            if (!ok || n < 2) {
                std::fprintf(stderr, "%s: %s\n", T("Bad scatter channels (X:Y or X:Y:C of tps, lambda, rpm, valve)"),
                             v.c_str());
                return 2;
            }
            a.Scatter = true;
            a.ScatterX = channels[0];
            a.ScatterY = channels[1];
            a.ScatterC = channels[2];
        } else if (arg == "--compare") {
            if (!value(a.Compare)) return 2;
            a.PictureOptions.push_back(arg);
        } else if (arg == "--stacked") {
            a.Stacked = true;
            a.PictureOptions.push_back(arg);
        } else if (arg == "--size") {
            if (!value(v)) return 2;
            a.PictureOptions.push_back(arg);
            int w = 0, h = 0;
            char x = 0, extra = 0;
            if (std::sscanf(v.c_str(), "%d%c%d%c", &w, &x, &h, &extra) != 3 || (x != 'x' && x != 'X') || w < 64 ||
                h < 64 || w > 16384 || h > 16384) {
                std::fprintf(stderr, "%s: %s\n", T("Bad size (WIDTHxHEIGHT, 64 to 16384)"), v.c_str());
                return 2;
            }
            a.Width = w;
            a.Height = h;
        } else if (arg == "--seconds-per-record") {
            if (!value(v)) return 2;
            a.PictureOptions.push_back(arg);
            char* end = nullptr;
            a.SecondsPerRecord = std::strtod(v.c_str(), &end);
            if (!end || end == v.c_str() || *end || !(a.SecondsPerRecord >= 0)) {
                std::fprintf(stderr, "%s: %s %s\n", T("Bad number"), arg.c_str(), Printable::Escaped(v).c_str());
                return 2;
            }
        } else if (arg == "--") {
            for (++i; i < argc; ++i) a.Files.push_back(argv[i]);
        } else if (arg.size() > 1 && arg[0] == '-') {
            std::fprintf(stderr, "%s: %s\n", T("Unknown option"), Printable::Escaped(arg).c_str());
            return 2;
        } else {
            a.Files.push_back(arg);
        }
    }
    return Fitting(a);
}

// Prints what reading a file gave: its records and skipped lines.
void PrintSummary(const std::string& path, uint64_t records, const Capture::sCaptureData& d,
                  const Capture::sReadResult& r) {
    std::fprintf(stderr, "%s: ", Printable::Escaped(path).c_str());
    std::fprintf(stderr, TN("%llu record", "%llu records", (unsigned long)records), (unsigned long long)records);
    if (d.SkippedLines) {
        std::fprintf(stderr, ", ");
        std::fprintf(stderr, TN("%llu line skipped", "%llu lines skipped", (unsigned long)d.SkippedLines),
                     (unsigned long long)d.SkippedLines);
    }
    if (!d.Gaps.empty()) {
        std::fprintf(stderr, ", ");
        std::fprintf(stderr,
                     TN("%llu gap of %.1f s in all", "%llu gaps of %.1f s in all", (unsigned long)d.Gaps.size()),
                     (unsigned long long)d.Gaps.size(), d.GapSeconds());
    }
    if (r.Status == Capture::eReadStatus::OutOfMemory)
        std::fprintf(stderr, ", %s", T("not enough memory for all records"));
    std::fprintf(stderr, "\n");
}

bool Unreadable(const Capture::sReadResult& r) {
    return r.Status == Capture::eReadStatus::CannotOpen || r.Status == Capture::eReadStatus::ReadError ||
           r.Status == Capture::eReadStatus::NotAFile;
}

void PrintUnreadable(const std::string& path, const Capture::sReadResult& r) {
    std::fprintf(stderr, "%s %s: %s\n", T("Cannot read"), Printable::Escaped(path).c_str(),
                 ViewerText::ReadFailure(r).c_str());
}

// Reads a file for a command-line run; prints what reading it gave.
std::shared_ptr<Capture::sLoadedCapture> LoadForCommandLine(const std::string& path) {
    auto c = std::make_shared<Capture::sLoadedCapture>();
    c->Load(path);
    if (Unreadable(c->Result)) {
        PrintUnreadable(path, c->Result);
        return nullptr;
    }
    PrintSummary(path, c->Records(), c->Data, c->Result);
    return c;
}

void PaintPicture(QIODevice& device, bool svgFormat, const Plot::sScene& scene, QSize size, bool& ok) {
    if (svgFormat) {
        ok =
            SvgPicture::Write(device, size, QString(), [&](QPainter& p) { Plot::Paint(p, QSizeF(size), scene); }) && ok;
    } else {
        QImage image(size, QImage::Format_RGB32);
        {
            QPainter p(&image);
            Plot::Paint(p, QSizeF(size), scene);
        }
        // A light compression: the picture's large flat areas pack well
        // anyway, and the strongest level costs more than drawing it.
        ok = image.save(&device, "PNG", 80);
    }
}

bool WritePicture(const std::string& out, bool svgFormat, const Plot::sScene& scene, QSize size) {
    if (out == "-") {
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        bool ok = true;
        PaintPicture(buffer, svgFormat, scene, size, ok);
        if (ok && !ViewerPlatform::WriteStdout(buffer.data().constData(), size_t(buffer.data().size()))) {
            std::fprintf(stderr, "%s %s: %s\n", T("Cannot write"), T("standard output"), std::strerror(errno));
            return false;
        }
        if (!ok) std::fprintf(stderr, "%s %s\n", T("Cannot write"), T("standard output"));
        return ok;
    }
    QSaveFile file(QString::fromStdString(out));
    bool ok = file.open(QIODevice::WriteOnly);
    if (ok) {
        PaintPicture(file, svgFormat, scene, size, ok);
        ok = ok && file.commit();
    }
    if (!ok)
        std::fprintf(stderr, "%s %s: %s\n", T("Cannot write"), Printable::Escaped(out).c_str(),
                     file.errorString().toLocal8Bit().constData());
    return ok;
}

bool WriteTable(const std::string& out, const Capture::sDriveMap& map) {
    const std::string text = Capture::DriveMapCsv(map);
    std::string error;
    if (out == "-") {
        if (ViewerPlatform::WriteStdout(text.data(), text.size())) return true;
        error = std::strerror(errno);
    } else if (SafeWrite::ReplaceFile(out, text, &error)) {
        return true;
    }
    std::fprintf(stderr, "%s %s: %s\n", T("Cannot write"),
                 out == "-" ? T("standard output") : Printable::Escaped(out).c_str(), error.c_str());
    return false;
}

int RunCommandLine(int argc, char** argv, const sArgs& a) {
    if (a.Files.size() != 1) {
        std::fprintf(stderr, "%s\n", T("--png, --svg, --csv and --table take exactly one capture file"));
        Usage(stderr);
        return 2;
    }
    const std::string& path = a.Files[0];
    // Refused at once, before any output is made: a pipe or a device would
    // be waited on for ever.
    if (const Capture::sReadResult check = Capture::CheckCaptureFile(path); check.Status != Capture::eReadStatus::Ok) {
        PrintUnreadable(path, check);
        return 1;
    }
    int status = 0;
    bool empty = false;
    if (!a.Csv.empty()) {
        // Converted while reading: the records are never all in memory.
        std::string error;
        Capture::sCaptureData counts;
        Capture::sReadResult read;
        uint64_t records = 0;
        if (!Capture::ConvertCaptureToCsv(path, a.Csv, counts, records, read, &error)) {
            if (read.Status != Capture::eReadStatus::Ok) PrintUnreadable(path, read);
            else
                std::fprintf(stderr, "%s %s: %s\n", T("Cannot write"),
                             a.Csv == "-" ? T("standard output") : Printable::Escaped(a.Csv).c_str(), error.c_str());
            return 1;
        }
        PrintSummary(path, records, counts, read);
        empty = records == 0;
    }
    if (!a.Picture() && a.Table.empty()) return empty ? 3 : status;

    if (!a.Picture()) {
        // The map alone: built while reading, only the cells' sums held.
        Capture::cDriveMapBuilder builder(a.Map);
        Capture::sCaptureData counts;
        uint64_t records = 0;
        const Capture::sReadResult read = Capture::ReadCaptureFileInPieces(path, counts, [&](Capture::sCaptureData& d) {
            builder.Add(d, Capture::sRange::All(d));
            records += d.Records();
            d.Truncate(0);
            return true;
        });
        if (Unreadable(read)) {
            PrintUnreadable(path, read);
            return 1;
        }
        PrintSummary(path, records, counts, read);
        if (!WriteTable(a.Table, builder.Result())) return 1;
        if (records == 0) {
            std::fprintf(stderr, "%s: %s\n", Printable::Escaped(path).c_str(), T("no records"));
            return 3;
        }
        return status;
    }

    auto capture = LoadForCommandLine(path);
    if (!capture) return 1;
    empty = capture->Records() == 0;
    if (!a.Table.empty() &&
        !WriteTable(a.Table, Capture::BuildDriveMap(capture->Data, Capture::sRange::All(capture->Data), a.Map)))
        status = 1;
    if (a.Picture()) {
        // Pictures need fonts but no screen.
        ViewerPlatform::ChoosePicturePlatform();
        QGuiApplication app(argc, argv);
        Plot::sScene scene;
        scene.Primary = capture;
        if (!a.Compare.empty()) {
            scene.Second = LoadForCommandLine(a.Compare);
            if (!scene.Second) return 1;
        }
        scene.Compare = a.Stacked ? Plot::eCompare::Stacked : Plot::eCompare::Overlaid;
        scene.SecondsPerRecord = a.SecondsPerRecord;
        scene.View = Plot::FullView(scene.Records(), cPlotView::MinSpan);
        scene.EmptyText = CvTr("No records");
        if (a.Scatter) {
            scene.Kind = Plot::eKind::Scatter;
            scene.ScatterX = a.ScatterX;
            scene.ScatterY = a.ScatterY;
            scene.ScatterC = a.ScatterC;
        }
        scene.Map = a.Map;
        const QSize size(a.Width, a.Height);
        if (!a.Png.empty() && !WritePicture(a.Png, false, scene, size)) status = 1;
        if (!a.Svg.empty() && !WritePicture(a.Svg, true, scene, size)) status = 1;
    }
    if (status == 0 && empty) {
        std::fprintf(stderr, "%s: %s\n", Printable::Escaped(path).c_str(), T("no records"));
        return 3;
    }
    return status;
}

[[noreturn]] void NoDisplay() {
    std::fprintf(stderr, "zvbasic-capview: %s\n%s\n", T("the window needs a display, and none could be opened."),
                 T("Without a display use --png, --svg, --csv or --table (see --help)."));
    std::exit(1);
}

// While the window's toolkit starts: its fatal message (no display to be
// had) ends the program plainly instead of aborting it.
void OpeningDisplay(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type != QtFatalMsg) {
        std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
        return;
    }
    std::fprintf(stderr, "zvbasic-capview: %s\n", message.toLocal8Bit().constData());
    NoDisplay();
}

}  // namespace

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    std::string exeDir = Resources::ExecutableDir();
    if (exeDir.empty()) exeDir = ".";
    ViewerText::Init(ViewerText::LocaleDir(exeDir));
    // Numbers follow the language of the texts (group and decimal marks
    // alike on the axis, the cursor and the status line).
    const std::string language = ViewerText::ChooseLanguage(exeDir);
    if (!language.empty()) QLocale::setDefault(QLocale(QString::fromStdString(language)));

    std::vector<std::string> arguments = CommandLine::Arguments(argc, argv);
    // Options (--help, --csv, --png ...) answer on the console the viewer
    // was started from; a file alone (a double-click) opens the window.
    if (std::any_of(arguments.begin() + 1, arguments.end(), [](const std::string& a) { return a.rfind('-', 0) == 0; }))
        CommandLine::UseParentConsole();
    std::vector<char*> argPointers;
    for (std::string& arg : arguments) argPointers.push_back(arg.data());
    sArgs args;
    const int parsed = Parse(int(argPointers.size()), argPointers.data(), args);
    if (parsed < 0) return 0;
    if (parsed > 0) {
        Usage(stderr);
        return parsed;
    }
    if (args.Headless()) return RunCommandLine(argc, argv, args);

    // The window needs a display; without one the toolkit would abort.
    if (!ViewerPlatform::CanShowWindow()) NoDisplay();
    qInstallMessageHandler(OpeningDisplay);
    QApplication app(argc, argv);
    qInstallMessageHandler(nullptr);
    QApplication::setApplicationName(QStringLiteral("zvbasic-capview"));
    // The same look as the program's on every system.
    QApplication::setStyle(QStringLiteral("Fusion"));
    TViewerForm form;
    form.show();
    QStringList files;
    for (const std::string& f : args.Files) files << ViewerPlatform::PathText(f);
    if (!files.isEmpty()) form.OpenFiles(files);
    return app.exec();
}
