// The video test mode: timing of picture scaling on this display.
#include "vout/sdl_private.h"

// No timing test is built into this output yet: every mode reports that
// nothing ran.
extern "C" int sdl_test(int)
{
    return 0;
}
