#include "opc/QualityWait.h"

#include <cstdint>

#include "data/Clock.h"

bool WaitUntil(const std::function<bool()>& condition, const Clock& clock,
               const std::function<bool()>& keepWaiting, int timeoutMs) {
  const std::int64_t start = clock.TickCountMs();
  for (;;) {
    const bool more = keepWaiting ? keepWaiting() : true;
    const std::int64_t now = clock.TickCountMs();
    const bool done = condition();
    if (done || !more || now - start >= timeoutMs) return done;
  }
}

bool WaitForGoodQuality(const OpcItem* item, const Clock& clock,
                        const std::function<bool()>& keepWaiting, int timeoutMs) {
  return WaitUntil([item] { return item != nullptr && IsGoodQuality(item->Quality()); }, clock,
                   keepWaiting, timeoutMs);
}
