// A hook that the gauges, lamps and the trace call at the end of every
// paintEvent. Benchmarks and tests set it to see when a widget was really
// repainted; the program leaves it empty.
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
}  // namespace PaintProbe
