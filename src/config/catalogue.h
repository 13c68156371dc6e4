// Steps of the catalogue load, shared by its source files.  Each step that
// fails logs why, counts an error in *errors and returns 0.
#pragma once

#include <string>
#include <vector>

#include "conf.h"

// Values of the CAM_NR 0 rows for cameras that lack their own.
struct cam_defaults {
    long long allow_local = 0;
    long long hx2 = 0;
    uint32_t width = 640;
    uint32_t height = 480;
    bool video_src = false;
};

// One row of the cameras query, as text; nr already read as a number.
struct camera_row {
    int32_t nr;
    std::string pipe, allow_local, hx2, name, geo, vsrc, fs_uri;
};

int load_camera_defaults(CONF *c, cam_defaults *d, int *errors);
int load_cameras(CONF *c, const cam_defaults &d, int *errors);
// The cameras of rows in ascending camera number (load_cameras after the
// query; also what the catalogue fuzzer drives).
int accept_camera_rows(CONF *c, const cam_defaults &d,
                       const std::vector<camera_row> &rows, int *errors);
int load_layouts(CONF *c, int *errors);
int settle_start_layout(CONF *c, int *errors);
