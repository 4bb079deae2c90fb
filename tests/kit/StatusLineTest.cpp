// The shared status line: what each notification leaves on it, one after
// another on the same line.
#include <gtest/gtest.h>

#include <QLabel>
#include <QWidget>

#include "link/LinkListener.h"

#include "widgets/Shape.h"

#include "kit/StatusLine.h"

TEST(StatusLine, EachNotificationLeavesItsText) {
    enum class eStep { Link, PortError, Message };
    struct sStep {
        eStep Kind;
        int32_t Request, Phase, Value;  // Link; PortError: Value 1 = absent
        const char* Message;
        bool Shown;  // what ShowLink returns
        const char* Text;
    };
    const sStep steps[] = {
        // A request that is not the connection leaves the line alone.
        {eStep::Link, RQ_VIS_POLL, Phase::Start, 0, nullptr, false, "Status: connected"},
        {eStep::Link, RQ_CONNECT, Phase::Attempt, 2, nullptr, true, "Status: -(  ~   )-"},
        {eStep::PortError, 0, 0, 1, nullptr, true, "COM port not present!"},
        {eStep::PortError, 0, 0, 0, nullptr, true, "COM port error!"},
        {eStep::Message, 0, 0, 0, "Capture stopped: write error!", true, "Capture stopped: write error!"},
        // Connecting stopped has no text of its own: the screen's message stays.
        {eStep::Link, RQ_CONNECT, Phase::Connected, 0, nullptr, false, "Capture stopped: write error!"},
        {eStep::Link, RQ_READ_SETTINGS, Phase::Start, 0, nullptr, false, "Capture stopped: write error!"},
        {eStep::Link, RQ_CONNECT, Phase::Connected, 1, nullptr, true, "Status: connected"},
    };
    QWidget form;
    cStatusLine line(&form);
    ASSERT_EQ(line.Label()->parentWidget(), &form);
    ASSERT_EQ(line.Shape()->objectName(), QStringLiteral("StatusSH"));
    line.Render();
    int n = 0;
    for (const sStep& s : steps) {
        SCOPED_TRACE(n++);
        switch (s.Kind) {
        case eStep::Link: EXPECT_EQ(line.ShowLink(s.Request, s.Phase, s.Value), s.Shown); break;
        case eStep::PortError: line.ShowPortError(s.Value == 1); break;
        case eStep::Message: line.ShowMessage(s.Message); break;
        }
        EXPECT_EQ(line.Label()->text().toStdString(), s.Text);
        // Said again (a language switch) it reads the same.
        line.Render();
        EXPECT_EQ(line.Label()->text().toStdString(), s.Text);
    }
}
