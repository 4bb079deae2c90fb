// The rounded status panel of a screen and what it says: the link's
// connection status, a port error, or a screen's own message. It keeps what
// the text means rather than the text, so that a language switch says it
// again. A helper of cIOForm, which places the panel and feeds it the link's
// notifications.
#pragma once

#include <cstdint>

#include <QPointer>

class QLabel;
class QWidget;
class cShape;

class cStatusLine {
public:
    // Creates the panel and its label as children of `form` (not placed).
    explicit cStatusLine(QWidget* form);

    cShape* Shape() const { return Panel; }
    QLabel* Label() const { return Text; }

    // A link notification: shown when it is a connection status (false
    // when it is not and the line was left as it was).
    bool ShowLink(int32_t request, int32_t phase, int32_t value);
    // The port could not be opened: absent (no such device) or failed.
    void ShowPortError(bool absent);
    // A screen's own text, a catalogue key (translated now and on every
    // language switch), until the link's next status.
    void ShowMessage(const char* key);
    // Sets the label's text again from the catalogue.
    void Render();

private:
    QPointer<cShape> Panel;
    QPointer<QLabel> Text;
    enum class eKind { Design, Link, PortError, PortAbsent, Message } Kind = eKind::Design;
    const char* Message = nullptr;
    int32_t Phase = 0, Value = 0;
};
