// The naming rules of docs/CONVENTIONS.md on a small piece of code: a
// counter of the frames the ECU answered. Built with the tests.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// A protocol byte: what the ECU sees.
constexpr uint8_t EXAMPLE_FRAME_END = 0xAC;

namespace Example {

// A constant of the interface.
constexpr int MaxFrames = 16;

enum class eVerdict { Answered, Silent };

// Plain data.
struct sFrame {
    uint8_t Code = 0;
    uint8_t Data = 0;
};

using tVerdictSink = std::function<void(eVerdict)>;

// A class with rules of its own.
class cFrameCounter {
public:
    explicit cFrameCounter(tVerdictSink sink);
    // Counts one frame and its verdict; false once MaxFrames are counted.
    bool Count(const sFrame& frame, bool answered);
    int Answered() const { return AnsweredCount; }
    std::string Summary() const;

private:
    tVerdictSink Sink;
    std::vector<sFrame> Frames;
    int AnsweredCount = 0;
};

}  // namespace Example
