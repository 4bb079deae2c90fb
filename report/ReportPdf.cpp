#include "report/ReportPdf.h"

#include <algorithm>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include <QBuffer>
#include <QFont>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QLocale>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QPolygonF>

#include "core/SafeWrite.h"
#include "core/Translate.h"

#include "analysis/DriveStats.h"
#include "analysis/MinMaxPyramid.h"

namespace ReportPdf {

namespace {

// The painter works in points (1/72 inch) on a writer of ten times that.
constexpr int kResolution = 720;
constexpr double kScale = kResolution / 72.0;
constexpr double kMargin = 42;  // 15 mm
const QColor kInk(20, 20, 20);
const QColor kGrey(110, 110, 110);
const QColor kRule(170, 170, 170);
const QColor kChangedFill(255, 236, 179);
const QColor kHeadFill(228, 232, 240);

QString Q(const std::string& s) { return QString::fromStdString(s); }
QString T(const char* key) { return QString::fromUtf8(_(key)); }

QFont Font(double points, bool bold = false) {
    // DejaVu Sans where it is (Linux), Arial on Windows: both have Latin
    // and Cyrillic letters, and Arial is the narrower, so nothing measured
    // for DejaVu is cut.
    QFont f;
    f.setFamilies({QStringLiteral("DejaVu Sans"), QStringLiteral("Arial"), QStringLiteral("Liberation Sans")});
    f.setStyleHint(QFont::SansSerif);
    f.setPointSizeF(points / kScale);
    f.setBold(bold);
    // Any letter spacing turns the font's ligatures off: "ff" stays two
    // letters, so a PDF-to-text tool gets the words back as they are spelt.
    f.setLetterSpacing(QFont::AbsoluteSpacing, 0.02);
    return f;
}

class cPage {
public:
    cPage(QPainter& p, double width, double height) : P(p), Width(width), Height(height) {}
    QPainter& P;
    double Width, Height;
    double Left() const { return kMargin; }
    double Right() const { return Width - kMargin; }
    double Inner() const { return Width - 2 * kMargin; }

    // Draws text in a box of width w at (x, y), wrapped; returns its height.
    double Text(double x, double y, double w, const QString& text, const QFont& font, int flags = Qt::AlignLeft,
                const QColor& colour = kInk) {
        P.setFont(font);
        P.setPen(colour);
        const QRectF box(x, y, w, 10000);
        const QRectF used = P.boundingRect(box, flags | Qt::TextWordWrap, text);
        P.drawText(QRectF(x, y, w, used.height()), flags | Qt::TextWordWrap, text);
        return used.height();
    }
    double Measure(double w, const QString& text, const QFont& font) {
        P.setFont(font);
        return P.boundingRect(QRectF(0, 0, w, 10000), Qt::TextWordWrap, text).height();
    }
    void Rule(double y, const QColor& colour = kRule, double width = 0.5) {
        P.setPen(QPen(colour, width));
        P.drawLine(QPointF(Left(), y), QPointF(Right(), y));
    }
};

void Footer(cPage& pg, const Report::sContent& c, int page, int pages) {
    const QFont small = Font(7.5);
    double y = pg.Height - kMargin - 34;
    pg.Rule(y - 4);
    auto line = [&](const char* label, const std::string& file) {
        const QString text = T(label) + QStringLiteral(" ") + (file.empty() ? T(N_("none")) : Q(file));
        y += pg.Text(pg.Left(), y, pg.Inner() - 60, text, small, Qt::AlignLeft, kGrey);
    };
    line(N_("Before (backup to put it back):"), c.BeforeFile);
    line(N_("Now:"), c.NowFile);
    pg.Text(pg.Right() - 60, pg.Height - kMargin - 30, 60, QStringLiteral("%1 / %2").arg(page).arg(pages), small,
            Qt::AlignRight, kGrey);
}

// The page head: title, workshop, and the job's fields.
double Head(cPage& pg, const Report::sContent& c, const char* title) {
    double y = kMargin;
    const double half = pg.Inner() * 0.55;
    double left = pg.Text(pg.Left(), y, half, T(title), Font(18, true));
    left += pg.Text(pg.Left(), y + left + 2, half, QStringLiteral("ZVBasic ") + Q(c.Program), Font(8), Qt::AlignLeft,
                    kGrey) +
            2;
    double right = 0;
    const double rx = pg.Left() + half + 10, rw = pg.Inner() - half - 10;
    if (!c.Workshop.empty()) right += pg.Text(rx, y, rw, Q(c.Workshop), Font(10, true), Qt::AlignRight);
    for (const std::string& a : c.Address) right += pg.Text(rx, y + right, rw, Q(a), Font(8.5), Qt::AlignRight);
    y += std::max(left, right) + 8;
    pg.Rule(y, kInk, 1);
    return y + 8;
}

double Fields(cPage& pg, double y, const Report::sContent& c) {
    const QFont label = Font(9), value = Font(9, true);
    struct sField {
        const char* Label;
        QString Value;
    };
    const QString ecu = c.Identity.empty() ? T(N_("not known (settings from vehicle files)"))
                                           : Q(c.Identity) + QStringLiteral("  ") + Q(c.EcuType);
    const sField fields[] = {
        {N_("Date:"), Q(c.Made)},
        {N_("ECU:"), ecu},
        {N_("Vehicle:"), Q(c.Vehicle)},
        {N_("Fitter:"), Q(c.Fitter)},
    };
    double labelWidth = 0;
    pg.P.setFont(label);
    for (const sField& f : fields)
        labelWidth = std::max(labelWidth, QFontMetricsF(label, pg.P.device()).horizontalAdvance(T(f.Label)));
    labelWidth += 8;
    for (const sField& f : fields) {
        pg.Text(pg.Left(), y, labelWidth, T(f.Label), label, Qt::AlignLeft, kGrey);
        y += std::max(12.0, pg.Text(pg.Left() + labelWidth, y, pg.Inner() - labelWidth, f.Value, value)) + 2;
    }
    return y + 6;
}

double SettingsTable(cPage& pg, double y, const Report::sContent& c) {
    const double w = pg.Inner();
    const double pad = 4;
    const QFont head = Font(9, true), body = Font(9), bold = Font(9, true), markHead = Font(7, true);
    // The mark column as wide as its caption in the language in force
    // ("Изменено" is wider than "Changed"); the setting's name gives way.
    pg.P.setFont(markHead);
    const double markCaption =
        pg.P.boundingRect(QRectF(0, 0, 10000, 1000), Qt::AlignLeft, T(N_("Changed"))).width() + 2 * pad;
    const double valueW = w * 0.24, markW = std::max(w * 0.08, markCaption), nameW = w - 2 * valueW - markW;
    const double x0 = pg.Left(), x1 = x0 + nameW, x2 = x1 + valueW, x3 = x2 + valueW;
    // The head row.
    const double headH = std::max({pg.Measure(nameW - 2 * pad, T(N_("Setting")), head),
                                   pg.Measure(valueW - 2 * pad, T(N_("Before")), head),
                                   pg.Measure(valueW - 2 * pad, T(N_("Now")), head)}) +
                         2 * pad;
    pg.P.fillRect(QRectF(x0, y, w, headH), kHeadFill);
    pg.Text(x0 + pad, y + pad, nameW - 2 * pad, T(N_("Setting")), head);
    pg.Text(x1 + pad, y + pad, valueW - 2 * pad, T(N_("Before")), head);
    pg.Text(x2 + pad, y + pad, valueW - 2 * pad, T(N_("Now")), head);
    pg.Text(x3, y + pad, markW - pad, T(N_("Changed")), markHead, Qt::AlignRight);
    y += headH;
    for (const Report::sRow& r : c.Rows) {
        const QFont& nowFont = r.Changed ? bold : body;
        const double h =
            std::max({pg.Measure(nameW - 2 * pad, Q(r.Name), body), pg.Measure(valueW - 2 * pad, Q(r.Before), body),
                      pg.Measure(valueW - 2 * pad, Q(r.Now), nowFont)}) +
            2 * pad;
        if (r.Changed) pg.P.fillRect(QRectF(x0, y, w, h), kChangedFill);
        pg.Text(x0 + pad, y + pad, nameW - 2 * pad, Q(r.Name), body);
        pg.Text(x1 + pad, y + pad, valueW - 2 * pad, Q(r.Before), body);
        pg.Text(x2 + pad, y + pad, valueW - 2 * pad, Q(r.Now), nowFont);
        if (r.Changed) pg.Text(x3, y + pad, markW - pad, QStringLiteral("*"), bold, Qt::AlignRight);
        y += h;
        pg.Rule(y);
    }
    y += 6;
    const QString summary =
        c.ChangedCount == 0
            ? T(N_("No setting was changed."))
            : QString::fromStdString(Translate::Format(_(N_("Settings changed: %d (marked *)")), c.ChangedCount));
    y += pg.Text(x0, y, w, summary, Font(9, true));
    return y;
}

// The four traces over the records, each pixel column the minimum and
// maximum of the records it covers.
double Traces(cPage& pg, double y, const Capture::sCaptureData& d, const Report::sDrive& drive) {
    struct sTrace {
        int Trace;
        const char* Label;
        QColor Colour;
    };
    const sTrace traces[] = {
        {Capture::TraceTps, N_("Throttle [V]"), QColor(30, 90, 200)},
        {Capture::TraceLambda, N_("Lambda [V]"), QColor(200, 40, 40)},
        {Capture::TraceRpm, N_("Engine speed [RPM]"), QColor(20, 130, 60)},
        {Capture::TraceValve, N_("Valve position"), QColor(150, 80, 10)},
    };
    const double stripH = 58, gap = 6, labelW = 92;
    const double x0 = pg.Left() + labelW, w = pg.Inner() - labelW;
    const size_t n = d.Records();
    const int columns = std::max(1, int(w * 2));
    for (const sTrace& t : traces) {
        // The minimum and maximum under each column from the min/max
        // pyramid, as the viewer draws them.
        Capture::cMinMaxPyramid pyramid;
        pyramid.Build(d.Values[t.Trace].data(), n);
        std::vector<Capture::sColumn> spans;
        pyramid.Decimate(0, double(n) / columns, columns, spans);
        const Capture::sRangeStats all = pyramid.Query(0, n);
        float lo = n ? all.Min : 0, hi = n ? all.Max : 0;
        if (lo > 0) lo = 0;
        if (hi <= lo) hi = lo + 1;
        pg.P.setPen(QPen(kRule, 0.5));
        pg.P.setBrush(Qt::NoBrush);
        pg.P.drawRect(QRectF(x0, y, w, stripH));
        pg.Text(pg.Left(), y, labelW - 6, T(t.Label), Font(7.5, true));
        pg.Text(pg.Left(), y + stripH - 20, labelW - 6,
                QString::number(double(lo), 'f', hi < 10 ? 2 : 0) + QStringLiteral(" – ") +
                    QString::number(double(hi), 'f', hi < 10 ? 2 : 0),
                Font(6.5), Qt::AlignLeft, kGrey);
        auto yOf = [&](float v) { return y + stripH - 2 - double(v - lo) / double(hi - lo) * (stripH - 4); };
        pg.P.setPen(QPen(t.Colour, 0.6));
        QPointF last;
        bool have = false;
        for (int col = 0; col < columns && n; ++col) {
            const Capture::sColumn& span = spans[size_t(col)];
            if (!span.Has) continue;  // fewer records than columns
            // The column's first and last records join it to its neighbours.
            const size_t a = std::min(n - 1, size_t(double(col) * double(n) / columns));
            const size_t b = std::clamp<size_t>(size_t(double(col + 1) * double(n) / columns), a + 1, n);
            const double x = x0 + (double(col) + 0.5) * w / columns;
            if (have) pg.P.drawLine(last, QPointF(x, yOf(d.Value(t.Trace, a))));
            if (span.Max != span.Min) pg.P.drawLine(QPointF(x, yOf(span.Max)), QPointF(x, yOf(span.Min)));
            last = QPointF(x, yOf(d.Value(t.Trace, b - 1)));
            have = true;
        }
        y += stripH + gap;
    }
    const QString axis = drive.TimeKnown
                             ? T(N_("Time")) + QStringLiteral(" 0:00 – ") + Q(Report::DurationText(drive.Seconds))
                             : T(N_("Records")) + QStringLiteral(" 1 – ") + QString::number(qulonglong(n));
    y += pg.Text(x0, y - 2, w, axis, Font(7), Qt::AlignRight, kGrey);
    return y + 6;
}

// The speed x throttle map: the share of the drive in each cell, shaded by
// it, the cell's rich share tinting it red.
double Map(cPage& pg, double y, const Capture::sCaptureData& d, double bottom) {
    Capture::sMapOptions o;
    const Capture::sDriveMap map = Capture::BuildDriveMap(d, Capture::sRange::All(d), o);
    int64_t rpmBins = 1;
    for (const Capture::sMapCell& cell : map.Cells) rpmBins = std::max(rpmBins, cell.RpmBin + 1);
    const int64_t tpsBins = int64_t(std::llround(Capture::MapTpsFullScale / o.TpsStep));
    y += pg.Text(pg.Left(), y, pg.Inner(),
                 T(N_("Speed x throttle map: share of the drive in each cell in %; red: share of rich lambda")),
                 Font(8, true));
    y += 4;
    const double labelW = 70, axisH = 22;
    const double gridW = pg.Inner() - labelW;
    const double cellW = gridW / double(tpsBins);
    const double cellH = std::min(18.0, (bottom - y - axisH) / double(rpmBins));
    const double x0 = pg.Left() + labelW;
    const QFont small = Font(6);
    for (int64_t r = 0; r < rpmBins; ++r) {
        // The fastest speeds at the top.
        const double cy = y + double(rpmBins - 1 - r) * cellH;
        if (cellH >= 7 || r % 2 == 0)
            pg.Text(pg.Left(), cy + (cellH - 8) / 2, labelW - 4,
                    QString::number(map.RpmFrom(r), 'f', 0) + QStringLiteral(" – ") +
                        QString::number(map.RpmFrom(r + 1), 'f', 0),
                    small, Qt::AlignRight, kGrey);
        for (int64_t t = 0; t < tpsBins; ++t) {
            const QRectF box(x0 + double(t) * cellW, cy, cellW, cellH);
            const Capture::sMapCell* cell = map.Find(r, t);
            if (cell) {
                const double share = map.Share(*cell), rich = cell->RichShare();
                const int shade = 255 - int(std::min(1.0, std::sqrt(share)) * 150);
                pg.P.fillRect(
                    box, QColor(std::clamp(shade + int(rich * 60), 0, 255), std::clamp(shade - int(rich * 90), 0, 255),
                                std::clamp(shade - int(rich * 90), 0, 255)));
                if (cellH >= 7)
                    pg.Text(box.x(), box.y() + (cellH - 8) / 2, cellW, QString::number(share * 100, 'f', 1), small,
                            Qt::AlignHCenter);
            }
            pg.P.setPen(QPen(kRule, 0.3));
            pg.P.setBrush(Qt::NoBrush);
            pg.P.drawRect(box);
        }
    }
    y += double(rpmBins) * cellH + 2;
    for (int64_t t = 0; t < tpsBins; t += 2)
        pg.Text(x0 + double(t) * cellW, y, cellW * 2, QString::number(map.TpsFrom(t), 'f', 1), small, Qt::AlignLeft,
                kGrey);
    pg.Text(pg.Left(), y, labelW - 4, T(N_("RPM")) + QStringLiteral(" / V"), small, Qt::AlignRight, kGrey);
    y += 10;
    y += pg.Text(x0, y, gridW, T(N_("Throttle [V]")), Font(7), Qt::AlignHCenter, kGrey);
    return y;
}

void DrivePage(cPage& pg, const Report::sContent& c, const Capture::sCaptureData& d) {
    double y = Head(pg, c, N_("Test drive"));
    const Report::sDrive& drive = c.Drive;
    const QString duration = drive.TimeKnown
                                 ? Q(Report::DurationText(drive.Seconds)) + QStringLiteral(" (") +
                                       QString::fromStdString(Translate::Format(
                                           _(N_("%s s per record")),
                                           QString::number(drive.SecondsPerRecord, 'f', 2).toStdString().c_str())) +
                                       QStringLiteral(")")
                                 : T(N_("not known (the capture does not keep its time)"));
    struct sFigure {
        const char* Label;
        QString Value;
    };
    const sFigure figures[] = {
        {N_("Capture:"), Q(drive.File)},
        {N_("Records:"), QString::number(qulonglong(drive.Records))},
        {N_("Duration:"), duration},
        {N_("Rich share:"), QString::number(drive.RichShare * 100, 'f', 1) + QStringLiteral(" %")},
        {N_("Highest engine speed:"),
         QString::number(double(drive.RpmMax), 'f', 0) + QStringLiteral(" ") + T(N_("RPM"))},
    };
    const QFont label = Font(9), value = Font(9, true);
    double labelWidth = 0;
    for (const sFigure& f : figures)
        labelWidth = std::max(labelWidth, QFontMetricsF(label, pg.P.device()).horizontalAdvance(T(f.Label)));
    labelWidth += 8;
    for (const sFigure& f : figures) {
        pg.Text(pg.Left(), y, labelWidth, T(f.Label), label, Qt::AlignLeft, kGrey);
        y += std::max(12.0, pg.Text(pg.Left() + labelWidth, y, pg.Inner() - labelWidth, f.Value, value)) + 1;
    }
    y += 8;
    y = Traces(pg, y, d, drive);
    Map(pg, y + 4, d, pg.Height - kMargin - 48);
}

}  // namespace

ePaper PaperFor(const std::string& localeName) {
    // "en_US.UTF-8", "fr_CA@euro": the territory follows the underscore.
    const size_t under = localeName.find('_');
    if (under == std::string::npos || localeName.size() < under + 3) return ePaper::A4;
    const std::string territory = localeName.substr(under + 1, 2);
    const bool end =
        localeName.size() == under + 3 || std::string(".@").find(localeName[under + 3]) != std::string::npos;
    return end && (territory == "US" || territory == "CA") ? ePaper::Letter : ePaper::A4;
}

ePaper SystemPaper() {
#ifdef _WIN32
    return PaperFor(QLocale::system().name().toStdString());
#else
    for (const char* name : {"LC_ALL", "LC_PAPER", "LANG"}) {
        const char* v = std::getenv(name);
        if (v && *v) return PaperFor(v);
    }
    return ePaper::A4;
#endif
}

bool Render(const Report::sContent& content, const Capture::sCaptureData* drive, ePaper paper, std::string& pdf,
            std::string& error) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    const bool withDrive = content.HasDrive && drive;
    {
        QPdfWriter writer(&buffer);
        writer.setResolution(kResolution);
        writer.setPageLayout(QPageLayout(QPageSize(paper == ePaper::Letter ? QPageSize::Letter : QPageSize::A4),
                                         QPageLayout::Portrait, QMarginsF(0, 0, 0, 0)));
        writer.setTitle(T(N_("Fitting report")));
        writer.setCreator(QStringLiteral("ZVBasic ") + Q(content.Program));
        QPainter p;
        if (!p.begin(&writer)) {
            error = _(N_("the PDF writer could not start"));
            return false;
        }
        p.scale(kScale, kScale);
        const QSizeF size = writer.pageLayout().fullRect(QPageLayout::Point).size();
        cPage page(p, size.width(), size.height());
        const int pages = withDrive ? 2 : 1;
        double y = Head(page, content, N_("Fitting report"));
        y = Fields(page, y, content);
        SettingsTable(page, y, content);
        Footer(page, content, 1, pages);
        if (withDrive) {
            writer.newPage();
            DrivePage(page, content, *drive);
            Footer(page, content, 2, pages);
        }
        p.end();
    }
    if (bytes.isEmpty()) {
        error = _(N_("the PDF writer made nothing"));
        return false;
    }
    pdf.assign(bytes.constData(), size_t(bytes.size()));
    return true;
}

bool Save(const std::string& path, const std::string& pdf, std::string& error) {
    return SafeWrite::ReplaceFile(path, pdf, &error);
}

namespace {
std::unique_ptr<QGuiApplication> OwnApplication;
}

void EnsureApplication() {
    if (QCoreApplication::instance()) return;
#ifndef _WIN32
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
#endif
    static int argc = 1;
    static char name[] = "zvbasic-cli";
    static char* argv[] = {name, nullptr};
    // The command line says what went wrong itself; Qt's own notes (a
    // missing runtime folder and the like) are not the fitter's business.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
        if (type == QtCriticalMsg || type == QtFatalMsg) std::fprintf(stderr, "%s\n", qPrintable(text));
    });
    OwnApplication = std::make_unique<QGuiApplication>(argc, argv);
    // Qt sets the C locale's numbers from the system; the program writes
    // numbers with a point whatever the locale.
    std::setlocale(LC_NUMERIC, "C");
}

void EndApplication() { OwnApplication.reset(); }

}  // namespace ReportPdf
