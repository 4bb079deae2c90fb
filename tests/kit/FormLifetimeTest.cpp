#include <gtest/gtest.h>

#include <memory>

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>

#include "widgets/ShadowButton.h"

#include "kit/IOForm.h"

namespace {

// A screen with placed children and large buttons, as the real screens build
// theirs.
class cLifetimeForm : public cIOForm {
public:
    cLifetimeForm() {
        SetupFullScreen();
        Label = new QLabel(this);
        Place(Label, 10, 10, 200, 30, 12);
        OkBtn = new cShadowButton(this);
        Place(OkBtn, 10, 100, 200, 40, 14, true);
        RegisterLargeButton(OkBtn, Qt::Key_F2);
        ExitBtn = new cShadowButton(this);
        Place(ExitBtn, 10, 200, 200, 40, 14, true);
        RegisterLargeButton(ExitBtn, Qt::Key_F3);
        CreateStatusLine(10, 700, 400, 40);
    }
    using cIOForm::Place;
    using cIOForm::RegisterLargeButton;
    using cIOForm::SetAllButtonFills;
    using cIOForm::SetupFullScreen;

    QLabel* Label;
    cShadowButton* OkBtn;
    cShadowButton* ExitBtn;
};

// A child that says whether anything of a form (the form, or any object
// below it) listens to its end: such a handler would run while QWidget's
// destructor deletes the form's children, after the form's own members are
// gone. The style's own listeners (not the form's) do not count.
template <class tWidget>
class tProbe : public tWidget {
public:
    using tWidget::tWidget;
    int FormEndListeners(QObject* form) {
        QList<QObject*> listeners = form->findChildren<QObject*>();
        listeners.push_back(form);
        int found = 0;
        for (QObject* listener : listeners) {
            // (Asked by disconnecting: Qt tells no more than whether there
            // was a connection.)
            if (QObject::disconnect(this, SIGNAL(destroyed()), listener, nullptr)) ++found;
            if (QObject::disconnect(this, SIGNAL(destroyed(QObject*)), listener, nullptr)) ++found;
        }
        return found;
    }
};

void PressKey(QWidget* target, int key) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(target, &press);
}

}  // namespace

// Deleting the form deletes its children after the form's own members are
// gone; nothing of the form may run then. What would run is a handler of a
// child's destroyed signal: the form holds its children by guarded pointers
// and listens to no child's end, whatever it does with the child (placing
// it, a function key on it, a form nested in it). In the sanitizer builds
// the deletions below are checked for the memory they touch as well.
TEST(FormLifetime, FormWithPlacedChildrenAndButtonsIsDeletedCleanly) {
    for (int i = 0; i < 3; ++i) {
        auto form = std::make_unique<cLifetimeForm>();
        form->show();
        auto* label = new tProbe<QLabel>(form.get());
        form->Place(label, 10, 300, 200, 30, 12);
        auto* button = new tProbe<cShadowButton>(form.get());
        form->Place(button, 10, 400, 200, 40, 14, true);
        form->RegisterLargeButton(button, Qt::Key_F4);
        // Nested children and a second form inside the first one go with it.
        auto* inner = new tProbe<cLifetimeForm>;
        inner->setParent(form.get());
        form->Place(inner, 300, 300, 200, 200);
        inner->show();
        form->SetAllButtonFills(button);
        QCoreApplication::processEvents();
        EXPECT_EQ(label->FormEndListeners(form.get()), 0);
        EXPECT_EQ(button->FormEndListeners(form.get()), 0);
        EXPECT_EQ(inner->FormEndListeners(form.get()), 0);
        form.reset();
    }
}

// A child deleted before its form leaves no trace: its function key does
// nothing, rescaling skips it, and a new child gets its own design place even
// where the allocator hands out the dead one's address.
TEST(FormLifetime, ChildDeletedBeforeTheFormIsForgotten) {
    cLifetimeForm form;
    int okClicks = 0, exitClicks = 0;
    QObject::connect(form.OkBtn, &QAbstractButton::clicked, [&] { ++okClicks; });
    QObject::connect(form.ExitBtn, &QAbstractButton::clicked, [&] { ++exitClicks; });
    form.show();

    delete form.OkBtn;
    form.OkBtn = nullptr;
    delete form.Label;
    form.Label = nullptr;

    PressKey(&form, Qt::Key_F2);  // the deleted button's key
    PressKey(&form, Qt::Key_F3);
    EXPECT_EQ(okClicks, 0);
    EXPECT_EQ(exitClicks, 1);
    form.SetAllButtonFills(nullptr);  // walks the buttons: the dead one is skipped
    EXPECT_EQ(form.ExitBtn->Fill(), cShadowButton::NormalFill());

    // Many new children, so that one of them likely reuses a freed address.
    std::vector<QLabel*> labels;
    for (int i = 0; i < 20; ++i) {
        auto* l = new QLabel(&form);
        form.Place(l, 500, 20 * i, 100, 15);
        labels.push_back(l);
    }
    auto* again = new cShadowButton(&form);
    form.Place(again, 600, 600, 120, 30);
    form.RegisterLargeButton(again, Qt::Key_F2);
    int againClicks = 0;
    QObject::connect(again, &QAbstractButton::clicked, [&] { ++againClicks; });
    form.SetupFullScreen();  // re-places every live child from its design place
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(labels[i]->geometry(), form.ScaledRect(labels[i], QRect(500, 20 * i, 100, 15)));
    EXPECT_EQ(again->geometry(), form.ScaledRect(again, QRect(600, 600, 120, 30)));
    PressKey(&form, Qt::Key_F2);
    EXPECT_EQ(againClicks, 1);
    EXPECT_EQ(okClicks, 0);
}
