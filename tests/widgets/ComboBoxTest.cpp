#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>

#include "widgets/ComboBox.h"

// The popup is built late, but when it opens it shows the list's own font
// and every item, however often the font changed before.
TEST(ComboBox, PopupOpensWithTheLatestFontAndAllItems) {
    QWidget parent;
    auto* combo = new cComboBox(&parent);
    QFont big = combo->font();
    big.setPixelSize(31);
    big.setBold(true);
    combo->setFont(big);
    combo->addItems({QStringLiteral("one"), QStringLiteral("two"), QStringLiteral("three")});
    QFont bigger = big;
    bigger.setPixelSize(37);
    combo->setFont(bigger);
    parent.show();
    combo->showPopup();
    EXPECT_EQ(combo->view()->font().pixelSize(), 37);
    EXPECT_TRUE(combo->view()->font().bold());
    EXPECT_EQ(combo->view()->model()->rowCount(), 3);
    combo->hidePopup();

    // A later change reaches the popup the next time it opens.
    QFont small = bigger;
    small.setPixelSize(12);
    combo->setFont(small);
    combo->showPopup();
    EXPECT_EQ(combo->view()->font().pixelSize(), 12);
    combo->hidePopup();
}
