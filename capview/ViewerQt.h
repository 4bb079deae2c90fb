// The viewer's catalogue lookup for Qt texts (domain "zvbasic-capview").
#pragma once

#include <QString>

#include "analysis/ViewerText.h"

inline QString CvTr(const char* text) { return QString::fromUtf8(ViewerText::Get(text)); }
inline QString CvTrN(const char* singular, const char* plural, unsigned long n) {
    return QString::fromUtf8(ViewerText::Get(singular, plural, n));
}
// Marks a text for extraction without translating it.
#define CvN_(text) text
