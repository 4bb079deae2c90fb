// The built-in help picture: the wiring diagram of an LPG installation with
// the ZORVA Basic ECU. The ECU connector stands in the middle with its
// sixteen numbered pins; the power side (battery, fuse, ignition switch,
// ignition coil, diagnostics) is on the left, the sensors and actuators on
// the right; the legend of wire colours and pins is at the bottom.
#include <vector>

#include <QPainterPath>
#include <QPen>

#include "core/Translate.h"

#include "kit/Artwork.h"

#include "Draw.h"

namespace draw {
namespace {

// A text of the picture in the language in force (catalogue domain
// "default", like the program's own texts).
QString Tr(const char* text) { return QString::fromUtf8(_(text)); }

constexpr int kWidth = 1563;
constexpr int kHeight = 2048;

constexpr double kEcuLeft = 680, kEcuRight = 990;

double PinY(int pin) { return 300 + (pin - 1) * 80; }

const QColor Red(214, 32, 32), Black(26, 26, 26), OrangeW(240, 138, 0), Brown(123, 74, 30), Green(30, 158, 58),
    Grey(140, 140, 140), Pink(242, 141, 178), Yellow(245, 208, 0), Blue(31, 95, 208), White(255, 255, 255),
    Violet(138, 63, 193), LightBlue(110, 198, 240);

struct sPin {
    int Number;
    sWireColour Colour;
    QString Cell;      // short name inside the connector
    QString Function;  // the legend's description
};

// Built for every drawing: the texts are those of the language in force.
std::vector<sPin> Pins() {
    const std::vector<sPin> pins = {
        {1, {Red, {}, Tr("red")}, Tr("+12 V battery"), Tr("+12 V from the battery, through fuse 10 A")},
        {2, {Black, {}, Tr("black")}, Tr("ground"), Tr("Ground, straight to battery −")},
        {3, {OrangeW, {}, Tr("orange")}, Tr("+12 V ignition"), Tr("+12 V with ignition on (terminal 15)")},
        {4, {Brown, {}, Tr("brown")}, Tr("RPM signal"), Tr("RPM signal: ignition coil terminal 1 (−)")},
        {5, {Green, {}, Tr("green")}, Tr("TPS signal"), Tr("Throttle position sensor, signal")},
        {6, {Grey, {}, Tr("grey")}, Tr("lambda signal"), Tr("Lambda probe, signal")},
        {7, {Pink, {}, Tr("pink")}, Tr("LPG level"), Tr("LPG level sensor, signal")},
        {8, {Yellow, {}, Tr("yellow")}, Tr("+5 V sensors"), Tr("LPG level sensor, +5 V supply")},
        {9, {Blue, {}, Tr("blue")}, Tr("gas valves"), Tr("Gas solenoid valves, +12 V output")},
        {10, {White, {}, Tr("white")}, Tr("stepper A+"), Tr("Stepper valve, coil A+")},
        {11, {White, Black, Tr("white/black")}, Tr("stepper A−"), Tr("Stepper valve, coil A−")},
        {12, {Violet, {}, Tr("violet")}, Tr("stepper B+"), Tr("Stepper valve, coil B+")},
        {13, {Violet, Black, Tr("violet/black")}, Tr("stepper B−"), Tr("Stepper valve, coil B−")},
        {14, {LightBlue, {}, Tr("light blue")}, Tr("console lamps"), Tr("Switch console, lamps")},
        {15, {LightBlue, Black, Tr("light blue/black")}, Tr("console button"), Tr("Switch console, button")},
        {16, {White, Red, Tr("white/red")}, Tr("diagnostics"), Tr("Diagnostic line to the PC (1200 baud)")},
    };
    return pins;
}

sWireColour ColourOf(int pin) { return Pins()[size_t(pin - 1)].Colour; }

// Name of the wire colour written just above a horizontal stretch of wire,
// within `room` (a short stretch between two bends: smaller type rather
// than over the wire that bends there).
void WireLabel(QPainter& p, double xMid, double y, int pin, double room = 180) {
    Text(p, QRectF(xMid - room / 2, y - 34, room, 24), Qt::AlignHCenter | Qt::AlignBottom, ColourOf(pin).Name, 17,
         false, QColor(60, 60, 60));
}

void Box(QPainter& p, const QRectF& r, const QColor& fill = QColor(246, 247, 250)) {
    p.save();
    p.setPen(QPen(Ink, 3));
    p.setBrush(fill);
    p.drawRoundedRect(r, 12, 12);
    p.restore();
}

void Terminal(QPainter& p, QPointF at) {
    p.save();
    p.setPen(QPen(Ink, 2));
    p.setBrush(QColor(200, 170, 60));
    p.drawRect(QRectF(at.x() - 7, at.y() - 7, 14, 14));
    p.restore();
}

void Title(QPainter& p) {
    p.fillRect(QRectF(0, 0, kWidth, 150), Navy);
    p.fillRect(QRectF(0, 150, kWidth, 6), Orange);
    Text(p, QRectF(40, 18, kWidth - 80, 70), Qt::AlignLeft | Qt::AlignVCenter, Tr("ZORVA Basic — wiring diagram"), 56,
         true, QColor(255, 160, 66));
    Text(p, QRectF(42, 90, kWidth - 80, 40), Qt::AlignLeft | Qt::AlignVCenter,
         Tr("LPG installation with stepper gas valve · 12 V, negative ground · "
            "ECU connector seen from the wire side"),
         24, false, QColor(225, 230, 240));
}

void Ecu(QPainter& p) {
    const QRectF body(kEcuLeft, 190, kEcuRight - kEcuLeft, 1370);
    p.save();
    p.setPen(QPen(Ink, 4));
    p.setBrush(QColor(52, 58, 70));
    p.drawRoundedRect(body, 16, 16);
    p.restore();
    Text(p, QRectF(kEcuLeft, 196, kEcuRight - kEcuLeft, 56), Qt::AlignCenter, Tr("ZORVA Basic ECU"), 28, true,
         QColor(255, 160, 66));
    for (const sPin& pin : Pins()) {
        const double y = PinY(pin.Number);
        const QRectF cell(kEcuLeft + 14, y - 36, kEcuRight - kEcuLeft - 28, 72);
        p.save();
        p.setPen(QPen(QColor(30, 30, 30), 2));
        p.setBrush(pin.Number % 2 ? QColor(236, 238, 242) : QColor(220, 224, 230));
        p.drawRect(cell);
        // Pin number in a circle.
        p.setBrush(Navy);
        p.setPen(Qt::NoPen);
        p.drawEllipse(QPointF(cell.left() + 32, y), 22, 22);
        p.restore();
        Text(p, QRectF(cell.left() + 10, y - 22, 44, 44), Qt::AlignCenter, QString::number(pin.Number), 22, true,
             Qt::white);
        Text(p, QRectF(cell.left() + 64, y - 30, cell.width() - 70, 60), Qt::AlignLeft | Qt::AlignVCenter, pin.Cell, 21,
             true);
    }
}

// --- Left side: power, ignition, RPM, diagnostics -------------------------

void Battery(QPainter& p) {
    const QRectF r(60, 190, 200, 140);
    p.save();
    p.setPen(QPen(Ink, 3));
    p.setBrush(QColor(40, 44, 52));
    p.drawRoundedRect(r, 10, 10);
    // Cell symbol: long and short plates.
    p.setPen(QPen(QColor(240, 240, 240), 4));
    for (int i = 0; i < 3; ++i) {
        const double x = 100 + i * 44;
        p.drawLine(QPointF(x, 230), QPointF(x, 290));
        p.drawLine(QPointF(x + 16, 245), QPointF(x + 16, 275));
    }
    p.restore();
    Text(p, QRectF(60, 336, 220, 30), Qt::AlignLeft | Qt::AlignVCenter, Tr("Battery 12 V"), 22, true);
    Text(p, QRectF(232, 200, 30, 26), Qt::AlignCenter, "+", 24, true, QColor(255, 90, 90));
    Text(p, QRectF(232, 296, 30, 26), Qt::AlignCenter, QString::fromUtf8("−"), 24, true, Qt::white);
}

void Fuse(QPainter& p, QPointF c) {
    p.save();
    p.setPen(QPen(Ink, 3));
    p.setBrush(QColor(255, 236, 150));
    p.drawRect(QRectF(c.x() - 46, c.y() - 16, 92, 32));
    p.drawLine(QPointF(c.x() - 46, c.y()), QPointF(c.x() + 46, c.y()));
    p.restore();
    Text(p, QRectF(c.x() - 80, c.y() - 52, 160, 30), Qt::AlignCenter, Tr("Fuse 10 A"), 20, true);
}

void PowerWires(QPainter& p) {
    // Pin 1: battery + through the fuse; pin 2: battery − and chassis.
    const double y1 = PinY(1), y2 = PinY(2);
    Wire(p, QPolygonF({QPointF(kEcuLeft, y1), QPointF(600, y1), QPointF(600, 230), QPointF(262, 230)}), ColourOf(1));
    Wire(p, QPolygonF({QPointF(kEcuLeft, y2), QPointF(560, y2), QPointF(560, 290), QPointF(262, 290)}), ColourOf(2));
    Wire(p, QPolygonF({QPointF(330, 290), QPointF(330, 318)}), ColourOf(2));
    Junction(p, QPointF(330, 290));
    Ground(p, QPointF(330, 318));
    Text(p, QRectF(350, 322, 200, 26), Qt::AlignLeft | Qt::AlignVCenter, Tr("chassis"), 17, false, QColor(60, 60, 60));
    Fuse(p, QPointF(440, 230));
    WireLabel(p, 641, y1, 1, 70);  // between the bend at 600 and the ECU
    WireLabel(p, 620, y2, 2);
    WireLabel(p, 505, 290, 2);
    Terminal(p, QPointF(262, 230));
    Terminal(p, QPointF(262, 290));
    Battery(p);
}

void IgnitionSwitch(QPainter& p) {
    const double y = PinY(3);
    Wire(p, QPolygonF({QPointF(kEcuLeft, y), QPointF(470, y)}), ColourOf(3));
    Wire(p, QPolygonF({QPointF(150, y), QPointF(380, y)}), sWireColour{Red, {}, Tr("red")});
    p.save();
    p.setPen(QPen(Ink, 3));
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(388, y), 9, 9);
    p.drawEllipse(QPointF(462, y), 9, 9);
    p.setPen(QPen(Ink, 4, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(394, y - 6), QPointF(456, y - 34));  // open contact
    p.restore();
    Text(p, QRectF(340, y - 84, 180, 30), Qt::AlignCenter, Tr("Ignition switch"), 20, true);
    Text(p, QRectF(365, y + 10, 46, 26), Qt::AlignCenter, "30", 17);
    Text(p, QRectF(440, y + 10, 46, 26), Qt::AlignCenter, "15", 17);
    Text(p, QRectF(40, y - 34, 330, 26), Qt::AlignLeft | Qt::AlignBottom, Tr("from battery +"), 17, false,
         QColor(60, 60, 60));
    WireLabel(p, 580, y, 3);
}

void IgnitionCoil(QPainter& p) {
    const double y = PinY(4);
    const QRectF r(210, y - 26, 200, 104);
    Wire(p, QPolygonF({QPointF(kEcuLeft, y), QPointF(r.right(), y)}), ColourOf(4));
    Box(p, r, QColor(250, 244, 232));
    // Primary winding drawn as loops.
    p.save();
    p.setPen(QPen(Ink, 3));
    QPainterPath coil;
    coil.moveTo(240, y + 40);
    for (int i = 0; i < 5; ++i) coil.arcTo(QRectF(240 + i * 24, y + 28, 24, 24), 180, -180);
    p.drawPath(coil);
    p.restore();
    Terminal(p, QPointF(r.right(), y));
    Text(p, QRectF(r.right() - 92, y - 22, 84, 24), Qt::AlignRight | Qt::AlignVCenter, QString::fromUtf8("1 (−)"), 17,
         true);
    Text(p, QRectF(r.left() + 6, y - 22, 90, 24), Qt::AlignLeft | Qt::AlignVCenter, "15 (+)", 17);
    Text(p, QRectF(40, r.bottom() + 6, 600, 30), Qt::AlignLeft | Qt::AlignVCenter,
         Tr("Ignition coil — RPM signal from terminal 1 (−)"), 20, true);
    WireLabel(p, 545, y, 4);
}

void Notes(QPainter& p) {
    const QRectF r(40, 720, 600, 650);
    p.save();
    p.setPen(QPen(QColor(180, 150, 60), 3));
    p.setBrush(QColor(255, 249, 225));
    p.drawRoundedRect(r, 14, 14);
    p.restore();
    Text(p, QRectF(r.left() + 24, r.top() + 14, r.width() - 48, 40), Qt::AlignLeft | Qt::AlignVCenter,
         Tr("Installation notes"), 26, true);
    const QStringList notes = {
        Tr("Pins 1 and 2 go straight to the battery; put the 10 A fuse as close to the "
           "battery as possible."),
        Tr("Pin 3 must carry +12 V only while the ignition is on (terminal 15)."),
        Tr("Tap the TPS and lambda signal wires with soldered joints; never cut them."),
        Tr("RPM: coil terminal 1 (−). With two coils take one of them and choose "
           "\"two coils\" (or the coil count) on the configuration screen."),
        Tr("Stepper valve: keep A+/A− and B+/B− in pairs. If the valve runs the wrong "
           "way, swap A+ with A−."),
        Tr("Pin 9 switches +12 V to both gas solenoid valves; their other ends go to "
           "ground."),
        Tr("Choose the LPG level sensor type on the configuration screen (F2)."),
        Tr("Lay the loom away from ignition leads and the exhaust."),
    };
    double y = r.top() + 68;
    for (int i = 0; i < notes.size(); ++i) {
        Text(p, QRectF(r.left() + 20, y, 36, 28), Qt::AlignRight | Qt::AlignTop, QString::number(i + 1) + ".", 19,
             true);
        const QRectF textRect(r.left() + 64, y, r.width() - 90, 120);
        p.setFont(Font(19));
        const QRectF used = p.boundingRect(textRect, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, notes[i]);
        Text(p, textRect, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, notes[i], 19);
        y += used.height() + 14;
    }
}

void Diagnostics(QPainter& p) {
    const double y = PinY(16);
    Wire(p, QPolygonF({QPointF(kEcuLeft, y), QPointF(520, y)}), ColourOf(16));
    WireLabel(p, 600, y, 16);
    // Socket.
    Box(p, QRectF(440, y - 30, 80, 60), QColor(230, 230, 230));
    p.save();
    p.setPen(Qt::NoPen);
    p.setBrush(Ink);
    for (int i = 0; i < 3; ++i) p.drawEllipse(QPointF(460 + i * 20, y), 5, 5);
    p.restore();
    Text(p, QRectF(380, y - 66, 210, 30), Qt::AlignCenter, Tr("Diagnostic socket"), 19, true);
    // PC with its serial interface.
    Wire(p, QPolygonF({QPointF(440, y), QPointF(300, y)}), sWireColour{QColor(90, 90, 90), {}, ""}, 6);
    const QRectF screen(80, y - 70, 200, 110);
    p.save();
    p.setPen(QPen(Ink, 3));
    p.setBrush(QColor(60, 66, 78));
    p.drawRoundedRect(screen, 8, 8);
    p.setBrush(QColor(11, 31, 75));
    p.drawRect(screen.adjusted(12, 12, -12, -12));
    p.setBrush(QColor(180, 184, 192));
    QPolygonF base;
    base << QPointF(60, y + 40) << QPointF(300, y + 40) << QPointF(320, y + 58) << QPointF(40, y + 58);
    p.drawPolygon(base);
    p.restore();
    Text(p, screen.adjusted(12, 12, -12, -12), Qt::AlignCenter, "ZVBasic", 22, true, QColor(255, 160, 66));
    Text(p, QRectF(60, y - 106, 380, 30), Qt::AlignLeft | Qt::AlignVCenter, Tr("PC: COM port, 1200 baud 8N1"), 17,
         false, QColor(60, 60, 60));
}

// --- Right side: sensors and actuators --------------------------------------

constexpr double kRightBox = 1180;

void Tps(QPainter& p) {
    const double yw = 230;
    Wire(p, QPolygonF({QPointF(kEcuRight, PinY(5)), QPointF(1015, PinY(5)), QPointF(1015, yw), QPointF(kRightBox, yw)}),
         ColourOf(5));
    WireLabel(p, 1100, yw, 5);
    const QRectF r(kRightBox, 180, 1540 - kRightBox, 130);
    Box(p, r);
    Terminal(p, QPointF(kRightBox, yw));
    // Potentiometer: resistor with wiper arrow.
    p.save();
    p.setPen(QPen(Ink, 3));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(1205, yw - 14, 70, 28));
    p.drawLine(QPointF(1215, yw + 32), QPointF(1268, yw - 28));
    QPolygonF head;
    head << QPointF(1268, yw - 28) << QPointF(1252, yw - 22) << QPointF(1262, yw - 12);
    p.setBrush(Ink);
    p.drawPolygon(head);
    p.restore();
    Text(p, QRectF(1290, 188, 244, 60), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextWordWrap,
         Tr("Throttle position sensor (TPS)"), 20, true);
    Text(p, QRectF(1290, 250, 244, 56), Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap,
         Tr("tap the signal wire of the car's sensor"), 17, false, QColor(60, 60, 60));
}

void Lambda(QPainter& p) {
    const double yw = 430;
    Wire(p, QPolygonF({QPointF(kEcuRight, PinY(6)), QPointF(1050, PinY(6)), QPointF(1050, yw), QPointF(kRightBox, yw)}),
         ColourOf(6));
    WireLabel(p, 1115, yw, 6);
    const QRectF r(kRightBox, 370, 1540 - kRightBox, 130);
    Box(p, r);
    Terminal(p, QPointF(kRightBox, yw));
    // Probe: hexagon nut, threaded body and protective tip.
    p.save();
    p.setPen(QPen(Ink, 3));
    p.setBrush(QColor(170, 175, 185));
    QPolygonF hex;
    hex << QPointF(1206, yw - 22) << QPointF(1232, yw - 22) << QPointF(1242, yw) << QPointF(1232, yw + 22)
        << QPointF(1206, yw + 22) << QPointF(1196, yw);
    p.drawPolygon(hex);
    p.setBrush(QColor(200, 200, 205));
    p.drawRect(QRectF(1242, yw - 13, 22, 26));
    for (int i = 0; i < 4; ++i) p.drawLine(QPointF(1246 + i * 5, yw - 13), QPointF(1246 + i * 5, yw + 13));
    p.setBrush(QColor(150, 155, 165));
    p.drawRoundedRect(QRectF(1264, yw - 10, 18, 20), 6, 6);
    p.restore();
    Text(p, QRectF(1290, 378, 244, 60), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextWordWrap, Tr("Lambda probe"), 20,
         true);
    Text(p, QRectF(1290, 430, 244, 64), Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap,
         Tr("signal wire only; 0-1 V, 0-5 V or 0.8-1.6 V type"), 17, false, QColor(60, 60, 60));
}

void LevelSensor(QPainter& p) {
    const double ys = 600, yp = 680;
    Wire(p, QPolygonF({QPointF(kEcuRight, PinY(7)), QPointF(1085, PinY(7)), QPointF(1085, ys), QPointF(kRightBox, ys)}),
         ColourOf(7));
    Wire(p, QPolygonF({QPointF(kEcuRight, PinY(8)), QPointF(1120, PinY(8)), QPointF(1120, yp), QPointF(kRightBox, yp)}),
         ColourOf(8));
    WireLabel(p, 1045, PinY(7), 7);
    WireLabel(p, 1055, PinY(8), 8);
    const QRectF r(kRightBox, 560, 1540 - kRightBox, 150);
    Box(p, r);
    Terminal(p, QPointF(kRightBox, ys));
    Terminal(p, QPointF(kRightBox, yp));
    Text(p, QRectF(kRightBox + 12, ys - 14, 80, 28), Qt::AlignLeft | Qt::AlignVCenter, Tr("signal"), 16);
    Text(p, QRectF(kRightBox + 12, yp - 14, 80, 28), Qt::AlignLeft | Qt::AlignVCenter, "+5 V", 16);
    // Dial of the tank gauge.
    const QPointF c(1300, 640);
    p.save();
    p.setPen(QPen(Ink, 3));
    p.setBrush(Qt::white);
    p.drawEllipse(c, 34, 34);
    p.setPen(QPen(Red, 5));
    p.drawArc(QRectF(c.x() - 26, c.y() - 26, 52, 52), 200 * 16, -30 * 16);
    p.setPen(QPen(Green, 5));
    p.drawArc(QRectF(c.x() - 26, c.y() - 26, 52, 52), 170 * 16, -140 * 16);
    p.setPen(QPen(Ink, 3, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(c, c + QPointF(18, -16));
    p.restore();
    Text(p, QRectF(1346, 566, 190, 60), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextWordWrap, Tr("LPG level sensor"), 20,
         true);
    Text(p, QRectF(1346, 626, 190, 60), Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, Tr("on the tank multivalve"),
         17, false, QColor(60, 60, 60));
    Ground(p, QPointF(1500, r.bottom()));
}

void SolenoidValve(QPainter& p, QPointF top, const QString& name) {
    // Coil symbol hanging from the feed, its other end to ground.
    p.save();
    p.setPen(QPen(Ink, 3));
    p.drawLine(top, top + QPointF(0, 18));
    p.setBrush(QColor(255, 250, 235));
    const QRectF coil(top.x() - 20, top.y() + 18, 40, 50);
    p.drawRect(coil);
    p.drawLine(coil.bottomLeft(), coil.topRight());
    p.drawLine(QPointF(top.x(), coil.bottom()), QPointF(top.x(), coil.bottom() + 4));
    p.restore();
    Ground(p, QPointF(top.x(), top.y() + 72));
    Text(p, QRectF(top.x() + 28, top.y() + 14, 150, 64), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextWordWrap, name, 17,
         true);
}

void SolenoidValves(QPainter& p) {
    const double bus = 800;
    Wire(p, QPolygonF({QPointF(kEcuRight, PinY(9)), QPointF(1155, PinY(9)), QPointF(1155, bus), QPointF(1400, bus)}),
         ColourOf(9));
    WireLabel(p, 1072, PinY(9), 9);
    Junction(p, QPointF(1210, bus));
    Junction(p, QPointF(1400, bus));
    SolenoidValve(p, QPointF(1210, bus), Tr("Reducer\n(vaporiser)"));
    SolenoidValve(p, QPointF(1400, bus), Tr("Tank\n(multivalve)"));
    Text(p, QRectF(1165, 730, 300, 30), Qt::AlignLeft | Qt::AlignVCenter, Tr("Gas solenoid valves"), 20, true);
}

void Stepper(QPainter& p) {
    const QRectF r(1230, PinY(10) - 40, 1540 - 1230, PinY(13) - PinY(10) + 80);
    for (int pin = 10; pin <= 13; ++pin) {
        Wire(p, QPolygonF({QPointF(kEcuRight, PinY(pin)), QPointF(r.left(), PinY(pin))}), ColourOf(pin));
        WireLabel(p, 1110, PinY(pin), pin);
    }
    Box(p, r);
    const char* names[] = {"A+", "A\u2212", "B+", "B\u2212"};
    for (int i = 0; i < 4; ++i) {
        const double y = PinY(10 + i);
        Terminal(p, QPointF(r.left(), y));
        Text(p, QRectF(r.left() + 14, y - 14, 50, 28), Qt::AlignLeft | Qt::AlignVCenter, QString::fromUtf8(names[i]),
             18, true);
    }
    // Motor and valve body.
    const QPointF m(1350, PinY(10) + 70);
    p.save();
    p.setPen(QPen(Ink, 3));
    p.setBrush(QColor(255, 236, 200));
    p.drawEllipse(m, 44, 44);
    p.setBrush(QColor(200, 205, 215));
    p.drawRect(QRectF(m.x() - 20, m.y() + 44, 40, 46));
    p.drawRect(QRectF(m.x() - 60, m.y() + 90, 120, 36));
    p.restore();
    Text(p, QRectF(m.x() - 44, m.y() - 44, 88, 88), Qt::AlignCenter, "M", 40, true);
    Text(p, QRectF(m.x() - 60, m.y() + 90, 120, 36), Qt::AlignCenter, Tr("gas"), 17);
    Text(p, QRectF(1410, r.top() + 14, 125, 120), Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap,
         Tr("Stepper valve (gas flow valve)"), 19, true);
    Text(p, QRectF(1410, r.top() + 150, 125, 120), Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap,
         Tr("between reducer and mixer"), 16, false, QColor(60, 60, 60));
}

void ConsoleWiring(QPainter& p) {
    const QRectF consoleRect(1262, 1336, 272, 92);
    for (int pin = 14; pin <= 15; ++pin) {
        Wire(p, QPolygonF({QPointF(kEcuRight, PinY(pin)), QPointF(1256, PinY(pin))}), ColourOf(pin));
        WireLabel(p, 1110, PinY(pin), pin);
        Terminal(p, QPointF(1256, PinY(pin)));
    }
    Text(p, QRectF(1180, 1296, 80, 26), Qt::AlignLeft | Qt::AlignVCenter, Tr("lamps"), 15);
    Text(p, QRectF(1180, 1430, 80, 26), Qt::AlignLeft | Qt::AlignVCenter, Tr("button"), 15);
    Artwork::DrawConsole(p, consoleRect, true);
    Text(p, QRectF(1200, 1466, 340, 30), Qt::AlignCenter, Tr("Switch console (dashboard)"), 20, true);
    Text(p, QRectF(1200, 1494, 340, 56), Qt::AlignCenter | Qt::TextWordWrap,
         Tr("G gas · B petrol · wedge: LPG level, red lamp = reserve"), 16, false, QColor(60, 60, 60));
}

// --- Legend -----------------------------------------------------------------

void Legend(QPainter& p) {
    const double top = 1580;
    p.fillRect(QRectF(0, top, kWidth, kHeight - top), QColor(240, 242, 247));
    p.fillRect(QRectF(0, top, kWidth, 4), Navy);
    Text(p, QRectF(40, top + 14, 900, 40), Qt::AlignLeft | Qt::AlignVCenter, Tr("Wire colours and ECU connector pins"),
         28, true, Navy);
    const double rowH = 42, firstRow = top + 74;
    for (const sPin& pin : Pins()) {
        const int col = (pin.Number - 1) / 8, row = (pin.Number - 1) % 8;
        const double x0 = 40 + col * 760, y = firstRow + row * rowH;
        Wire(p, QPolygonF({QPointF(x0, y), QPointF(x0 + 70, y)}), pin.Colour);
        Text(p, QRectF(x0 + 82, y - 18, 40, 36), Qt::AlignRight | Qt::AlignVCenter, QString::number(pin.Number), 20,
             true);
        Text(p, QRectF(x0 + 136, y - 18, 190, 36), Qt::AlignLeft | Qt::AlignVCenter, pin.Colour.Name, 19, true);
        Text(p, QRectF(x0 + 330, y - 18, 420, 36), Qt::AlignLeft | Qt::AlignVCenter, pin.Function, 19);
    }
    Text(p, QRectF(40, kHeight - 56, kWidth - 80, 36), Qt::AlignLeft | Qt::AlignVCenter,
         Tr("Two-colour wires: base colour / stripe colour.  Every ground symbol means the "
            "vehicle body, joined to battery −.  Not to scale."),
         17, false, QColor(70, 70, 70));
}

}  // namespace

QImage HelpPicture() {
    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    Title(p);
    Notes(p);
    PowerWires(p);
    IgnitionSwitch(p);
    IgnitionCoil(p);
    Diagnostics(p);
    Tps(p);
    Lambda(p);
    LevelSensor(p);
    SolenoidValves(p);
    Stepper(p);
    ConsoleWiring(p);
    Ecu(p);
    Legend(p);
    return image;
}

}  // namespace draw
