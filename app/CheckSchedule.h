#pragma once

#include <cstdint>
#include <functional>
#include <optional>

// When the automatic checks of the page run: once soon after start-up when asked, then every
// interval after the last one ended; never two closer than kMinGapSeconds; after failures in a
// row the wait doubles, up to kLongestBackoffSeconds; a server's Retry-After is waited out, up to
// kLongestRetryAfterSeconds. Times are seconds of the clock given, which must go on while the
// machine sleeps: after a sleep longer than the interval one check is due, not one per interval
// missed.
class CCheckSchedule {
public:
    using TClock = std::function<std::int64_t()>;
    static constexpr int kMinMinutes = 15;
    static constexpr int kMaxMinutes = 24 * 60;
    static constexpr std::int64_t kMinGapSeconds = std::int64_t(kMinMinutes) * 60;
    static constexpr std::int64_t kLongestBackoffSeconds = 6 * 60 * 60;
    static constexpr std::int64_t kLongestRetryAfterSeconds = 24 * 60 * 60;

    enum class TOutcome { done, failed };

    explicit CCheckSchedule(TClock clock);

    // Checks every minutes (kept within kMinMinutes..kMaxMinutes), counted from the end of the
    // last check or, before any, from now; 0: none but the one CheckSoon asks for.
    void SetInterval(int minutes);
    // One check is due now, or kMinGapSeconds after the end of the last one if that is later.
    void CheckSoon();
    // Whether a check should start now; never while one runs.
    bool Due() const;
    // When the next check is due; none while one runs or when none is planned.
    std::optional<std::int64_t> NextAt() const;
    void Started();
    // The check that started has ended; retryAfterSeconds: what a 429 or 503 asked for.
    void Finished(TOutcome outcome, std::optional<std::int64_t> retryAfterSeconds = {});

private:
    // How long after the end of the last check the next one comes.
    std::int64_t Wait() const;

    TClock clock;
    std::int64_t intervalSeconds = 0;
    // Before any check: when the interval was set, from which the first is counted.
    std::int64_t intervalSince = 0;
    std::optional<std::int64_t> lastEnd;
    int failures = 0;
    std::int64_t retryAfter = 0;
    bool soon = false;
    bool running = false;
};

// Seconds of the system's clock that goes on while the machine sleeps and is never set back
// (CLOCK_BOOTTIME), the schedule's clock in the program.
std::int64_t BootClockSeconds();
