/* Small drawing helpers shared by the files of the SDL output. */
#ifndef TIRSK_VOUT_DRAW_UTIL_H
#define TIRSK_VOUT_DRAW_UTIL_H

#include <SDL.h>

#include "layouts.h"

/* rect as an SDL rectangle; values outside the 16-bit fields are clamped
 * rather than wrapped, so a bad rectangle never lands elsewhere. */
SDL_Rect sdl_rect_of(const win_rect &rect);
SDL_Rect sdl_rect_make(long x, long y, long w, long h);

/* Intersect r with the screen; false when nothing is left. */
bool clip_to_screen(SDL_Rect &r);

/* SDL_UpdateRect on the on-screen part of r.  SDL ignores a rectangle that
 * sticks out of the screen, and one of width 0 means the whole screen, so
 * every update goes through here. */
void screen_update(const SDL_Rect &r);

/* The on-screen part of r is sent to the display at the next flush: the
 * frame tick's flip, or the next event poll at the latest.  Each update
 * call waits for the display server, so the pictures of one tick go in
 * one call. */
void screen_update_later(const SDL_Rect &r);
void screen_updates_flush();

/* SDL_DisplayYUVOverlay into dst, skipped (result 0) when dst has no
 * on-screen part: SDL divides by the rectangle's width when clipping and
 * mishandles one that lies wholly off the screen. */
int display_overlay(SDL_Overlay *ovl, SDL_Rect dst);

/* A w x h surface that holds a copy of screen pixels (32 bits, RGBA masks),
 * blitted back as a plain copy.  Null on failure (SDL error set). */
SDL_Surface *create_back_surface(int w, int h);

#endif
