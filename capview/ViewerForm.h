// The viewer's window: the plot, the choice of shown and compared capture,
// the time axis, the status line with its progress bar and the buttons
// (F3 open, F5 picture, F6 CSV, F10 exit). F4 switches the view (time
// traces, scatter plot, speed x throttle map, histograms), whose own
// controls sit in the second row; F7 follows a growing file. Files are read
// by the capture loader away from the window, one after another; the window
// stays responsive and Esc cancels.
#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <vector>

#include <QStringList>
#include <QTimer>
#include <QWidget>

#include "analysis/LoadedCapture.h"

#include "capview/CaptureLoader.h"
#include "capview/PlotPainter.h"

class cPlotView;
class cShadowButton;
class cShape;
class QComboBox;
class QDoubleSpinBox;
class QHBoxLayout;
class QLabel;
class QProgressBar;

class TViewerForm : public QWidget {
    Q_OBJECT
public:
    explicit TViewerForm(QWidget* parent = nullptr);
    ~TViewerForm() override;

    // Queues files for reading. With exactly two files in one call the
    // second is compared with the first.
    void OpenFiles(const QStringList& paths);
    bool IsLoading() const { return Loader.Loading(); }
    void CancelLoading();

    // Writes the visible plot (PNG or SVG by the name's extension) or the
    // shown capture as CSV. False with a message in the status line when
    // writing failed.
    bool ExportPicture(const QString& path);
    bool ExportCsv(const QString& path);

    void SetKind(Plot::eKind kind);
    // Follows the shown capture's file: what it gains is read every
    // FollowMs and shown.
    void SetFollowing(bool on);
    bool Following() const { return FollowOn; }
    static constexpr int FollowMs = 1000;

    cPlotView* Plot() const { return PlotView; }
    QString StatusText() const;
    const std::vector<std::shared_ptr<const Capture::sLoadedCapture>>& Captures() const { return Loaded; }

    // Replaces the file dialogs (tests): gets the dialog's kind ("open",
    // "picture", "csv") and returns the chosen paths, empty when cancelled.
    using tDialogHook = std::function<QStringList(const QString& kind)>;
    static tDialogHook& DialogHook();

    // The controls, named by role and kind.
    QComboBox* FileCB = nullptr;
    QComboBox* CompareCB = nullptr;
    QComboBox* ModeCB = nullptr;
    QComboBox* TimeCB = nullptr;
    QDoubleSpinBox* SecondsED = nullptr;
    QProgressBar* LoadPB = nullptr;
    cShadowButton* OpenBtn = nullptr;
    cShadowButton* PictureBtn = nullptr;
    cShadowButton* CsvBtn = nullptr;
    cShadowButton* ExitBtn = nullptr;
    QComboBox* ViewCB = nullptr;
    QComboBox* XCB = nullptr;
    QComboBox* YCB = nullptr;
    QComboBox* ColourCB = nullptr;
    QComboBox* MapColourCB = nullptr;
    QDoubleSpinBox* RpmStepED = nullptr;
    QDoubleSpinBox* TpsStepED = nullptr;
    QDoubleSpinBox* RichED = nullptr;

signals:
    // After a file has been read (or failed); tests and the benchmark wait
    // for it.
    void FileLoaded();

protected:
    void resizeEvent(QResizeEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dropEvent(QDropEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void changeEvent(QEvent* e) override;

private:
    cPlotView* PlotView = nullptr;
    cShape* StatusSH = nullptr;
    QLabel* StatusLL = nullptr;
    QLabel* FileLL = nullptr;
    QLabel* CompareLL = nullptr;
    QLabel* ModeLL = nullptr;
    QLabel* TimeLL = nullptr;
    QLabel* ViewLL = nullptr;
    QLabel* XLL = nullptr;
    QLabel* YLL = nullptr;
    QLabel* ColourLL = nullptr;
    QLabel* MapColourLL = nullptr;
    QLabel* RpmStepLL = nullptr;
    QLabel* TpsStepLL = nullptr;
    QLabel* RichLL = nullptr;
    QString StatusFull;                // the status line's whole text (shown cut to fit)
    QHBoxLayout* StatusRow = nullptr;  // the status panel's own row in a narrow window
    QHBoxLayout* ButtonRow = nullptr;
    std::vector<std::shared_ptr<const Capture::sLoadedCapture>> Loaded;
    QString Message;  // a message that replaces the capture's summary

    // The reading side.
    struct sJob {
        QString Path;
        bool CompareWithPrevious = false;
    };
    std::vector<sJob> Queue;
    // Per reading started and not yet handed over, oldest first: whether its
    // file is compared with the previous one (a reading stopped by closing
    // is still handed over, before any later one).
    std::deque<bool> ReadingCompare;
    QString Reading;
    QTimer ProgressTM;
    int ProgressTicks = 0;
    bool Filling = false;

    // Following a growing file.
    bool FollowOn = false;
    QTimer FollowTM;
    void FollowTick();
    void Followed(std::shared_ptr<const Capture::sLoadedCapture> before, std::shared_ptr<Capture::sLoadedCapture> after,
                  bool failed);
    void ShowStatus(const QString& text);
    void ApplyKind();
    void ApplyScatter();
    void ApplyMap();
    void CycleCombo(QComboBox* c);

    void StartNext();
    void Finished(std::shared_ptr<Capture::sLoadedCapture> capture, bool compare);
    void ShowProgress();
    void FillFileLists();
    void ApplyChoice();
    void ApplyTime();
    void UpdateStatus();
    void Retranslate();

    void OpenBtnClick();
    void PictureBtnClick();
    void CsvBtnClick();

    // Last: destroyed first, it joins its workers while the form is whole.
    cCaptureLoader Loader;
};
