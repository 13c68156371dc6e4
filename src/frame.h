// Internals of the program frame shared by main.cpp and its tests.
#pragma once

extern "C" unsigned frame_tick_interval_ms(unsigned framerate);
