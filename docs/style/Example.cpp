#include "docs/style/Example.h"

#include <string>

namespace Example {

namespace {

// A constant of this file only.
constexpr const char* kSeparator = " of ";

}  // namespace

cFrameCounter::cFrameCounter(tVerdictSink sink) : Sink(std::move(sink)) {}

bool cFrameCounter::Count(const sFrame& frame, bool answered) {
    if (int(Frames.size()) >= MaxFrames) return false;
    Frames.push_back(frame);
    const eVerdict verdict = answered ? eVerdict::Answered : eVerdict::Silent;
    if (answered) ++AnsweredCount;
    if (Sink) Sink(verdict);
    return true;
}

std::string cFrameCounter::Summary() const {
    return std::to_string(AnsweredCount) + kSeparator + std::to_string(Frames.size());
}

}  // namespace Example
