// Waits on the plant that keep the user interface alive: until a condition holds (an
// item's Good quality, values read back) or a time on the program's clock has passed.
#pragma once

#include <functional>

#include "opc/OpcClient.h"

class Clock;

// Tests condition until it holds or timeoutMs have passed on the clock, calling
// keepWaiting before each test (it processes the user interface's events; returning
// false ends the wait early). Returns the condition's last result.
bool WaitUntil(const std::function<bool()>& condition, const Clock& clock,
               const std::function<bool()>& keepWaiting, int timeoutMs);

// Waits until item reports Good quality; true when it did. A null item never does.
bool WaitForGoodQuality(const OpcItem* item, const Clock& clock,
                        const std::function<bool()>& keepWaiting, int timeoutMs);
