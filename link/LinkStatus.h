// Texts that follow the link's notifications: the shared status line of the
// screens and the main menu's information panel. Pure functions, no Qt.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

// Status-line text for a LinkEvent; only RQ_CONNECT events give one. nullopt
// means the label keeps its text (other requests, or phase 2 with a value
// other than 1).
std::optional<std::string> FormatLinkStatus(int32_t request, int32_t phase, int32_t value);

// "Connecting" followed by counter + 1 full stops.
std::string ConnectingText(int32_t counter);

// The settings-read progress carried in a LinkValue, as a whole percent:
// f x 100 in double precision, truncated toward zero, held within 0..100.
int ProgressPercent(int32_t value);

// "Loading data: 69%".
std::string LoadingText(int32_t value);
