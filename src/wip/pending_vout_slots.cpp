#include "vout/sdl_private.h"
#include "weak.h"
extern "C" {
WEAK SDL_Surface *screen;
WEAK uint32_t overlay_format;
WEAK SDL_Surface *icon;
WEAK SDL_Cursor *cursor;
WEAK int32_t cursor_state;
WEAK SDL_Surface *popup_win_bg;
WEAK SDL_Rect popup_rect;
WEAK SDL_Surface *popup_lines[POPUP_MAX_LINES + 1];
WEAK char flags_text[200];
WEAK char *SDL_flags_to_str(uint32_t) { return flags_text; }
WEAK void caption_block_discard(caption_block *) {}
extern WEAK const font_provider Fonts = {};
WEAK int sdl_fonts_init(int) { return 0; }
WEAK TTF_Font *sdl_fonts_get(uint32_t, float) { return nullptr; }
WEAK uint32_t fonts_count;
extern WEAK const SDL_Color _red = {255, 0, 0, 0};
extern WEAK const SDL_Color _blue = {71, 86, 140, 0};
extern WEAK const SDL_Color _white = {255, 255, 255, 0};
WEAK int caption_show(caption_surf *, const SDL_Rect *, int, int) { return 0; }
WEAK void caption_hide(caption_surf *) {}
WEAK int sdl_win_alarm(window *, int) { return 0; }
WEAK int sdl_init(int) { return 0; }
WEAK int sdl_fini(void) { return 1; }
WEAK int sdl_test(int) { return 0; }
WEAK int poll_events(int64_t) { return 0; }
WEAK int push_event(uint8_t, int, void *, void *) { return -1; }
WEAK int show_cursor(int) { return 0; }
WEAK void popup_text(uint32_t, const char *) {}
WEAK int popup_close(void) { return 0; }
WEAK int alloc_playback_resources(media_source *) { return 0; }
WEAK void free_playback_resources(media_source *) {}
WEAK int show_frame(window *, media_source *, media_frame *) { return 1; }
WEAK int check_playback_resources(media_source *, const uint32_t *) { return 0; }
WEAK void redisplay_win(window *) {}
WEAK void draw_win(window *) {}
WEAK void fill_win(window *, uint8_t, uint8_t, uint8_t) {}
WEAK void draw_border(window *, uint8_t, uint8_t, uint8_t, const border_desc *) {}
WEAK void win_pause(window *, int) {}
WEAK int win_alarm(window *, int) { return 1; }
WEAK void win_caption(window *, int) {}
WEAK void win_status(window *) {}
WEAK void free_win_surfaces(window *) {}
WEAK int flip(void) { return 0; }
WEAK int win_snapshot(window *, const char *) { return 0; }
WEAK int screen_snapshot(const char *) { return 0; }
WEAK int push_rctrl_event(uint32_t, void *, void *) { return 0; }
WEAK SDL_Surface *SDL_PNGFormatAlpha(SDL_Surface *) { return nullptr; }
WEAK int SDL_SavePNG_RW(SDL_Surface *, SDL_RWops *, int) { return -1; }
}
