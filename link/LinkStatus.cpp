#include "link/LinkStatus.h"

#include <cmath>

#include "core/Translate.h"

#include "link/LinkListener.h"

std::optional<std::string> FormatLinkStatus(int32_t request, int32_t phase, int32_t value) {
    if (request != RQ_CONNECT) return std::nullopt;
    switch (phase) {
    case Phase::Start: return std::string(_("Status: -(       )-"));
    case Phase::Attempt: {
        // A marker that bounces across six cells as the counter runs 1..9, 0.
        std::string text = _("Status: -(");
        for (int i = 0; i < 6; ++i) text += (i == value || i == 10 - value) ? '~' : ' ';
        return text + ")-";
    }
    case Phase::Connected:
        if (value == 1) return std::string(_("Status: connected"));
        return std::nullopt;
    default: return std::nullopt;
    }
}

std::string ConnectingText(int32_t counter) {
    std::string text = _("Connecting");
    // The link's counter runs 0..9; anything else is held to that range so a
    // stray value cannot ask for a huge string.
    int dots = (counter < 0 ? 0 : counter > 9 ? 9 : counter) + 1;
    text.append(size_t(dots), '.');
    return text;
}

int ProgressPercent(int32_t value) {
    double f = double(ValueToProgress(value)) * 100.0;
    if (!std::isfinite(f) || f <= 0) return 0;
    if (f >= 100) return 100;
    return int(std::trunc(f));
}

std::string LoadingText(int32_t value) {
    return std::string(_("Loading data")) + ": " + std::to_string(ProgressPercent(value)) + "%";
}
