#include "capview/ViewerForm.h"

#include <cstring>

#include <QAbstractItemView>
#include <QCloseEvent>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QMimeData>
#include <QPainter>
#include <QProgressBar>
#include <QSaveFile>
#include <QVBoxLayout>

#include "link/CommThread.h"
#include "link/Settings.h"

#include "formats/CsvExport.h"

#include "widgets/DesignFont.h"
#include "widgets/Palette.h"
#include "widgets/ShadowButton.h"
#include "widgets/Shape.h"

#include "kit/QtText.h"
#include "kit/ScreenKit.h"

#include "capview/PlotView.h"
#include "capview/SvgPicture.h"
#include "capview/ViewerQt.h"

namespace {

// ECU versions on either side of the pacing change, for the time presets.
constexpr int kSlowEcu = 31;
constexpr int kFastEcu = 48;

QString Name(const QString& path) { return QFileInfo(path).fileName(); }

// A list's pop-up as wide as its longest item, whatever the list's width.
void FitPopup(QComboBox* c) { c->view()->setMinimumWidth(c->view()->sizeHintForColumn(0) + 24); }

// The catalogue lookups of the style helpers expect deferred sheets to be
// applied by the screen base; this window applies them at once.
void ApplyDeferredStyles(QWidget* root) {
    for (QWidget* child : root->findChildren<QWidget*>()) {
        const QVariant sheet = child->property("zvDeferredStyleSheet");
        if (sheet.isValid()) child->setStyleSheet(sheet.toString());
    }
}

}  // namespace

TViewerForm::tDialogHook& TViewerForm::DialogHook() {
    static tDialogHook hook;
    return hook;
}

TViewerForm::TViewerForm(QWidget* parent)
    : QWidget(parent),
      Loader(
          [this](std::shared_ptr<Capture::sLoadedCapture> capture) {
              const bool compare = !ReadingCompare.empty() && ReadingCompare.front();
              if (!ReadingCompare.empty()) ReadingCompare.pop_front();
              Finished(std::move(capture), compare);
          },
          [this](std::shared_ptr<const Capture::sLoadedCapture> before, std::shared_ptr<Capture::sLoadedCapture> after,
                 bool failed) { Followed(std::move(before), std::move(after), failed); }) {
    setObjectName(QStringLiteral("ViewerForm"));
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Palette::Navy);
    pal.setColor(QPalette::WindowText, Qt::white);
    setPalette(pal);
    setAutoFillBackground(true);
    setAcceptDrops(true);
    setFont(DesignFont(14, false));
    resize(1280, 800);

    auto* top = new QHBoxLayout;
    auto label = [this](const char* name) {
        return ScreenKit::NewLabel(this, name, Qt::AlignRight | Qt::AlignVCenter);
    };
    FileLL = label("FileLL");
    CompareLL = label("CompareLL");
    ModeLL = label("ModeLL");
    TimeLL = label("TimeLL");
    for (QLabel* l : {FileLL, CompareLL, ModeLL, TimeLL}) l->setFont(DesignFont(14, true));
    FileCB = new QComboBox(this);
    FileCB->setObjectName(QStringLiteral("FileCB"));
    CompareCB = new QComboBox(this);
    CompareCB->setObjectName(QStringLiteral("CompareCB"));
    ModeCB = new QComboBox(this);
    ModeCB->setObjectName(QStringLiteral("ModeCB"));
    TimeCB = new QComboBox(this);
    TimeCB->setObjectName(QStringLiteral("TimeCB"));
    SecondsED = new QDoubleSpinBox(this);
    SecondsED->setObjectName(QStringLiteral("SecondsED"));
    SecondsED->setRange(0, 3600);
    SecondsED->setDecimals(3);
    SecondsED->setSingleStep(0.1);
    SecondsED->setStyleSheet(QStringLiteral("QDoubleSpinBox { background: rgb(233,232,171); color: black; }"));
    // The lists may be narrower than their longest item (their pop-ups show
    // it whole), so that the row fits an 800 pixel wide window.
    for (QComboBox* c : {FileCB, CompareCB, ModeCB, TimeCB}) {
        ScreenKit::StyleCombo(c);
        c->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        c->setMinimumContentsLength(3);
        c->setFocusPolicy(Qt::NoFocus);
        c->view()->setTextElideMode(Qt::ElideNone);
    }
    SecondsED->setFocusPolicy(Qt::ClickFocus);
    SecondsED->setMinimumWidth(70);
    SecondsED->setButtonSymbols(QAbstractSpinBox::NoButtons);
    ModeLL->hide();
    top->setSpacing(5);
    top->addWidget(FileLL);
    top->addWidget(FileCB, 2);
    top->addSpacing(8);
    top->addWidget(CompareLL);
    top->addWidget(CompareCB, 2);
    top->addWidget(ModeCB, 1);
    top->addSpacing(8);
    top->addWidget(TimeLL);
    top->addWidget(TimeCB, 2);
    top->addWidget(SecondsED);

    // The second row: the view and its own controls.
    auto* second = new QHBoxLayout;
    ViewLL = label("ViewLL");
    XLL = label("XLL");
    YLL = label("YLL");
    ColourLL = label("ColourLL");
    MapColourLL = label("MapColourLL");
    RpmStepLL = label("RpmStepLL");
    TpsStepLL = label("TpsStepLL");
    RichLL = label("RichLL");
    for (QLabel* l : {ViewLL, XLL, YLL, ColourLL, MapColourLL, RpmStepLL, TpsStepLL, RichLL})
        l->setFont(DesignFont(14, true));
    auto combo = [this](const char* name) {
        auto* c = new QComboBox(this);
        c->setObjectName(QString::fromLatin1(name));
        ScreenKit::StyleCombo(c);
        c->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        c->setMinimumContentsLength(6);
        c->setFocusPolicy(Qt::NoFocus);
        c->view()->setTextElideMode(Qt::ElideNone);
        return c;
    };
    ViewCB = combo("ViewCB");
    XCB = combo("XCB");
    YCB = combo("YCB");
    ColourCB = combo("ColourCB");
    MapColourCB = combo("MapColourCB");
    auto spin = [this](const char* name, double lo, double hi, int decimals, double step, double value) {
        auto* e = new QDoubleSpinBox(this);
        e->setObjectName(QString::fromLatin1(name));
        e->setRange(lo, hi);
        e->setDecimals(decimals);
        e->setSingleStep(step);
        e->setValue(value);
        e->setFocusPolicy(Qt::ClickFocus);
        e->setButtonSymbols(QAbstractSpinBox::NoButtons);
        e->setMaximumWidth(96);
        e->setStyleSheet(QStringLiteral("QDoubleSpinBox { background: rgb(233,232,171); color: black; }"));
        return e;
    };
    const Capture::sMapOptions defaults;
    RpmStepED = spin("RpmStepED", 50, 10000, 0, 50, defaults.RpmStep);
    TpsStepED = spin("TpsStepED", 0.05, 5, 2, 0.05, defaults.TpsStep);
    RichED = spin("RichED", 0, 5, 2, 0.01, defaults.RichAbove);
    second->setSpacing(5);
    second->addWidget(ViewLL);
    second->addWidget(ViewCB, 2);
    second->addSpacing(8);
    for (QWidget* w : std::initializer_list<QWidget*>{XLL, XCB, YLL, YCB, ColourLL, ColourCB, RpmStepLL, RpmStepED,
                                                      TpsStepLL, TpsStepED, RichLL, RichED, MapColourLL, MapColourCB})
        second->addWidget(w, qobject_cast<QComboBox*>(w) ? 1 : 0);

    PlotView = new cPlotView(this);
    PlotView->setObjectName(QStringLiteral("PlotView"));

    // The status panel as on the program's screens, with the progress bar.
    auto* bottom = new QHBoxLayout;
    StatusRow = new QHBoxLayout;
    ButtonRow = bottom;
    StatusSH = new cShape(this);
    StatusSH->setObjectName(QStringLiteral("StatusSH"));
    StatusSH->SetBrush(Qt::black);
    StatusSH->SetPen(Palette::Orange, 2);
    StatusSH->SetRadius(12);
    StatusSH->setMinimumHeight(54);
    auto* statusLayout = new QHBoxLayout(StatusSH);
    statusLayout->setContentsMargins(14, 4, 14, 4);
    StatusLL = new QLabel(StatusSH);
    StatusLL->setObjectName(QStringLiteral("StatusLL"));
    StatusLL->setFont(DesignFont(18, true));
    ScreenKit::StyleLabel(StatusLL, Palette::Yellow);
    StatusLL->setTextInteractionFlags(Qt::NoTextInteraction);
    // A long message is cut to the panel, never widening the window past
    // its size (the buttons and the plot's boxes stay in view).
    StatusLL->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    StatusLL->setWordWrap(true);
    StatusLL->setMinimumWidth(0);
    LoadPB = new QProgressBar(StatusSH);
    LoadPB->setObjectName(QStringLiteral("LoadPB"));
    LoadPB->setRange(0, 1000);
    LoadPB->setTextVisible(false);
    LoadPB->setMaximumWidth(220);
    LoadPB->setStyleSheet(QStringLiteral("QProgressBar { background: black; border: 1px solid %1; height: 14px; }"
                                         "QProgressBar::chunk { background: %1; }")
                              .arg(Palette::Orange.name()));
    LoadPB->hide();
    statusLayout->addWidget(StatusLL, 1);
    statusLayout->addWidget(LoadPB);
    bottom->addWidget(StatusSH, 3);
    auto button = [this, bottom](const char* name) {
        auto* b = new cShadowButton(this);
        b->setObjectName(QString::fromLatin1(name));
        b->setMinimumSize(130, 54);
        b->setFont(DesignFont(17, true));
        bottom->addSpacing(10);
        bottom->addWidget(b, 1);
        return b;
    };
    OpenBtn = button("OpenBtn");
    PictureBtn = button("PictureBtn");
    CsvBtn = button("CsvBtn");
    ExitBtn = button("ExitBtn");
    connect(OpenBtn, &QAbstractButton::clicked, this, [this] { OpenBtnClick(); });
    connect(PictureBtn, &QAbstractButton::clicked, this, [this] { PictureBtnClick(); });
    connect(CsvBtn, &QAbstractButton::clicked, this, [this] { CsvBtnClick(); });
    connect(ExitBtn, &QAbstractButton::clicked, this, [this] { close(); });

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(12, 10, 12, 12);
    outer->setSpacing(8);
    outer->addLayout(top);
    outer->addLayout(second);
    outer->addWidget(PlotView, 1);
    outer->addLayout(StatusRow);
    outer->addLayout(bottom);

    connect(FileCB, &QComboBox::currentIndexChanged, this, [this] { ApplyChoice(); });
    connect(CompareCB, &QComboBox::currentIndexChanged, this, [this] { ApplyChoice(); });
    connect(ModeCB, &QComboBox::currentIndexChanged, this, [this] { ApplyChoice(); });
    connect(TimeCB, &QComboBox::currentIndexChanged, this, [this] { ApplyTime(); });
    connect(SecondsED, &QDoubleSpinBox::valueChanged, this, [this](double v) {
        if (Filling) return;
        PlotView->SetSecondsPerRecord(v);
        Filling = true;
        TimeCB->setCurrentIndex(v > 0 ? 3 : 0);
        Filling = false;
    });

    connect(ViewCB, &QComboBox::currentIndexChanged, this, [this] { ApplyKind(); });
    for (QComboBox* c : {XCB, YCB, ColourCB})
        connect(c, &QComboBox::currentIndexChanged, this, [this] { ApplyScatter(); });
    connect(MapColourCB, &QComboBox::currentIndexChanged, this, [this] { ApplyMap(); });
    for (QDoubleSpinBox* e : {RpmStepED, TpsStepED, RichED})
        connect(e, &QDoubleSpinBox::valueChanged, this, [this] { ApplyMap(); });
    FollowTM.setInterval(FollowMs);
    connect(&FollowTM, &QTimer::timeout, this, [this] { FollowTick(); });

    ProgressTM.setInterval(100);
    connect(&ProgressTM, &QTimer::timeout, this, [this] { ShowProgress(); });

    Retranslate();
    ApplyDeferredStyles(this);
    FillFileLists();
    ApplyKind();
    PlotView->setFocus();
}

TViewerForm::~TViewerForm() {
    Queue.clear();
    FollowTM.stop();
    Loader.Stop();
}

void TViewerForm::Retranslate() {
    setWindowTitle(CvTr("ZVBasic capture viewer"));
    FileLL->setText(CvTr("Capture:"));
    CompareLL->setText(CvTr("Compare with:"));
    TimeLL->setText(CvTr("Time axis:"));
    OpenBtn->setText(CvTr("  F3  Open"));
    PictureBtn->setText(CvTr("  F5  Picture"));
    CsvBtn->setText(CvTr("  F6  CSV"));
    ExitBtn->setText(CvTr("  F10  Exit"));
    Filling = true;
    const int mode = ModeCB->currentIndex();
    ModeCB->clear();
    ModeCB->addItem(CvTr("overlaid"));
    ModeCB->addItem(CvTr("one above the other"));
    ModeCB->setCurrentIndex(std::max(mode, 0));
    const int time = TimeCB->currentIndex();
    TimeCB->clear();
    const QString version = QString::fromStdString(Ecu::NibbleText(32));
    auto preset = [&](const char* pattern, int ecu) {
        return CvTr(pattern).arg(version).arg(QLocale().toString(cCommThread::PollCycleSeconds(ecu), 'f', 2));
    };
    TimeCB->addItem(CvTr("record number"));
    TimeCB->addItem(preset(CvN_("ECU below version %1: %2 s per record"), kSlowEcu));
    TimeCB->addItem(preset(CvN_("ECU from version %1: %2 s per record"), kFastEcu));
    TimeCB->addItem(CvTr("seconds per record:"));
    TimeCB->setCurrentIndex(std::max(time, 0));
    const int view = ViewCB->currentIndex();
    ViewCB->clear();
    ViewCB->addItem(CvTr("time traces"));
    ViewCB->addItem(CvTr("scatter plot"));
    ViewCB->addItem(CvTr("speed x throttle map"));
    ViewCB->addItem(CvTr("histograms"));
    ViewCB->setCurrentIndex(std::max(view, 0));
    const int x = XCB->currentIndex(), y = YCB->currentIndex(), colour = ColourCB->currentIndex();
    for (QComboBox* c : {XCB, YCB, ColourCB}) {
        c->clear();
        if (c == ColourCB) c->addItem(CvTr("(none)"));
        for (int t = 0; t < Capture::TraceCount; ++t) c->addItem(CvTr(Plot::TraceLook(t).Title));
    }
    XCB->setCurrentIndex(x >= 0 ? x : Capture::TraceRpm);
    YCB->setCurrentIndex(y >= 0 ? y : Capture::TraceValve);
    ColourCB->setCurrentIndex(std::max(colour, 0));
    const int mapColour = MapColourCB->currentIndex();
    MapColourCB->clear();
    MapColourCB->addItem(CvTr("share of the drive"));
    MapColourCB->addItem(CvTr("mean valve position"));
    MapColourCB->addItem(CvTr("mean lambda voltage"));
    MapColourCB->addItem(CvTr("share rich"));
    MapColourCB->setCurrentIndex(mapColour >= 0 ? mapColour : int(Plot::eMapColour::Rich));
    Filling = false;
    for (QComboBox* c : {ModeCB, TimeCB, ViewCB, XCB, YCB, ColourCB, MapColourCB}) FitPopup(c);
    ViewLL->setText(CvTr("F4 View:"));
    XLL->setText(CvTr("X:"));
    YLL->setText(CvTr("Y:"));
    ColourLL->setText(CvTr("Colour:"));
    MapColourLL->setText(CvTr("Colour:"));
    // The map's cell size: engine speed and throttle steps with their units.
    RpmStepLL->setText(CvTr("Cells:"));
    RpmStepED->setSuffix(QStringLiteral(" ") + CvTr("rpm"));
    TpsStepED->setSuffix(QStringLiteral(" ") + CvTr("V"));
    RichED->setSuffix(QStringLiteral(" ") + CvTr("V"));
    RichLL->setText(CvTr("rich above:"));
    PlotView->SetEmptyText(PlotView->Scene().Primary ? CvTr("No records")
                                                     : CvTr("Open a capture file (F3) or drop it here."));
    FillFileLists();
    UpdateStatus();
}

void TViewerForm::changeEvent(QEvent* e) {
    if (e->type() == QEvent::LanguageChange) Retranslate();
    QWidget::changeEvent(e);
}

void TViewerForm::FillFileLists() {
    Filling = true;
    const int file = FileCB->currentIndex(), compare = CompareCB->currentIndex();
    FileCB->clear();
    CompareCB->clear();
    CompareCB->addItem(CvTr("(none)"));
    for (const auto& c : Loaded) {
        FileCB->addItem(Name(QString::fromStdString(c->Path)));
        CompareCB->addItem(Name(QString::fromStdString(c->Path)));
    }
    FileCB->setCurrentIndex(file >= 0 && file < FileCB->count() ? file : FileCB->count() - 1);
    CompareCB->setCurrentIndex(compare >= 0 && compare < CompareCB->count() ? compare : 0);
    FileCB->setEnabled(!Loaded.empty());
    CompareCB->setEnabled(Loaded.size() >= 2);
    ModeCB->setEnabled(CompareCB->currentIndex() > 0);
    PictureBtn->setEnabled(!Loaded.empty());
    CsvBtn->setEnabled(!Loaded.empty());
    for (QComboBox* c : {FileCB, CompareCB}) FitPopup(c);
    Filling = false;
}

void TViewerForm::ApplyChoice() {
    if (Filling) return;
    const int file = FileCB->currentIndex(), compare = CompareCB->currentIndex() - 1;
    std::shared_ptr<const Capture::sLoadedCapture> primary, second;
    if (file >= 0 && file < int(Loaded.size())) primary = Loaded[size_t(file)];
    if (compare >= 0 && compare < int(Loaded.size()) && compare != file) second = Loaded[size_t(compare)];
    ModeCB->setEnabled(second != nullptr);
    PlotView->SetCompare(ModeCB->currentIndex() == 1 ? Plot::eCompare::Stacked : Plot::eCompare::Overlaid);
    PlotView->SetCaptures(primary, second);
    PlotView->SetEmptyText(primary ? CvTr("No records") : CvTr("Open a capture file (F3) or drop it here."));
    Message.clear();
    UpdateStatus();
}

void TViewerForm::ApplyTime() {
    if (Filling) return;
    double seconds = SecondsED->value();
    switch (TimeCB->currentIndex()) {
    case 0: seconds = 0; break;
    case 1: seconds = cCommThread::PollCycleSeconds(kSlowEcu); break;
    case 2: seconds = cCommThread::PollCycleSeconds(kFastEcu); break;
    default:
        if (seconds <= 0) seconds = 1;
        break;
    }
    Filling = true;
    SecondsED->setValue(seconds);
    Filling = false;
    PlotView->SetSecondsPerRecord(seconds);
}

QString TViewerForm::StatusText() const { return StatusFull; }

void TViewerForm::ShowStatus(const QString& text) {
    StatusFull = text;
    // The whole message in the panel: on two lines where one is too short,
    // in a smaller font where two are; cut in the middle only where even
    // the smallest readable font does not take it.
    const QRect room = StatusLL->contentsRect();
    QFont font = DesignFont(18, true);
    if (room.width() > 20) {
        for (int size = 18; size >= 10; --size) {
            font = DesignFont(size, true);
            const QRect needed =
                QFontMetrics(font).boundingRect(QRect(0, 0, room.width(), 10000), Qt::TextWordWrap, text);
            if (needed.height() <= room.height() && needed.width() <= room.width()) break;
        }
    }
    StatusLL->setFont(font);
    const QFontMetrics fm(font);
    const bool fits =
        room.width() <= 20 ||
        fm.boundingRect(QRect(0, 0, room.width(), 10000), Qt::TextWordWrap, text).height() <= room.height();
    StatusLL->setText(fits ? text : fm.elidedText(text, Qt::ElideMiddle, room.width() * 2));
    StatusLL->setToolTip(text);
}

void TViewerForm::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    // Below 1100 pixels the status panel takes a row of its own above the
    // buttons, so that its message stays readable.
    const bool own = width() < 1100;
    if (own != (StatusRow->indexOf(StatusSH) >= 0)) {
        if (own) {
            ButtonRow->removeWidget(StatusSH);
            StatusRow->addWidget(StatusSH);
        } else {
            StatusRow->removeWidget(StatusSH);
            ButtonRow->insertWidget(0, StatusSH, 3);
        }
    }
    // The label has its new width only after the layout has run.
    QMetaObject::invokeMethod(
        this, [this] { ShowStatus(StatusFull); }, Qt::QueuedConnection);
}

void TViewerForm::UpdateStatus() {
    if (!Message.isEmpty()) {
        ShowStatus(Message);
        return;
    }
    if (IsLoading()) {
        ShowStatus(CvTr("Reading %1 ...").arg(Reading));
        return;
    }
    const auto& primary = PlotView->Scene().Primary;
    if (!primary) {
        ShowStatus(CvTr("No capture open"));
        return;
    }
    const Capture::sLoadedCapture& c = *primary;
    const QString name = Name(QString::fromStdString(c.Path));
    QString text;
    switch (c.Result.Status) {
    case Capture::eReadStatus::CannotOpen:
    case Capture::eReadStatus::NotAFile:
        ShowStatus(
            CvTr("Cannot open %1: %2").arg(name, QString::fromLocal8Bit(ViewerText::ReadFailure(c.Result).c_str())));
        return;
    case Capture::eReadStatus::ReadError:
        text = CvTr("Read error, the rest of the file is missing") + QStringLiteral(" · ");
        break;
    case Capture::eReadStatus::Cancelled:
        text = CvTr("Reading cancelled, the rest of the file is missing") + QStringLiteral(" · ");
        break;
    case Capture::eReadStatus::OutOfMemory:
        text = CvTr("Not enough memory, the rest of the file is missing") + QStringLiteral(" · ");
        break;
    case Capture::eReadStatus::Ok: break;
    }
    const unsigned long records = (unsigned long)c.Records();
    text += name + QStringLiteral(": ") +
            CvTrN("%1 record", "%1 records", records).arg(QLocale().toString(qulonglong(records)));
    const unsigned long skipped = (unsigned long)c.Data.SkippedLines;
    if (skipped)
        text += QStringLiteral(", ") +
                CvTrN("%1 line skipped", "%1 lines skipped", skipped).arg(QLocale().toString(qulonglong(skipped)));
    if (const unsigned long gaps = (unsigned long)c.Data.Gaps.size())
        text += QStringLiteral(", ") +
                CvTrN("%1 gap of %2 s in all", "%1 gaps of %2 s in all", gaps)
                    .arg(QLocale().toString(qulonglong(gaps)), QLocale().toString(c.Data.GapSeconds(), 'f', 1));
    if (c.Data.DroppedRecords)
        text += QStringLiteral(", ") +
                CvTrN("%1 record not kept", "%1 records not kept", (unsigned long)c.Data.DroppedRecords)
                    .arg(QLocale().toString(qulonglong(c.Data.DroppedRecords)));
    if (FollowOn) text += QStringLiteral(" · ") + CvTr("following the file (F7 stops)");
    const auto& scene = PlotView->Scene();
    if (scene.Selection && scene.Kind != Plot::eKind::Time)
        text += QStringLiteral(" · ") + CvTr("records %1 to %2")
                                            .arg(QLocale().toString(qulonglong(scene.Selection->first + 1)),
                                                 QLocale().toString(qulonglong(scene.Selection->second + 1)));
    ShowStatus(text);
}

// --- reading ---

void TViewerForm::OpenFiles(const QStringList& paths) {
    for (int i = 0; i < paths.size(); ++i) Queue.push_back({paths[i], paths.size() == 2 && i == 1});
    if (!IsLoading()) StartNext();
}

void TViewerForm::CancelLoading() { Loader.Cancel(); }

void TViewerForm::StartNext() {
    if (Queue.empty() || IsLoading()) return;
    const sJob job = Queue.front();
    Queue.erase(Queue.begin());
    Reading = Name(job.Path);
    ProgressTicks = 0;
    Message.clear();
    if (Loader.Load(ToPath(job.Path))) ReadingCompare.push_back(job.CompareWithPrevious);
    ProgressTM.start();
    UpdateStatus();
}

void TViewerForm::ShowProgress() {
    // Only reading that takes a while shows the bar.
    if (++ProgressTicks < 2) return;
    const uint64_t total = Loader.BytesTotal(), done = Loader.BytesDone();
    LoadPB->setValue(total ? int(done * 1000 / total) : 0);
    LoadPB->show();
}

void TViewerForm::Finished(std::shared_ptr<Capture::sLoadedCapture> capture, bool compare) {
    ProgressTM.stop();
    LoadPB->hide();
    const bool failed = capture->Result.Status == Capture::eReadStatus::CannotOpen ||
                        capture->Result.Status == Capture::eReadStatus::NotAFile;
    if (failed) {
        Message = CvTr("Cannot open %1: %2")
                      .arg(Name(QString::fromStdString(capture->Path)),
                           QString::fromLocal8Bit(ViewerText::ReadFailure(capture->Result).c_str()));
    } else {
        Loaded.push_back(capture);
        FillFileLists();
        Filling = true;
        if (compare && Loaded.size() >= 2) {
            FileCB->setCurrentIndex(int(Loaded.size()) - 2);
            CompareCB->setCurrentIndex(int(Loaded.size()));
        } else if (!compare) {
            FileCB->setCurrentIndex(int(Loaded.size()) - 1);
        }
        Filling = false;
        ApplyChoice();
    }
    UpdateStatus();
    emit FileLoaded();
    StartNext();
}

// --- views ---

void TViewerForm::CycleCombo(QComboBox* c) { c->setCurrentIndex((c->currentIndex() + 1) % std::max(c->count(), 1)); }

void TViewerForm::SetKind(Plot::eKind kind) { ViewCB->setCurrentIndex(int(kind)); }

void TViewerForm::ApplyKind() {
    if (Filling) return;
    const auto kind = Plot::eKind(std::clamp(ViewCB->currentIndex(), 0, 3));
    const bool scatter = kind == Plot::eKind::Scatter, map = kind == Plot::eKind::Map;
    for (QWidget* w : std::initializer_list<QWidget*>{XLL, XCB, YLL, YCB, ColourLL, ColourCB}) w->setVisible(scatter);
    // The map's colour list speaks for itself ("share rich"): no label, so
    // that the row fits 800 pixels in every language.
    for (QWidget* w : std::initializer_list<QWidget*>{RpmStepLL, RpmStepED, TpsStepED, RichLL, RichED, MapColourCB})
        w->setVisible(map);
    MapColourLL->hide();
    TpsStepLL->hide();
    PlotView->SetKind(kind);
    ApplyScatter();
    ApplyMap();
    UpdateStatus();
}

void TViewerForm::ApplyScatter() {
    if (Filling) return;
    PlotView->SetScatter(std::max(XCB->currentIndex(), 0), std::max(YCB->currentIndex(), 0),
                         ColourCB->currentIndex() - 1);
}

void TViewerForm::ApplyMap() {
    if (Filling) return;
    Capture::sMapOptions o;
    o.RpmStep = RpmStepED->value();
    o.TpsStep = TpsStepED->value();
    o.RichAbove = RichED->value();
    PlotView->SetMap(o, Plot::eMapColour(std::clamp(MapColourCB->currentIndex(), 0, 3)));
}

// --- following a growing file ---

void TViewerForm::SetFollowing(bool on) {
    FollowOn = on && PlotView->Scene().Primary != nullptr;
    if (FollowOn) FollowTM.start();
    else FollowTM.stop();
    Message.clear();
    UpdateStatus();
    if (FollowOn) FollowTick();
}

// What the shown file has gained is read into a copy of the capture (the
// shown one stays as it is while it is painted).
void TViewerForm::FollowTick() {
    if (!FollowOn || Loader.FollowBusy() || IsLoading()) return;
    Loader.Follow(PlotView->Scene().Primary);
}

void TViewerForm::Followed(std::shared_ptr<const Capture::sLoadedCapture> before,
                           std::shared_ptr<Capture::sLoadedCapture> after, bool failed) {
    if (failed) {
        FollowOn = false;
        FollowTM.stop();
        Message = CvTr("Following stopped: %1 cannot be read").arg(Name(QString::fromStdString(before->Path)));
        UpdateStatus();
        return;
    }
    if (!after) return;
    for (auto& c : Loaded)
        if (c == before) c = after;
    const auto& scene = PlotView->Scene();
    auto primary = scene.Primary == before ? std::shared_ptr<const Capture::sLoadedCapture>(after) : scene.Primary;
    auto second = scene.Second == before ? std::shared_ptr<const Capture::sLoadedCapture>(after) : scene.Second;
    PlotView->ReplaceCaptures(primary, second);
    UpdateStatus();
}

// --- export ---

bool TViewerForm::ExportPicture(const QString& path) {
    const QSize size = PlotView->size();
    QSaveFile file(path);
    bool ok = file.open(QIODevice::WriteOnly);
    if (ok) {
        if (path.endsWith(QStringLiteral(".svg"), Qt::CaseInsensitive)) {
            ok = SvgPicture::Write(file, size, windowTitle(),
                                   [&](QPainter& p) { Plot::Paint(p, QSizeF(size), PlotView->Scene()); });
        } else {
            QImage image(size, QImage::Format_RGB32);
            QPainter p(&image);
            Plot::Paint(p, QSizeF(size), PlotView->Scene());
            p.end();
            ok = image.save(&file, "PNG");
        }
        ok = ok && file.commit();
    }
    Message = ok ? CvTr("Saved %1").arg(Name(path)) : CvTr("Cannot write %1: %2").arg(Name(path), file.errorString());
    UpdateStatus();
    return ok;
}

bool TViewerForm::ExportCsv(const QString& path) {
    const auto& primary = PlotView->Scene().Primary;
    if (!primary) return false;
    std::string error;
    // Only the range between the marks when a range is selected.
    const Capture::sRange range = PlotView->Scene().StatsRange(*primary);
    const bool part = range.First > 0 || range.Last < primary->Records();
    const bool ok = Capture::WriteCsvRange(ToPath(path), primary->Data, range.First, range.Last, &error);
    if (!ok) Message = CvTr("Cannot write %1: %2").arg(Name(path), QString::fromLocal8Bit(error.c_str()));
    else if (part)
        Message = CvTr("Saved %1 (records %2 to %3)")
                      .arg(Name(path), QLocale().toString(qulonglong(range.First + 1)),
                           QLocale().toString(qulonglong(range.Last)));
    else Message = CvTr("Saved %1").arg(Name(path));
    UpdateStatus();
    return ok;
}

void TViewerForm::OpenBtnClick() {
    QStringList files;
    if (DialogHook()) files = DialogHook()(QStringLiteral("open"));
    else {
        QFileDialog dialog(this, CvTr("Open capture files"));
        dialog.setOption(QFileDialog::DontUseNativeDialog, true);
        dialog.setFileMode(QFileDialog::ExistingFiles);
        dialog.setNameFilters({CvTr("Capture files (*.dat)"), CvTr("All files (*)")});
        if (dialog.exec() == QDialog::Accepted) files = dialog.selectedFiles();
    }
    if (!files.isEmpty()) OpenFiles(files);
}

void TViewerForm::PictureBtnClick() {
    if (!PictureBtn->isEnabled()) return;
    QStringList files;
    const QString png = CvTr("PNG image (*.png)"), svg = CvTr("SVG drawing (*.svg)");
    if (DialogHook()) files = DialogHook()(QStringLiteral("picture"));
    else {
        QFileDialog dialog(this, CvTr("Save the plot as a picture"));
        dialog.setOption(QFileDialog::DontUseNativeDialog, true);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setNameFilters(SvgPicture::Available() ? QStringList{png, svg} : QStringList{png});
        dialog.setDefaultSuffix(QStringLiteral("png"));
        connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog, svg](const QString& f) {
            dialog.setDefaultSuffix(f == svg ? QStringLiteral("svg") : QStringLiteral("png"));
        });
        if (const auto& p = PlotView->Scene().Primary)
            dialog.selectFile(QFileInfo(QString::fromStdString(p->Path)).completeBaseName() + QStringLiteral(".png"));
        if (dialog.exec() == QDialog::Accepted) files = dialog.selectedFiles();
    }
    if (!files.isEmpty()) ExportPicture(files.first());
}

void TViewerForm::CsvBtnClick() {
    if (!CsvBtn->isEnabled()) return;
    QStringList files;
    if (DialogHook()) files = DialogHook()(QStringLiteral("csv"));
    else {
        QFileDialog dialog(this, CvTr("Export the capture as CSV"));
        dialog.setOption(QFileDialog::DontUseNativeDialog, true);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setNameFilter(CvTr("CSV files (*.csv)"));
        dialog.setDefaultSuffix(QStringLiteral("csv"));
        if (const auto& p = PlotView->Scene().Primary)
            dialog.selectFile(QFileInfo(QString::fromStdString(p->Path)).completeBaseName() + QStringLiteral(".csv"));
        if (dialog.exec() == QDialog::Accepted) files = dialog.selectedFiles();
    }
    if (!files.isEmpty()) ExportCsv(files.first());
}

// --- keys, drops, closing ---

void TViewerForm::keyPressEvent(QKeyEvent* e) {
    switch (e->key()) {
    case Qt::Key_F3: OpenBtnClick(); break;
    case Qt::Key_F4: ViewCB->setCurrentIndex((ViewCB->currentIndex() + 1) % ViewCB->count()); break;
    case Qt::Key_F7: SetFollowing(!FollowOn); break;
    case Qt::Key_X:
        if (PlotView->Scene().Kind != Plot::eKind::Scatter) return QWidget::keyPressEvent(e);
        CycleCombo(XCB);
        break;
    case Qt::Key_Y:
        if (PlotView->Scene().Kind != Plot::eKind::Scatter) return QWidget::keyPressEvent(e);
        CycleCombo(YCB);
        break;
    case Qt::Key_C:
        if (PlotView->Scene().Kind == Plot::eKind::Scatter) CycleCombo(ColourCB);
        else if (PlotView->Scene().Kind == Plot::eKind::Map) CycleCombo(MapColourCB);
        else return QWidget::keyPressEvent(e);
        break;
    case Qt::Key_F5: PictureBtnClick(); break;
    case Qt::Key_F6: CsvBtnClick(); break;
    case Qt::Key_F10: close(); break;
    case Qt::Key_Escape:
        if (IsLoading()) {
            Queue.clear();
            CancelLoading();
        }
        break;
    default:
        if (e->matches(QKeySequence::Open)) OpenBtnClick();
        else if (e->matches(QKeySequence::Quit)) close();
        else QWidget::keyPressEvent(e);
        return;
    }
    e->accept();
}

void TViewerForm::dragEnterEvent(QDragEnterEvent* e) {
    if (!e->mimeData()->hasUrls()) return;
    for (const QUrl& url : e->mimeData()->urls())
        if (url.isLocalFile()) {
            e->acceptProposedAction();
            return;
        }
}

void TViewerForm::dropEvent(QDropEvent* e) {
    QStringList files;
    for (const QUrl& url : e->mimeData()->urls())
        if (url.isLocalFile()) files << url.toLocalFile();
    if (!files.isEmpty()) {
        OpenFiles(files);
        e->acceptProposedAction();
    }
}

void TViewerForm::closeEvent(QCloseEvent* e) {
    Queue.clear();
    FollowTM.stop();
    Loader.Stop();
    QWidget::closeEvent(e);
}
