// The help viewer: one large picture (the installation wiring diagram) that
// the fitter moves around with the keys or by dragging it.
#pragma once

#include <string>

#include <QImage>
#include <QPoint>

#include "kit/IOForm.h"

class QLabel;
class QScrollArea;

class THelpForm : public cIOForm {
    Q_OBJECT
public:
    explicit THelpForm(QWidget* parent = nullptr);

    QScrollArea* HelpSB;
    QLabel* HelpIM;

    // Replaces the picture; HelpIM takes its size. The built-in picture no
    // longer follows the language then.
    void SetPicture(const QImage& picture);
    bool HasOwnPicture() const { return !Replaced; }
    // The language of the built-in picture shown (empty until it is loaded,
    // and for a replacement).
    const std::string& PictureLanguage() const { return Language; }

    void FormShow() override;
    // The built-in picture's labels follow the language: shown again at once
    // when the viewer is up, otherwise on its next showing.
    void Retranslate() override;

    // Scroll positions and the drag rules (read by tests).
    int HorzPosition() const;
    int VertPosition() const;
    bool HorzDragAllowed() const { return HorzAllowed; }
    bool VertDragAllowed() const { return VertAllowed; }

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void EnsurePicture();
    void SetHorz(int position);
    void SetVert(int position);

    void ShowImage(const QImage& picture);
    bool Replaced = false;  // a replacement picture was set
    std::string Language;   // of the built-in picture decoded, empty before
    bool Dragging = false;
    bool HorzAllowed = false;
    bool VertAllowed = false;
    int HorzRange = 0;
    int VertRange = 0;
    QPoint DragStart;
    int DragHorz = 0;
    int DragVert = 0;
};
