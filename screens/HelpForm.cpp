#include "screens/HelpForm.h"

#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QScrollArea>
#include <QScrollBar>

#include "core/Translate.h"

#include "kit/Pictures.h"
#include "kit/QtText.h"

THelpForm::THelpForm(QWidget* parent) : cIOForm(parent) {
    setObjectName(QStringLiteral("HelpForm"));
    HelpSB = new QScrollArea(this);
    HelpSB->setObjectName(QStringLiteral("HelpSB"));
    HelpSB->setFrameShape(QFrame::NoFrame);
    HelpSB->setWidgetResizable(false);
    HelpSB->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    HelpSB->setFocusPolicy(Qt::NoFocus);
    HelpIM = new QLabel;
    HelpIM->setObjectName(QStringLiteral("HelpIM"));
    HelpIM->setCursor(Qt::PointingHandCursor);
    HelpIM->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // The built-in picture is decoded when the viewer is first shown; until
    // then HelpIM has its size only.
    HelpIM->resize(HelpPictureSize());
    HelpSB->setWidget(HelpIM);
    HelpIM->installEventFilter(this);
    SetupFullScreen();
    HelpSB->setGeometry(rect());
    setWindowTitle(Tr("Help"));
}

void THelpForm::SetPicture(const QImage& picture) {
    Replaced = true;
    Language.clear();
    ShowImage(picture);
}

void THelpForm::ShowImage(const QImage& picture) {
    HelpIM->setPixmap(QPixmap::fromImage(picture));
    HelpIM->resize(picture.size());
}

void THelpForm::EnsurePicture() {
    if (Replaced) return;
    const std::string language = Translate::ShortCode(Translate::CurrentLanguage()).substr(0, 2);
    if (language == Language) return;
    ShowImage(HelpPicture(language));
    Language = language;
}

void THelpForm::Retranslate() {
    if (isVisible()) {
        EnsurePicture();
        FormShow();
    }
}

void THelpForm::resizeEvent(QResizeEvent* event) {
    HelpSB->setGeometry(rect());
    cIOForm::resizeEvent(event);
}

void THelpForm::showEvent(QShowEvent* event) {
    EnsurePicture();
    FormShow();
    cIOForm::showEvent(event);
}

void THelpForm::FormShow() {
    HorzAllowed = VertAllowed = false;
    HorzRange = VertRange = 0;
    const QSize client = HelpSB->viewport()->size();
    if (client.width() < HelpIM->width()) {
        HorzRange = HelpIM->width();
        HorzAllowed = true;
    }
    if (client.height() < HelpIM->height()) {
        VertRange = HelpIM->height();
        VertAllowed = true;
    }
}

int THelpForm::HorzPosition() const { return HelpSB->horizontalScrollBar()->value(); }
int THelpForm::VertPosition() const { return HelpSB->verticalScrollBar()->value(); }

// The scroll bars keep the positions within their limits.
void THelpForm::SetHorz(int position) { HelpSB->horizontalScrollBar()->setValue(position); }
void THelpForm::SetVert(int position) { HelpSB->verticalScrollBar()->setValue(position); }

void THelpForm::keyPressEvent(QKeyEvent* event) {
    const int hStep = HorzRange / 50, vStep = VertRange / 50;
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
    case Qt::Key_F10:
        event->accept();
        CloseScreen();
        return;
    case Qt::Key_Up:
    case Qt::Key_PageUp: SetVert(VertPosition() - vStep); break;
    case Qt::Key_Down:
    case Qt::Key_PageDown: SetVert(VertPosition() + vStep); break;
    case Qt::Key_Left: SetHorz(HorzPosition() - hStep); break;
    case Qt::Key_Right: SetHorz(HorzPosition() + hStep); break;
    default: cIOForm::keyPressEvent(event); return;
    }
    event->accept();
}

bool THelpForm::eventFilter(QObject* watched, QEvent* event) {
    if (watched == HelpIM) {
        switch (event->type()) {
        case QEvent::MouseButtonPress: {
            auto* m = static_cast<QMouseEvent*>(event);
            if (m->button() == Qt::LeftButton) {
                Dragging = true;
                DragStart = m->globalPosition().toPoint();
                DragHorz = HorzPosition();
                DragVert = VertPosition();
            }
            return true;
        }
        case QEvent::MouseMove: {
            if (!Dragging) break;
            QPoint at = static_cast<QMouseEvent*>(event)->globalPosition().toPoint();
            if (HorzAllowed) SetHorz(DragHorz + DragStart.x() - at.x());
            if (VertAllowed) SetVert(DragVert + DragStart.y() - at.y());
            return true;
        }
        case QEvent::MouseButtonRelease: Dragging = false; return true;
        case QEvent::MouseButtonDblClick:
            Dragging = false;
            CloseScreen();
            return true;
        default: break;
        }
    }
    return cIOForm::eventFilter(watched, event);
}
