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

// Long port names are cut only as much as the width needs, in the middle,
// and names that differ only in their middle stay apart.
TEST(ComboBox, LongNamesAreCutInTheMiddleAndStayApart) {
    const QStringList names = {
        QStringLiteral("/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0"),
        QStringLiteral("/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10QX7ZE-if00-port0"),
        QStringLiteral("/dev/serial/by-id/usb-Prolific_Technology_Inc._USB-Serial_Controller-if00-port0"),
        QStringLiteral("/dev/ttyUSB0"),
    };
    QFont font;
    font.setPixelSize(14);
    const QFontMetrics fm(font);
    const int full = fm.horizontalAdvance(names[2]);
    for (int width : {full + 10, full - 20, 420, 300, 200, 160}) {
        SCOPED_TRACE(width);
        QStringList shown;
        for (const QString& name : names) {
            const QString s = cComboBox::ElideDistinct(name, names, fm, width);
            shown << s;
            EXPECT_LE(fm.horizontalAdvance(s), width) << s.toStdString();
            if (fm.horizontalAdvance(name) <= width) {
                EXPECT_EQ(s, name);
                continue;
            }
            // Both ends stay.
            EXPECT_TRUE(s.startsWith(QStringLiteral("/dev/"))) << s.toStdString();
            EXPECT_EQ(s.right(3), name.right(3)) << s.toStdString();
            // No more is cut than needed: one more character would not fit.
            EXPECT_GT(fm.horizontalAdvance(s) + fm.maxWidth(), width) << s.toStdString();
        }
        for (int i = 0; i < shown.size(); ++i)
            for (int j = i + 1; j < shown.size(); ++j) EXPECT_NE(shown[i], shown[j]) << shown[i].toStdString();
    }
}
