// Private records of the media-framework driver: the per-source handle, the
// pipeline it drives and the helpers its files share.  Only the driver's own
// files (and its tests) include this.
#pragma once

#include <cstddef>
#include <cstdint>

#include <gst/gst.h>

#include "media.h"
#include "tirskconf.h"

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
    const log_ctx *log; // the source's context given to create, or null
    // Text of the last framework error logged; a source that keeps
    // failing the same way is reported once, until it delivers a frame.
    char last_error[160];
};

constexpr uint64_t gst_no_time = UINT64_MAX;

// What the decoder hooks of one pipeline need.  Owned by the pipeline (it
// goes with the pipeline's last reference), so hooks that run on streaming
// threads while a pipeline is torn down never see freed memory.
struct hook_ctx {
    GstElement *videobin; // the pipeline's "videobin", no reference held
    log_ctx log;          // copy of the source's context
    bool has_log;
    // Set by the unknown-type hook for a picture no plugin decodes: the
    // errors that follow (unlinked streams) are its consequence, and the
    // stream is left to the caller's open time-out as a stream that
    // delivers nothing.  Written on a streaming thread: atomic access.
    gint undecodable;
    // What the unknown-type hook said about that picture, for the handle's
    // last error; and the handle's last error when the pipeline was made,
    // so that a restart of an undecodable stream does not say it again.
    char undecodable_text[160];
    char said_before[160];
    // Frame-rate cap, touched by the one video streaming thread only.
    int64_t period;    // ns between kept frames, 0 = no cap
    int64_t base;      // grid origin, INT64_MIN = none yet
    int64_t last_slot; // grid slot of the last kept frame
};

// ---- pipeline (gst_pipeline.cpp) ----
int create_pipeline(gst_handle *h);
void reset_pipeline(pipeline_ctx *ctx, int reason);
void free_pipeline(pipeline_ctx *ctx);
// Waits at most timeout_ms for pipelines handed off for tear-down; 1 when
// none is left.
int pipeline_reaper_drain(int timeout_ms);

// ---- decoder hooks and log bridging (gst_helpers.cpp) ----
void cb_pad_added(GstElement *decoder, GstPad *pad, gpointer data);
int cb_autoplug_select(GstElement *decoder, GstPad *pad, GstCaps *caps,
                       GstElementFactory *factory, gpointer data);
void cb_unknown_type(GstElement *decoder, GstPad *pad, GstCaps *caps,
                     gpointer data);
void cb_source_setup(GstElement *decoder, GstElement *source, gpointer data);
// Drops frames that come sooner than the rate cap allows (a pad probe).
GstPadProbeReturn rate_cap_probe(GstPad *pad, GstPadProbeInfo *info,
                                 gpointer data);
// One grid decision of the rate cap: keep the frame at pts?
bool rate_cap_keep(hook_ctx *h, uint64_t pts);
// Routes GLib and framework log output through the host log facility.
void install_log_bridge();
// Log context of messages that the current thread logs through GLib, or
// null (set around set_source_opts).
void set_thread_log_ctx(const log_ctx *log);

// ---- source options (gst_source_opts.cpp) ----
void set_source_opts(GstElement *element, const char *name, const char *opts);

// ---- samples (gst_sample.cpp) ----
// 1 new frame, 0 nothing new, -1 failure.
int sample2frame(pipeline_ctx *ctx, GstSample *sample, media_frame *frame,
                 const log_ctx *log);
void release_frame(media_frame *frame);
// Clock time that the read time-out counts from: when the last frame was
// due (base_time + its PTS) in mode 1, else the stream's start.
uint64_t read_reference(const pipeline_ctx &ctx, uint64_t base_time, int mode);
// 1 when now lies more than timeout_ms past ref (both ns), in 64 bits.
bool clock_exceeds(uint64_t now, uint64_t ref, int timeout_ms);
