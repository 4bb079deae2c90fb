// A drop-down list that builds its popup list only when it is first opened,
// and opens it in the list's own colours.
//
// A plain QComboBox builds and lays out its popup on every font change. Every
// screen is created, scaled and given its fonts at start-up, hidden, so that
// work would be done for every list before the main menu can show, most of it
// for popups the fitter may never open. Opening the list gives the popup the
// list's current font in any case.
//
// Styles that draw the popup as a menu (Fusion among them) give it the
// desktop's menu colours, whatever the list's palette says. Opening the list
// hands the list's palette (text, background, highlight) to the popup.
#pragma once

#include <QComboBox>

class cComboBox : public QComboBox {
public:
    using QComboBox::QComboBox;

    void showPopup() override;

    // Long texts (port names) shown with a part of their middle left out, so
    // that both ends stay readable; the whole text is the list's tool tip
    // then. The open list is made wide enough for its longest text (up to the
    // screen's width).
    void SetElideMiddle(bool elide);
    // A text as the closed list shows it.
    QString ShownText(const QString& text) const;

    // A text cut to a width in pixels, no more than the width needs. The cut
    // lies in the middle, preferably within the start the text shares with
    // one of the others (/dev/serial/by-id/usb-FTDI_...), so that texts that
    // differ only in their middle stay apart.
    static QString ElideDistinct(const QString& text, const QStringList& others, const QFontMetrics& fm, int width);

protected:
    void changeEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    int FieldWidth() const;
    void UpdateToolTip();
    bool ElideMiddle = false;
};
