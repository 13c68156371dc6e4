// A CONF record and a font provider stand-in for tests of the SDL output.
#pragma once

#include <cstdlib>

#include "conf.h"
#include "vout/sdl_private.h"

// Counts the calls of the font provider; init answers `init_result`.
struct FakeFonts {
    static inline int init_calls = 0;
    static inline int init_height = -1;
    static inline int init_result = 1;
    static inline int fini_calls = 0;

    static int init(int h)
    {
        init_calls++;
        init_height = h;
        return init_result;
    }
    static void fini() { fini_calls++; }
    static TTF_Font *get(uint32_t, float) { return nullptr; }

    static void reset()
    {
        init_calls = fini_calls = 0;
        init_height = -1;
        init_result = 1;
    }
    static constexpr font_provider table = {init, fini, get};
};

// The defaults the options give the fields the set-up reads.
inline CONF *new_test_conf()
{
    CONF *c = static_cast<CONF *>(std::calloc(1, sizeof(CONF)));
    c->geo.width = 648;
    c->geo.height = 488;
    c->display = 'L';
    c->font_factor = 1.0;
    return c;
}
