// Placeholders for code that has not landed yet: weak definitions that the
// real (strong) ones replace at link time.
#pragma once
#define WEAK __attribute__((weak))
