#include "vout.h"
#include "weak.h"
extern "C" {
WEAK video_out vout_sdl = {};
WEAK video_out *vout;
WEAK int32_t cursor_shown;
WEAK int64_t cursor_since;
WEAK int vout_init(int) { return 0; }
WEAK int vout_fini(void) { return 0; }
WEAK int vout_test(int) { return 0; }
}
