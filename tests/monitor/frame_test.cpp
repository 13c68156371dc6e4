// Time helpers and tick rate of the program frame.
#include <gtest/gtest.h>

#include "frame.h"
#include "globals.h"

namespace {

timespec ts(long s, long ns)
{
    timespec t;
    t.tv_sec = s;
    t.tv_nsec = ns;
    return t;
}

} // namespace

TEST(DeltaUsec, TruncatesEachNanosecondPartOnItsOwn)
{
    const timespec a = ts(10, 1999), b = ts(9, 999);
    // 1 s + 1 us - 0 us: 999 ns of b are dropped before subtracting.
    EXPECT_EQ(get_delta_usec(&a, &b, 0), 1000001);
    EXPECT_EQ(get_delta_usec(&b, &a, 0), -1000001);
    EXPECT_EQ(get_delta_usec(&b, &a, 1), 1000001);
}

TEST(DeltaUsec, LargeSpansDoNotOverflow)
{
    const timespec a = ts(4000000000L, 0), b = ts(0, 0);
    EXPECT_EQ(get_delta_usec(&a, &b, 0), 4000000000LL * 1000000);
}

TEST(HasTimeout, StrictlyGreaterThanTheLimit)
{
    const timespec b = ts(100, 0);
    const timespec exact = ts(100, 5000000);   // 5 ms later
    const timespec later = ts(100, 5001000);   // 5.001 ms later
    EXPECT_EQ(has_timeout(&exact, &b, 5), 0);
    EXPECT_EQ(has_timeout(&later, &b, 5), 1);
    EXPECT_EQ(has_timeout(&b, &later, 0), 0);
}

TEST(HasTimeout, NullArgumentOnlyTimesOutForNegativeLimits)
{
    const timespec a = ts(1, 0);
    EXPECT_EQ(has_timeout(nullptr, &a, 0), 0);
    EXPECT_EQ(has_timeout(&a, nullptr, -1), 1);
}

TEST(FrameTick, IntervalFollowsFramerateWithAFloor)
{
    EXPECT_EQ(frame_tick_interval_ms(30), 25u);
    EXPECT_EQ(frame_tick_interval_ms(60), 14u);
    for (unsigned fps = 0; fps <= 5; fps++)
        EXPECT_EQ(frame_tick_interval_ms(fps), 66u) << fps;
}
