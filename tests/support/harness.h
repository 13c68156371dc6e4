// The test harness, one of each helper; include this header.  Everything is
// in namespace testsupport.
//
//   process.h  TempDir (every file a test writes goes in one), write_file,
//              read_file, occurrences (the one counter), tool_path, run (a
//              program to its end), Child (in the background), wait_until
//              (a condition with a deadline: never sleep to synchronise),
//              fakecamctl, fakecam_library, run_preloaded (this test again
//              in a child with a library preloaded).
//   capture.h  FdCapture (descriptor 1 or 2), LogCapture (the log facility
//              at a level; both restored on destruction).
//   image.h    Image and read_png (RGBA, with the stored colour type), Box,
//              Rgb, near, count_colour, count_changed, average, max_tint,
//              mismatches.
//   display.h  Display (a private Xvfb), use_test_display (for SDL in this
//              process), screenshot, screenshot_until (a screenshot
//              predicate with a deadline).  No display: the test fails.
//   fakes.h    fake_vout (records its calls), scripted_drv / minimal_drv
//              (capture driver of FakeStream scripts).
//   viewer.h   ViewerRun (the real viewer on simulated cameras),
//              ViewerTest (a fixture with its own display), collector_script,
//              window_boxes, border_share, label_mismatch.
//   catalogue_fixture.h  DbTarget, build_catalogue, CatalogueConf.
#pragma once

#include "capture.h"
#include "display.h"
#include "fakes.h"
#include "image.h"
#include "process.h"
