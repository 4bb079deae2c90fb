#include "capview/ViewerForm.h"

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
#include <QSvgGenerator>
#include <QVBoxLayout>
#include <cerrno>
#include <cstring>

#include "widgets/DesignFont.h"
#include "widgets/Shape.h"
#include "capview/CsvExport.h"
#include "capview/PlotView.h"
#include "capview/ViewerQt.h"
#include "link/Settings.h"
#include "screens/ScreenKit.h"
#include "widgets/ShadowButton.h"

namespace {

// ECU versions on either side of the pacing change, for the time presets.
constexpr int kSlowEcu = 31;
constexpr int kFastEcu = 48;

QString Name(const QString& path) { return QFileInfo(path).fileName(); }

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

TViewerForm::TViewerForm(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("ViewerForm"));
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(0, 0, 128));
    pal.setColor(QPalette::WindowText, Qt::white);
    setPalette(pal);
    setAutoFillBackground(true);
    setAcceptDrops(true);
    setFont(DesignFont(14, false));
    resize(1280, 800);

    auto* top = new QHBoxLayout;
    auto label = [this](const char* name) { return ScreenKit::NewLabel(this, name, Qt::AlignRight | Qt::AlignVCenter); };
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
    for (QComboBox* c : {FileCB, CompareCB, ModeCB, TimeCB}) {
        ScreenKit::StyleCombo(c);
        c->setSizeAdjustPolicy(QComboBox::AdjustToContents);
        c->setFocusPolicy(Qt::NoFocus);
    }
    SecondsED->setFocusPolicy(Qt::ClickFocus);
    FileCB->setMinimumContentsLength(14);
    CompareCB->setMinimumContentsLength(14);
    top->addWidget(FileLL);
    top->addWidget(FileCB, 2);
    top->addSpacing(12);
    top->addWidget(CompareLL);
    top->addWidget(CompareCB, 2);
    top->addWidget(ModeCB, 1);
    top->addSpacing(12);
    top->addWidget(TimeLL);
    top->addWidget(TimeCB, 2);
    top->addWidget(SecondsED);

    PlotView = new cPlotView(this);
    PlotView->setObjectName(QStringLiteral("PlotView"));

    // The status panel as on the program's screens, with the progress bar.
    auto* bottom = new QHBoxLayout;
    StatusSH = new cShape(this);
    StatusSH->setObjectName(QStringLiteral("StatusSH"));
    StatusSH->SetBrush(Qt::black);
    StatusSH->SetPen(QColor(255, 128, 0), 2);
    StatusSH->SetRadius(12);
    StatusSH->setMinimumHeight(48);
    auto* statusLayout = new QHBoxLayout(StatusSH);
    statusLayout->setContentsMargins(14, 4, 14, 4);
    StatusLL = new QLabel(StatusSH);
    StatusLL->setObjectName(QStringLiteral("StatusLL"));
    StatusLL->setFont(DesignFont(18, true));
    ScreenKit::StyleLabel(StatusLL, QColor(255, 255, 0));
    StatusLL->setTextInteractionFlags(Qt::NoTextInteraction);
    LoadPB = new QProgressBar(StatusSH);
    LoadPB->setObjectName(QStringLiteral("LoadPB"));
    LoadPB->setRange(0, 1000);
    LoadPB->setTextVisible(false);
    LoadPB->setMaximumWidth(220);
    LoadPB->setStyleSheet(QStringLiteral(
        "QProgressBar { background: black; border: 1px solid rgb(255,128,0); height: 14px; }"
        "QProgressBar::chunk { background: rgb(255,128,0); }"));
    LoadPB->hide();
    statusLayout->addWidget(StatusLL, 1);
    statusLayout->addWidget(LoadPB);
    bottom->addWidget(StatusSH, 3);
    auto button = [this, bottom](const char* name) {
        auto* b = new cShadowButton(this);
        b->setObjectName(QString::fromLatin1(name));
        b->setMinimumSize(170, 54);
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
    outer->addWidget(PlotView, 1);
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

    ProgressTM.setInterval(100);
    connect(&ProgressTM, &QTimer::timeout, this, [this] { ShowProgress(); });

    Retranslate();
    ApplyDeferredStyles(this);
    FillFileLists();
    PlotView->setFocus();
}

TViewerForm::~TViewerForm() {
    Queue.clear();
    CancelLoading();
    if (Worker.joinable()) Worker.join();
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
        return CvTr(pattern).arg(version).arg(QLocale().toString(Capture::PollCycleSeconds(ecu), 'f', 2));
    };
    TimeCB->addItem(CvTr("record number"));
    TimeCB->addItem(preset(CvN_("ECU below version %1: %2 s per record"), kSlowEcu));
    TimeCB->addItem(preset(CvN_("ECU from version %1: %2 s per record"), kFastEcu));
    TimeCB->addItem(CvTr("seconds per record:"));
    TimeCB->setCurrentIndex(std::max(time, 0));
    Filling = false;
    PlotView->SetEmptyText(CvTr("Open a capture file (F3) or drop it here."));
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
    Message.clear();
    UpdateStatus();
}

void TViewerForm::ApplyTime() {
    if (Filling) return;
    double seconds = SecondsED->value();
    switch (TimeCB->currentIndex()) {
    case 0: seconds = 0; break;
    case 1: seconds = Capture::PollCycleSeconds(kSlowEcu); break;
    case 2: seconds = Capture::PollCycleSeconds(kFastEcu); break;
    default:
        if (seconds <= 0) seconds = 1;
        break;
    }
    Filling = true;
    SecondsED->setValue(seconds);
    Filling = false;
    PlotView->SetSecondsPerRecord(seconds);
}

QString TViewerForm::StatusText() const { return StatusLL->text(); }

void TViewerForm::UpdateStatus() {
    if (!Message.isEmpty()) {
        StatusLL->setText(Message);
        return;
    }
    if (IsLoading()) {
        StatusLL->setText(CvTr("Reading %1 ...").arg(Reading));
        return;
    }
    const auto& primary = PlotView->Scene().Primary;
    if (!primary) {
        StatusLL->setText(CvTr("No capture open"));
        return;
    }
    const Capture::sLoadedCapture& c = *primary;
    const QString name = Name(QString::fromStdString(c.Path));
    QString text;
    switch (c.Result.Status) {
    case Capture::eReadStatus::CannotOpen:
        StatusLL->setText(CvTr("Cannot open %1: %2").arg(name, QString::fromLocal8Bit(std::strerror(c.Result.Errno))));
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
    case Capture::eReadStatus::Ok:
        break;
    }
    const unsigned long records = (unsigned long)c.Records();
    text += name + QStringLiteral(": ") +
            CvTrN("%1 record", "%1 records", records).arg(QLocale().toString(qulonglong(records)));
    const unsigned long skipped = (unsigned long)c.Data.SkippedLines;
    if (skipped) text += QStringLiteral(", ") + CvTrN("%1 line skipped", "%1 lines skipped", skipped).arg(QLocale().toString(qulonglong(skipped)));
    if (c.Data.DroppedRecords)
        text += QStringLiteral(", ") + CvTrN("%1 record not kept", "%1 records not kept", (unsigned long)c.Data.DroppedRecords)
                                           .arg(QLocale().toString(qulonglong(c.Data.DroppedRecords)));
    StatusLL->setText(text);
}

// --- reading ---

void TViewerForm::OpenFiles(const QStringList& paths) {
    for (int i = 0; i < paths.size(); ++i) Queue.push_back({paths[i], paths.size() == 2 && i == 1});
    if (!IsLoading()) StartNext();
}

void TViewerForm::CancelLoading() { Cancel = true; }

void TViewerForm::StartNext() {
    if (Queue.empty()) return;
    const sJob job = Queue.front();
    Queue.erase(Queue.begin());
    Reading = Name(job.Path);
    Done = 0;
    Total = 0;
    Cancel = false;
    ProgressTicks = 0;
    Message.clear();
    auto capture = std::make_shared<Capture::sLoadedCapture>();
    const std::string path = job.Path.toStdString();
    Worker = std::thread([this, capture, path, compare = job.CompareWithPrevious] {
        try {
            capture->Load(path, [this](uint64_t done, uint64_t total) {
                Done = done;
                Total = total;
                return !Cancel.load();
            });
        } catch (...) {
            // Nothing of a failed reading is shown.
            capture->Data.Clear();
            capture->Index();
            capture->Result = {Capture::eReadStatus::ReadError, EIO};
        }
        QMetaObject::invokeMethod(this, [this, capture, compare] { Finished(capture, compare); }, Qt::QueuedConnection);
    });
    ProgressTM.start();
    UpdateStatus();
}

void TViewerForm::ShowProgress() {
    // Only reading that takes a while shows the bar.
    if (++ProgressTicks < 2) return;
    const uint64_t total = Total, done = Done;
    LoadPB->setValue(total ? int(done * 1000 / total) : 0);
    LoadPB->show();
}

void TViewerForm::Finished(std::shared_ptr<Capture::sLoadedCapture> capture, bool compare) {
    if (Worker.joinable()) Worker.join();
    ProgressTM.stop();
    LoadPB->hide();
    const bool failed = capture->Result.Status == Capture::eReadStatus::CannotOpen;
    if (failed) {
        Message = CvTr("Cannot open %1: %2")
                      .arg(Name(QString::fromStdString(capture->Path)),
                           QString::fromLocal8Bit(std::strerror(capture->Result.Errno)));
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

// --- export ---

bool TViewerForm::ExportPicture(const QString& path) {
    const QSize size = PlotView->size();
    QSaveFile file(path);
    bool ok = file.open(QIODevice::WriteOnly);
    if (ok) {
        if (path.endsWith(QStringLiteral(".svg"), Qt::CaseInsensitive)) {
            QSvgGenerator svg;
            svg.setOutputDevice(&file);
            svg.setSize(size);
            svg.setViewBox(QRect(QPoint(0, 0), size));
            svg.setTitle(windowTitle());
            QPainter p(&svg);
            Plot::Paint(p, QSizeF(size), PlotView->Scene());
            p.end();
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
    const bool ok = Capture::WriteCsv(path.toStdString(), primary->Data, &error);
    Message = ok ? CvTr("Saved %1").arg(Name(path))
                 : CvTr("Cannot write %1: %2").arg(Name(path), QString::fromLocal8Bit(error.c_str()));
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
        dialog.setNameFilters({png, svg});
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
    CancelLoading();
    if (Worker.joinable()) Worker.join();
    QWidget::closeEvent(e);
}
