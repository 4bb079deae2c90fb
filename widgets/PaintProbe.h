// Hooks that the gauges, lamps and the trace call when a change makes them ask
// for a repaint, and at the end of every paintEvent. Benchmarks and tests set
// them to see when a change was really shown; the program leaves them empty.
#pragma once

#include <functional>

class QWidget;

namespace PaintProbe {
inline std::function<void(const QWidget*)>& Hook() {
    static std::function<void(const QWidget*)> hook;
    return hook;
}
inline void Painted(const QWidget* w) {
    if (auto& h = Hook()) h(w);
}
inline std::function<void(const QWidget*)>& RequestHook() {
    static std::function<void(const QWidget*)> hook;
    return hook;
}
inline void Requested(const QWidget* w) {
    if (auto& h = RequestHook()) h(w);
}
}  // namespace PaintProbe
