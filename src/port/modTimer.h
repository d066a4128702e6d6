// The program's one time-out timer: a one-shot deadline that the waiting loops
// look at on every pass.
#pragma once

#include <cstdint>

namespace kx6000::modTimer {

// Set when the running timer's time has passed; cleared by StartTimer.
inline bool TimerExpired = false;
// The running timer; 0 when none runs.
inline int32_t TimerID = 0;

// Starts a timer of `ms` milliseconds (ending any running one) and sets LastError to 0.
void StartTimer(int16_t ms);
void EndTimer();
// Expires the running timer when its deadline has passed: TimerID 0, TimerExpired true.
void CheckTimer();
// Milliseconds until the running timer expires (0 when due), or -1 when none runs.
int MillisecondsLeft();

}  // namespace kx6000::modTimer
