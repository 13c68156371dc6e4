// The test harness, one of each helper, in namespace testsupport:
//   process.h  TempDir (a test writes only there), files, run, Child,
//              wait_until (never sleep to synchronise), fakecamctl.
//   capture.h  FdCapture, LogCapture (restored on destruction).
//   image.h    read_png, from_surface (an SDL surface), Box, bounds, Rgb
//              and pixel measures.
//   display.h  Display (a private Xvfb), use_test_display, screenshot.
//   viewer.h   ViewerRun (the real viewer on simulated cameras), ViewerTest,
//              what the viewer draws (colours, labels, window boxes).
//   rtsp_server.h  RtspServer.
#pragma once

#include "capture.h"
#include "display.h"
#include "image.h"
#include "process.h"
