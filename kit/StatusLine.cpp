#include "kit/StatusLine.h"

#include <string>

#include <QLabel>

#include "link/LinkListener.h"
#include "link/LinkStatus.h"

#include "widgets/Palette.h"
#include "widgets/Shape.h"

#include "kit/QtText.h"

cStatusLine::cStatusLine(QWidget* form) {
    Panel = new cShape(form);
    Panel->setObjectName(QStringLiteral("StatusSH"));
    Panel->SetBrush(Qt::black);
    Panel->SetPen(Palette::Orange, 2);
    Panel->SetRadius(12);
    Text = new QLabel(form);
    Text->setObjectName(QStringLiteral("StatusLL"));
    Text->setAlignment(Qt::AlignVCenter | Qt::AlignLeft);
    QPalette pal = Text->palette();
    pal.setColor(QPalette::WindowText, Palette::Yellow);
    Text->setPalette(pal);
    // The status panel counts as background for the buttons' hover
    // colours: mouse moves over it are passed on to the form.
    Panel->setMouseTracking(true);
    Text->setMouseTracking(true);
}

bool cStatusLine::ShowLink(int32_t request, int32_t phase, int32_t value) {
    if (!FormatLinkStatus(request, phase, value)) return false;
    Kind = eKind::Link;
    Phase = phase;
    Value = value;
    Render();
    return true;
}

void cStatusLine::ShowPortError(bool absent) {
    Kind = absent ? eKind::PortAbsent : eKind::PortError;
    Render();
}

void cStatusLine::ShowMessage(const char* key) {
    Kind = eKind::Message;
    Message = key;
    Render();
}

void cStatusLine::Render() {
    if (!Text) return;
    QString text;
    switch (Kind) {
    case eKind::Design: text = Tr("Status: connected"); break;
    case eKind::Link: text = ToQ(FormatLinkStatus(RQ_CONNECT, Phase, Value).value_or(std::string())); break;
    case eKind::PortError: text = Tr("COM port error!"); break;
    case eKind::PortAbsent: text = Tr("COM port not present!"); break;
    case eKind::Message: text = Message ? Tr(Message) : QString(); break;
    }
    Text->setText(text);
}
