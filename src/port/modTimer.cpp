#include "port/modTimer.h"

#include <algorithm>
#include <chrono>
#include <cstdint>

#include "support/Program.h"

namespace kx6000::modTimer {
namespace {

using Clock = std::chrono::steady_clock;
Clock::time_point deadline;
int32_t lastID = 0;

}  // namespace

void StartTimer(int16_t ms) {
    if (TimerID != 0) EndTimer();
    TimerExpired = false;
    deadline = Clock::now() + std::chrono::milliseconds(std::max<int16_t>(ms, 0));
    lastID = lastID == INT32_MAX ? 1 : lastID + 1;  // never 0, the "no timer" value
    TimerID = lastID;
    LastError = 0;
}

void EndTimer() {
    TimerID = 0;
}

void CheckTimer() {
    if (TimerID != 0 && Clock::now() >= deadline) {
        TimerID = 0;
        TimerExpired = true;
    }
}

int MillisecondsLeft() {
    if (TimerID == 0) return -1;
    auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return static_cast<int>(std::max<decltype(left)>(left, 0));
}

}  // namespace kx6000::modTimer
