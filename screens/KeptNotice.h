// The line the settings screens show about settings kept over a
// reconnection and about an ECU that looks like another vehicle's.
#pragma once

class QString;

// Empty when there is nothing to say.
QString KeptEditsNotice();
