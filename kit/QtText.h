// The catalogue lookup for Qt texts: the English text is the key, the
// translation comes back as UTF-8.
#pragma once

#include <QString>

#include "core/Translate.h"

inline QString Tr(const char* text) { return QString::fromUtf8(_(text)); }
inline QString ToQ(const std::string& text) { return QString::fromStdString(text); }
