#include "kit/ScreenKit.h"

#include <algorithm>
#include <cstdlib>

#include <QComboBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLocale>
#include <QPushButton>

#include "kit/IOForm.h"

namespace ScreenKit {

int NearestIndex(const QStringList& items, int target) {
    int best = -1;
    long long bestDiff = 100000;
    for (int i = 0; i < items.size(); ++i) {
        bool ok = false;
        int v = items[i].trimmed().toInt(&ok);
        if (!ok) continue;
        long long diff = std::llabs((long long)v - target);
        if (diff < bestDiff) {
            bestDiff = diff;
            best = i;
        }
    }
    return best;
}

void SelectNearest(QComboBox* combo, int target) {
    QStringList items;
    for (int i = 0; i < combo->count(); ++i) items << combo->itemText(i);
    combo->setCurrentIndex(NearestIndex(items, target));
}

QString VoltsText(double volts) { return TwoDecimals(volts) + QStringLiteral(" V"); }

QString TwoDecimals(double value) { return QLocale().toString(value, 'f', 2); }

QString ThreeDigits(int value) {
    if (value < 0) return QStringLiteral("-") + ThreeDigits(-value);
    return QStringLiteral("%1").arg(value, 3, 10, QLatin1Char('0'));
}

QLabel* NewLabel(QWidget* parent, const char* name, Qt::Alignment align) {
    auto* l = new QLabel(parent);
    l->setObjectName(QString::fromLatin1(name));
    l->setAlignment(align);
    StyleLabel(l, Qt::white);
    return l;
}

void StyleLabel(QLabel* label, const QColor& color) {
    QPalette pal = label->palette();
    pal.setColor(QPalette::WindowText, color);
    pal.setColor(QPalette::Disabled, QPalette::WindowText, QColor(130, 130, 170));
    label->setPalette(pal);
}

void StyleGroup(QGroupBox* group) {
    cIOForm::DeferStyleSheet(
        group,
        QStringLiteral(
            "QGroupBox { border: 2px solid rgb(255,128,0); border-radius: 10px; margin-top: 0.8em; }"
            "QGroupBox::title { subcontrol-origin: margin; left: 14px; padding: 0 2px; color: rgb(255,160,66); }"));
}

void StyleCombo(QComboBox* combo) {
    cIOForm::DeferStyleSheet(
        combo,
        QStringLiteral(
            "QComboBox { background: rgb(233,232,171); color: black; border: 1px solid black; padding-left: 6px; }"
            "QComboBox:disabled { background: rgb(160,160,160); color: rgb(80,80,80); }"
            "QComboBox QAbstractItemView { background: rgb(233,232,171); color: black;"
            " selection-background-color: rgb(0,0,128); selection-color: white; }"));
}

void StyleButton(QPushButton* button) {
    cIOForm::DeferStyleSheet(
        button,
        QStringLiteral("QPushButton { background: black; color: rgb(255,128,0); border: 2px solid rgb(255,128,0); }"
                       "QPushButton:disabled { color: rgb(120,80,40); border-color: rgb(120,80,40); }"
                       "QPushButton:pressed { background: rgb(128,0,0); }"
                       "QPushButton:focus { border-color: rgb(255,255,0); }"));
    button->setCursor(Qt::PointingHandCursor);
}

QString FitNote(QLabel* label, const QFont& font, const QString& head, const QString& reason) {
    const int split = reason.lastIndexOf(QStringLiteral(": "));
    const QString path = split > 0 ? reason.left(split) : QString();
    const QString why = split > 0 ? reason.mid(split + 2) : reason;
    const int room = std::max(1, label->contentsRect().width());
    QFont f = font;
    QString note;
    for (;;) {
        label->setFont(f);
        const QFontMetrics fm(f);
        note = head + QLatin1Char('\n') + why;
        if (!path.isEmpty()) note += QLatin1Char('\n') + fm.elidedText(path, Qt::ElideMiddle, room);
        label->setText(note);
        if (label->heightForWidth(room) <= label->contentsRect().height() || f.pixelSize() <= 6) break;
        f.setPixelSize(f.pixelSize() - 1);
    }
    return note;
}

}  // namespace ScreenKit
