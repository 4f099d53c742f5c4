// The schedule of the automatic checks, on a clock the test moves: no test waits.
#include <gtest/gtest.h>

#include <vector>

#include "app/CheckSchedule.h"

namespace {

constexpr std::int64_t kMinute = 60;
constexpr std::int64_t kHour = 60 * kMinute;
using TOutcome = CCheckSchedule::TOutcome;

class CheckScheduleTest : public ::testing::Test {
protected:
    // Runs a check at the clock's time with the given end.
    void Check(TOutcome outcome, std::optional<std::int64_t> retryAfter = {}) {
        ASSERT_TRUE(schedule.Due());
        schedule.Started();
        EXPECT_FALSE(schedule.Due()) << "never two at once";
        schedule.Finished(outcome, retryAfter);
    }
    // How long after now the next check is due.
    std::optional<std::int64_t> NextIn() const {
        const auto next = schedule.NextAt();
        return next ? std::optional(*next - now) : std::nullopt;
    }

    std::int64_t now = 1'000'000;
    CCheckSchedule schedule{[this] { return now; }};
};

TEST_F(CheckScheduleTest, WaitsTheIntervalDoublingAfterFailuresAndHonoursRetryAfter) {
    struct TEnd {
        TOutcome outcome;
        std::optional<std::int64_t> retryAfter;
    };
    const TEnd ok{TOutcome::done, {}};
    const TEnd fail{TOutcome::failed, {}};
    const struct Row {
        const char* label;
        int minutes;
        std::vector<TEnd> ends;
        std::optional<std::int64_t> nextIn;
    } rows[] = {
        {"a success: the interval", 30, {ok}, 30 * kMinute},
        {"an interval below the least: the least", 5, {ok}, 15 * kMinute},
        {"one failure doubles", 30, {fail}, 60 * kMinute},
        {"three in a row", 30, {fail, fail, fail}, 240 * kMinute},
        {"many in a row: six hours at most", 30, std::vector<TEnd>(40, fail), 6 * kHour},
        {"a day's interval is not shortened by the cap", 1440, {fail}, 24 * kHour},
        {"a success after failures: the interval again", 30, {fail, fail, ok}, 30 * kMinute},
        {"Retry-After longer than the doubling", 30, {{TOutcome::failed, 2 * kHour}}, 2 * kHour},
        {"Retry-After shorter than the doubling", 30, {{TOutcome::failed, 60}}, 60 * kMinute},
        {"Retry-After of a week: a day", 30, {{TOutcome::failed, 7 * 24 * kHour}}, 24 * kHour},
        {"no interval: nothing after the check at start", 0, {fail}, std::nullopt},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        schedule = CCheckSchedule([this] { return now; });
        schedule.SetInterval(row.minutes);
        schedule.CheckSoon();
        for (const TEnd& end : row.ends) {
            if (const auto next = schedule.NextAt(); next && *next > now) {
                now = *next;
            }
            Check(end.outcome, end.retryAfter);
        }
        EXPECT_EQ(NextIn(), row.nextIn);
    }
}

TEST_F(CheckScheduleTest, StartsSoonNeverCloserThanTheGapAndOnceAfterASleep) {
    schedule.SetInterval(0);
    EXPECT_FALSE(schedule.Due()) << "nothing asked";
    schedule.CheckSoon();
    Check(TOutcome::done);
    schedule.CheckSoon();
    EXPECT_EQ(NextIn(), 15 * kMinute) << "a second start-up check keeps the gap";

    schedule.SetInterval(60);
    now += 60 * kMinute;
    Check(TOutcome::done);
    now += 10 * kHour;  // the machine slept through ten intervals
    Check(TOutcome::done);
    EXPECT_FALSE(schedule.Due()) << "one check on waking, not a burst";
    EXPECT_EQ(NextIn(), 60 * kMinute);
}

}  // namespace
