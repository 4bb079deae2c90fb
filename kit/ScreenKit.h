// Small pieces shared by the configuration, calibration, visualisation and
// data transfer screens: control styling, the nearest-item rule of numeric
// lists and the number formats shown on screen.
#pragma once

#include <QColor>
#include <QFont>
#include <QString>
#include <QStringList>

class QComboBox;
class QGroupBox;
class QLabel;
class QWidget;
class QPushButton;

namespace ScreenKit {

// The index of the first item whose number is strictly nearest to target
// (ties go to the earlier item); -1 when no item is a number.
int NearestIndex(const QStringList& items, int target);
// Selects that item in a list of numbers.
void SelectNearest(QComboBox* combo, int target);

// "2.35 V" with the user's decimal separator: volts with the pattern "0.00".
QString VoltsText(double volts);
// A number with the pattern "0.00" (user's decimal separator), no unit.
QString TwoDecimals(double value);
// A whole number with at least three digits ("000", "054", "2000").
QString ThreeDigits(int value);

// Looks of the screens' ordinary controls on the navy background.
QLabel* NewLabel(QWidget* parent, const char* name, Qt::Alignment align = Qt::AlignLeft | Qt::AlignVCenter);
void StyleLabel(QLabel* label, const QColor& color);
void StyleGroup(QGroupBox* group);
void StyleCombo(QComboBox* combo);
void StyleButton(QPushButton* button);

// A failure note for a word-wrapped label: `head`, then the reason of a
// failure of the form "<path>: <why>" as `why` and the path on a line of its
// own, shortened in the middle to the label's width (a reason without a
// path as it is). The label gets `font`, made smaller until the whole note
// fits its height. Returns the note (the label's text).
QString FitNote(QLabel* label, const QFont& font, const QString& head, const QString& reason);

}  // namespace ScreenKit
