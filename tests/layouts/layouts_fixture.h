// Shared set-up of the layout, geometry and window-state tests: a zeroed
// CONF record, reset globals and a capture of log output.
#pragma once

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <gtest/gtest.h>

#include <string>

#include "conf.h"
#include "globals.h"
#include "monitor.h"
#include "tirskconf.h"
#include "vout.h"
#include "window.h"

namespace layouts_test {

// Collects what the log facility writes while it lives (both its own stream
// and standard error, so that it works with any build of the host library).
class LogCapture {
public:
    LogCapture()
    {
        stream_ = open_memstream(&data_, &size_);
        tirsklog_set_stream(stream_);
        tirsklog_level_set(7);
        testing::internal::CaptureStderr();
    }
    ~LogCapture() { text(); }
    LogCapture(const LogCapture &) = delete;
    LogCapture &operator=(const LogCapture &) = delete;

    // Everything logged so far; ends the capture.
    const std::string &text()
    {
        if (stream_) {
            tirsklog_set_stream(nullptr);
            fclose(stream_);
            stream_ = nullptr;
            text_.assign(data_ ? data_ : "", size_);
            free(data_);
            data_ = nullptr;
            text_ += testing::internal::GetCapturedStderr();
        }
        return text_;
    }

    int count(const std::string &needle)
    {
        const std::string &t = text();
        int n = 0;
        for (size_t p = t.find(needle); p != std::string::npos;
             p = t.find(needle, p + 1))
            n++;
        return n;
    }

private:
    FILE *stream_ = nullptr;
    char *data_ = nullptr;
    size_t size_ = 0;
    std::string text_;
};

// A zero-filled CONF record and the globals of layouts and windows back at
// their start values.
class LayoutsTest : public testing::Test {
protected:
    void SetUp() override
    {
        conf = static_cast<CONF *>(calloc(1, sizeof(CONF)));
        ASSERT_NE(conf, nullptr);
        conf->quiet = 0;
        conf->verbose = 0;
        memset(windows, 0, sizeof windows);
        g_fsWinIdx = -1;
        g_selectetWinIdx = -1;
        sel_row = sel_col = 0;
        borderTB = borderLR = 0;
        cur_layout = 0;
        g_monotime_microsec = 0;
        vout = nullptr;
    }
    void TearDown() override
    {
        vout = nullptr;
        free(conf);
        conf = nullptr;
    }
};

} // namespace layouts_test
