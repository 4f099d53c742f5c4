#include "app/CheckSchedule.h"

#include <time.h>

#include <algorithm>
#include <limits>

namespace {

// Doublings beyond this many already pass every cap.
constexpr int kMostDoublings = 16;

}  // namespace

CCheckSchedule::CCheckSchedule(TClock clock) : clock(std::move(clock)) {}

void CCheckSchedule::SetInterval(int minutes) {
    intervalSeconds =
        minutes <= 0 ? 0 : std::int64_t(std::clamp(minutes, kMinMinutes, kMaxMinutes)) * 60;
    intervalSince = clock();
}

void CCheckSchedule::CheckSoon() {
    soon = true;
}

std::int64_t CCheckSchedule::Wait() const {
    std::int64_t wait = intervalSeconds;
    if (failures > 0) {
        // An interval already longer than the cap is not shortened by a failure.
        wait = std::max(
            wait, std::min(wait << std::min(failures, kMostDoublings), kLongestBackoffSeconds));
    }
    return std::max({wait, retryAfter, kMinGapSeconds});
}

std::optional<std::int64_t> CCheckSchedule::NextAt() const {
    if (running) {
        return std::nullopt;
    }
    if (soon) {
        return lastEnd ? *lastEnd + std::max(kMinGapSeconds, retryAfter)
                       : std::numeric_limits<std::int64_t>::min();
    }
    if (intervalSeconds == 0) {
        return std::nullopt;
    }
    return lastEnd ? *lastEnd + Wait() : intervalSince + std::max(intervalSeconds, kMinGapSeconds);
}

bool CCheckSchedule::Due() const {
    const std::optional<std::int64_t> next = NextAt();
    return next && clock() >= *next;
}

void CCheckSchedule::Started() {
    running = true;
    soon = false;
}

void CCheckSchedule::Finished(TOutcome outcome, std::optional<std::int64_t> retryAfterSeconds) {
    running = false;
    lastEnd = clock();
    failures = outcome == TOutcome::failed ? failures + 1 : 0;
    retryAfter =
        std::clamp<std::int64_t>(retryAfterSeconds.value_or(0), 0, kLongestRetryAfterSeconds);
}

std::int64_t BootClockSeconds() {
    timespec now{};
    clock_gettime(CLOCK_BOOTTIME, &now);
    return now.tv_sec;
}
