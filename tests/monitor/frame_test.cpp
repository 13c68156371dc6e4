// Time arithmetic and tick rate of the program frame.
#include <gtest/gtest.h>

#include "frame.h"
#include "globals.h"

TEST(FrameTime, DeltasTimeOutsAndTickInterval)
{
    const struct {
        timespec a, b;
        int abs;
        int64_t delta;
    } deltas[] = {
        // Each nanosecond part is truncated to microseconds on its own.
        {{10, 1999}, {9, 999}, 0, 1000001},
        {{9, 999}, {10, 1999}, 0, -1000001},
        {{9, 999}, {10, 1999}, 1, 1000001},
        {{4000000000L, 0}, {0, 0}, 0, 4000000000LL * 1000000}, // no overflow
    };
    for (const auto &d : deltas)
        EXPECT_EQ(get_delta_usec(&d.a, &d.b, d.abs), d.delta) << d.a.tv_sec;

    const timespec b = {100, 0}, exact = {100, 5000000}, later = {100, 5001000};
    EXPECT_EQ(has_timeout(&exact, &b, 5), 0) << "strictly greater than the limit";
    EXPECT_EQ(has_timeout(&later, &b, 5), 1);
    EXPECT_EQ(has_timeout(&b, &later, 0), 0);
    EXPECT_EQ(has_timeout(nullptr, &b, 0), 0);
    EXPECT_EQ(has_timeout(&b, nullptr, -1), 1) << "a missing time only times out a negative limit";

    for (auto [fps, ms] : {std::pair{30u, 25u}, {60u, 14u}, {5u, 66u}, {0u, 66u}})
        EXPECT_EQ(frame_tick_interval_ms(fps), ms) << fps;
}
