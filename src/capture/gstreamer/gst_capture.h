// Private records of the media-framework driver: the per-source handle and
// the pipeline it drives.  Only the driver's own files include this.
#pragma once

#include <cstddef>
#include <cstdint>

#include <gst/gst.h>

// The framework side of one source.  Times are framework nanoseconds.
struct pipeline_ctx {
    GstElement *pipeline; // null = not built
    GstClock *clock;      // the pipeline's clock, one reference held
    guint bus_watch;      // id of the bus watch in the main context
    GstElement *sink;     // the fakesink "output"
    int32_t state;        // last GstState reported by the pipeline
    int32_t old_state;    // state before the last change
    int32_t pending;      // pending state of the last change, 0 = none
    int32_t stop_reason;  // 0 none/stopped by us, 2 error, 4 end of stream
    uint64_t start_clock; // clock time of null -> ready, all ones = none
    uint64_t last_pts;    // PTS of the last frame delivered, all ones = none
    uint32_t corrupt_bufs; // corrupted buffers skipped since the last reset
};

constexpr size_t gst_uri_size = 1024;

// Driver handle, allocated zero-filled by create.
struct gst_handle {
    char uri[gst_uri_size]; // NUL-terminated; longer URIs are refused
    pipeline_ctx ctx;
};
