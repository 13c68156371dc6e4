// Log facility: line format, one line per message, levels, cuts, threads.
#include <gtest/gtest.h>

#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "harness.h"
#include "tirskconf.h"

namespace {

using testsupport::LogCapture;

// Known flags and clock for every test; restored afterwards.
class LogFacility : public ::testing::Test {
protected:
    void SetUp() override
    {
        tirsklog_update_flags(TIRSKLOG_F_TIME | TIRSKLOG_F_LEVEL | TIRSKLOG_F_UTC, TIRSKLOG_F_PID);
        tirsklog_update_time_r(1796583066LL * 1000000, INT64_MIN); // 2026-12-06 18:51:06 UTC
    }
    void TearDown() override
    {
        tirsklog_update_flags(old_flags_, ~old_flags_);
        tirsklog_update_time_r(-1, INT64_MIN);
    }
    int old_flags_ = tirsklog_flags_get();
};

} // namespace

TEST_F(LogFacility, OneLinePerMessageWithStampLevelAndContextChain)
{
    LogCapture cap(4);
    log_ctx cam, win, dev;
    tirsklog_set_context_r(&cam, nullptr, -1, 0, "cam[%2.2d]", 7);
    tirsklog_set_context_r(&win, &cam, -1, 0, "win[%2.2d]", 3);
    tirsklog_set_context_r(&dev, &win, -1, 0, "<-- %s", "v4l2");
    tirsklog_r(&dev, 3, "open failed #%d(%s)\n", 2, "No such file");
    tirsklog_r(nullptr, 5, "above the level");
    EXPECT_TRUE(std::regex_match(
        cap.text(), std::regex(R"(<3>2026-12-06 18:51:06\.\d{3} cam\[07\] win\[03\] <-- v4l2: open failed #2\(No such file\)\n)")))
        << cap.text();

    cap.clear();
    tirsklog_update_flags(0, TIRSKLOG_F_TIME | TIRSKLOG_F_LEVEL);
    for (const char *text : {"no newline", "one newline\n", "many\r\n\n\n", "first\nsecond\n  third\n",
                             "bell\a esc\x1b[31m tab\tend", ""})
        tirsklog_r(nullptr, 4, "%s", text);
    tirsklog_level_set(2); // a quiet viewer drops even errors
    tirsklog_r(nullptr, 3, "dropped");
    EXPECT_EQ(cap.text(), "no newline\none newline\nmany\nfirst | second | third\nbell? esc?[31m tab\tend\n\n");
}

TEST_F(LogFacility, LongMessagesAndPrefixesAreCutSafely)
{
    LogCapture cap;
    tirsklog_update_flags(0, TIRSKLOG_F_TIME | TIRSKLOG_F_LEVEL);
    std::string big(100000, 'a'), utf;
    tirsklog_r(nullptr, 3, "%s", big.c_str());
    for (int i = 0; i < 2500; i++)
        utf += "\xD0\x96";
    tirsklog_r(nullptr, 3, "xy%s", utf.c_str()); // a letter straddles the cut
    const std::string two = cap.text();
    ASSERT_EQ(cap.count("\n"), 2);
    EXPECT_EQ(two.substr(0, 4001), std::string(3997, 'a') + "...\n");
    EXPECT_EQ((two.size() - 4001 - 6) % 2, 0u) << "a UTF-8 letter was split";

    log_ctx ctx;
    tirsklog_set_context_r(&ctx, &ctx, -1, 0, "%s", big.c_str());
    EXPECT_EQ(ctx.parent, nullptr) << "a context must not be its own parent";
    cap.clear();
    tirsklog_r(&ctx, 3, "m");
    EXPECT_EQ(cap.text(), std::string(sizeof ctx.prefix - 1, 'a') + ": m\n");
}

TEST_F(LogFacility, ThreadsNeverInterleaveLines)
{
    LogCapture cap;
    constexpr int kThreads = 6, kPerThread = 400;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([t] {
            log_ctx ctx;
            tirsklog_set_context_r(&ctx, nullptr, -1, 0, "t%d", t);
            for (int i = 0; i < kPerThread; ++i)
                tirsklog_r(&ctx, 4, "%d %s.\n", i, std::string(1 + (i * 37) % 300, 'a' + t).c_str());
        });
    for (auto &th : threads)
        th.join();
    ASSERT_EQ(cap.count("\n"), kThreads * kPerThread);
    std::regex shape(R"(<4>\S+ \S+ t(\d): (\d+) ([a-z]+)\.)");
    std::vector<int> next(kThreads, 0);
    std::istringstream in(cap.text());
    for (std::string line; std::getline(in, line);) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(line, m, shape)) << line;
        int t = std::stoi(m[1]), i = std::stoi(m[2]);
        EXPECT_EQ(m[3].str(), std::string(1 + (i * 37) % 300, char('a' + t)));
        EXPECT_EQ(i, next[t]++) << "lines of one thread out of order";
    }
}
