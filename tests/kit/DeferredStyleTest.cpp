#include <gtest/gtest.h>

#include "kit/IOForm.h"

// Style sheets wait for the first showing of their form, then stay.
TEST(DeferredStyle, AppliedWhenTheFormIsFirstShown) {
    cIOForm form;
    auto* child = new QWidget(&form);
    auto* grandChild = new QWidget(child);
    const QString sheet = QStringLiteral("QWidget { background: black; }");
    cIOForm::DeferStyleSheet(child, sheet);
    cIOForm::DeferStyleSheet(grandChild, sheet);
    EXPECT_TRUE(child->styleSheet().isEmpty());
    form.show();
    EXPECT_EQ(child->styleSheet(), sheet);
    EXPECT_EQ(grandChild->styleSheet(), sheet);
    form.hide();
    child->setStyleSheet(QString());
    form.show();  // only the first showing applies them
    EXPECT_TRUE(child->styleSheet().isEmpty());
}
