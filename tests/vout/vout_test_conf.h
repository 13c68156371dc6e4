// Fixture pieces for tests of the SDL output: a CONF record, a font
// provider stand-in and an X display.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "conf.h"
#include "harness.h"
#include "vout/sdl_private.h"

// Counts the provider's calls; init answers init_result.
struct FakeFonts {
    static inline int init_height = -1, init_result = 1, fini_calls = 0;
    static int init(int h)
    {
        init_height = h;
        return init_result;
    }
    static void fini() { fini_calls++; }
    static TTF_Font *get(uint32_t, float) { return nullptr; }
    static constexpr font_provider table = {init, fini, get};
};

// A display, the icon, the option defaults the set-up reads and the fake
// fonts; DISPLAY is restored after each test.
class VoutTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        display = testsupport::use_test_display();
        ASSERT_FALSE(display.empty()) << "no X server";
        cfg = static_cast<CONF *>(std::calloc(1, sizeof(CONF)));
        cfg->geo = {648, 488};
        cfg->display = 'L';
        conf = cfg;
        FakeFonts::init_height = -1;
        FakeFonts::init_result = 1;
        FakeFonts::fini_calls = 0;
        vout_fonts = &FakeFonts::table;
    }
    void TearDown() override
    {
        vout_fonts = &Fonts;
        conf = nullptr;
        std::free(cfg);
        setenv("DISPLAY", display.c_str(), 1);
    }
    std::string display;
    CONF *cfg = nullptr;
};
