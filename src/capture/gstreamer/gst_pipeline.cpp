// The pipeline of one source: uridecodebin -> videoconvert -> caps filter ->
// fakesink, its bus watch on the main loop, and its tear-down.  Going to the
// null state can block for seconds (an RTSP source waits for a server that
// does not answer), so a pipeline being torn down is handed to a reaper
// thread that sets it to null and drops it; the main thread never waits for
// it, and the next play builds a new pipeline.
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>

#include "conf.h"
#include "gst_capture.h"

namespace {

constexpr const char *hooks_key = "tirsk-hooks";

struct reaper_state {
    std::mutex lock;
    std::condition_variable cv;
    std::deque<GstElement *> queue;
    int busy = 0;
    bool started = false;
};

reaper_state &reaper()
{
    static reaper_state *r = new reaper_state; // lives as long as its thread
    return *r;
}

void reaper_main()
{
    reaper_state &r = reaper();
    for (;;) {
        GstElement *pipeline;
        {
            std::unique_lock<std::mutex> g(r.lock);
            r.cv.wait(g, [&] { return !r.queue.empty(); });
            pipeline = r.queue.front();
            r.queue.pop_front();
            r.busy++;
        }
        const GstStateChangeReturn ret = gst_element_set_state(pipeline, GST_STATE_NULL);
        if (verbose_at(3))
            tirsklog_r(nullptr, 7, "(D) reset_pipeline(): set GST_STATE_NULL (%d)\n", int(ret));
        gst_object_unref(pipeline);
        {
            std::lock_guard<std::mutex> g(r.lock);
            r.busy--;
        }
        r.cv.notify_all();
    }
}

void hand_to_reaper(GstElement *pipeline)
{
    reaper_state &r = reaper();
    {
        std::lock_guard<std::mutex> g(r.lock);
        if (!r.started) {
            std::thread(reaper_main).detach();
            r.started = true;
        }
        r.queue.push_back(pipeline);
    }
    r.cv.notify_all();
}

const log_ctx *pipeline_log(GstElement *pipeline)
{
    auto *h = pipeline ? static_cast<hook_ctx *>(g_object_get_data(G_OBJECT(pipeline), hooks_key))
                       : nullptr;
    return h && h->has_log ? &h->log : nullptr;
}

const char *state_name(int s)
{
    return gst_element_state_get_name(GstState(s));
}

// The framework's errors at error level under the source's context; the
// same error again (a server that stays away) only at debug level.
void log_error(gst_handle *h, GstMessage *msg, bool warning)
{
    GError *err = nullptr;
    gchar *dbg = nullptr;
    if (warning)
        gst_message_parse_warning(msg, &err, &dbg);
    else
        gst_message_parse_error(msg, &err, &dbg);
    const char *text = err && err->message ? err->message : "unknown error";
    const log_ctx *log = pipeline_log(h->ctx.pipeline);
    // Name the element by its kind ("rtspsrc"), and add the reason the
    // framework keeps in its debug text ("Failed to connect."): the
    // message alone is often too general to act on.
    GstElementFactory *f =
        GST_IS_ELEMENT(GST_MESSAGE_SRC(msg)) ? gst_element_get_factory(GST_ELEMENT(GST_MESSAGE_SRC(msg)))
                                             : nullptr;
    const char *from = f ? gst_plugin_feature_get_name(GST_PLUGIN_FEATURE(f))
                         : GST_MESSAGE_SRC_NAME(msg) ? GST_MESSAGE_SRC_NAME(msg) : "?";
    const char *nl = dbg ? std::strrchr(dbg, '\n') : nullptr;
    const char *why = nl && nl[1] ? nl + 1 : "";
    if (warning) {
        tirsklog_r(log, 4, "%s: %s%s%s%s", from, text, *why ? " (" : "", why, *why ? ")" : "");
    } else if (std::strncmp(h->last_error, text, sizeof h->last_error - 1)) {
        tirsklog_r(log, 3, "%s: %s%s%s%s", from, text, *why ? " (" : "", why, *why ? ")" : "");
        g_strlcpy(h->last_error, text, sizeof h->last_error);
    } else if (verbose_at(2)) {
        tirsklog_r(log, 7, "(D) again %s: %s", from, text);
    }
    if (dbg && verbose_at(2))
        tirsklog_r(log, 7, "(D) %s", dbg);
    if (!warning && verbose_at(3)) {
        // Never wait here: this runs on the main loop.
        GstState cur = GST_STATE_VOID_PENDING, pend = GST_STATE_VOID_PENDING;
        const GstStateChangeReturn r =
            gst_element_get_state(h->ctx.pipeline, &cur, &pend, 0);
        if (r != GST_STATE_CHANGE_FAILURE)
            tirsklog_r(nullptr, 7, "(D) BUS: Error: %s (%d|%d)\n", text, int(cur), int(pend));
        else
            tirsklog_r(nullptr, 7, "(D) BUS: Error (state=%d): %s", int(r), text);
    }
    if (err)
        g_error_free(err);
    g_free(dbg);
}

gboolean on_bus_message(GstBus *, GstMessage *msg, gpointer data)
{
    auto *h = static_cast<gst_handle *>(data);
    pipeline_ctx *ctx = &h->ctx;
    if (!ctx->pipeline)
        return TRUE;
    switch (GST_MESSAGE_TYPE(msg)) {
    case GST_MESSAGE_ERROR: {
        auto *hooks = static_cast<hook_ctx *>(g_object_get_data(G_OBJECT(ctx->pipeline), hooks_key));
        if (hooks && g_atomic_int_get(&hooks->undecodable)) {
            // Said once until the stream delivers a frame, as other errors.
            g_strlcpy(h->last_error, hooks->undecodable_text, sizeof h->last_error);
            if (verbose_at(2))
                tirsklog_r(pipeline_log(ctx->pipeline), 7, "(D) %s",
                           "error after an undecodable stream, left to the open time-out");
            break;
        }
        log_error(h, msg, false);
        reset_pipeline(ctx, 2);
        break;
    }
    case GST_MESSAGE_WARNING: {
        // The framework's own word on an undecodable picture said before
        // is no news either.
        auto *hooks = static_cast<hook_ctx *>(g_object_get_data(G_OBJECT(ctx->pipeline), hooks_key));
        if (hooks && g_atomic_int_get(&hooks->undecodable) &&
            !std::strcmp(hooks->said_before, hooks->undecodable_text)) {
            if (verbose_at(2))
                tirsklog_r(pipeline_log(ctx->pipeline), 7, "(D) %s",
                           "warning after an undecodable stream said before");
            break;
        }
        log_error(h, msg, true);
        break;
    }
    case GST_MESSAGE_EOS:
        tirsklog_r(pipeline_log(ctx->pipeline), 5, "end of stream");
        if (verbose_at(3))
            tirsklog_r(nullptr, 7, "(D) %s", "BUS: End of stream\n");
        reset_pipeline(ctx, 4);
        break;
    case GST_MESSAGE_STATE_CHANGED: {
        if (GST_MESSAGE_SRC(msg) != GST_OBJECT(ctx->pipeline))
            break;
        GstState old_s, new_s, pend;
        gst_message_parse_state_changed(msg, &old_s, &new_s, &pend);
        ctx->old_state = old_s;
        ctx->state = new_s;
        ctx->pending = pend;
        if (old_s == GST_STATE_NULL && new_s == GST_STATE_READY && ctx->clock)
            ctx->start_clock = gst_clock_get_time(ctx->clock);
        if (verbose_at(3))
            tirsklog_r(nullptr, 7,
                       "(D) BUS: Element %s changed state from %s(%d) to %s(%d) (%s(%d) "
                       "pending).\n",
                       GST_MESSAGE_SRC_NAME(msg), state_name(old_s), int(old_s),
                       state_name(new_s), int(new_s), state_name(pend), int(pend));
        break;
    }
    default:
        break;
    }
    return TRUE;
}

void clear_record(pipeline_ctx *ctx, int reason)
{
    ctx->stop_reason = reason;
    ctx->start_clock = gst_no_time;
    ctx->last_pts = gst_no_time;
    ctx->state = GST_STATE_NULL;
    ctx->pending = 0;
    ctx->corrupt_bufs = 0;
}

} // namespace

int create_pipeline(gst_handle *h)
{
    pipeline_ctx *ctx = &h->ctx;
    if (ctx->pipeline)
        return 1;
    GstElement *pipeline = gst_pipeline_new("uridec_pipeline");
    GstElement *source = gst_element_factory_make("uridecodebin", "source");
    GstElement *videobin = gst_bin_new("videobin");
    GstElement *filter = gst_element_factory_make("capsfilter", "vfilter");
    GstElement *conv = gst_element_factory_make("videoconvert", "vconv");
    GstElement *sink = gst_element_factory_make("fakesink", "output");
    GstBus *bus = pipeline ? gst_pipeline_get_bus(GST_PIPELINE(pipeline)) : nullptr;
    const bool made = pipeline && source && videobin && filter && conv && sink;
    if (!made || !bus) {
        if (!made)
            tirsklog_r(h->log, 3, "%s",
                       "one or more pipeline's elements could not be created. Exiting.\n");
        for (GstElement *e : {pipeline, source, videobin, filter, conv, sink})
            if (e)
                gst_object_unref(gst_object_ref_sink(e));
        if (bus)
            gst_object_unref(bus);
        ctx->pipeline = nullptr;
        ctx->sink = nullptr;
        return 0;
    }

    auto *hooks = g_new0(hook_ctx, 1);
    hooks->videobin = videobin;
    if (h->log) {
        hooks->log = *h->log;
        hooks->has_log = true;
    }
    hooks->period = conf && conf->framerate ? 1000000000LL / conf->framerate : 0;
    hooks->base = INT64_MIN;
    g_strlcpy(hooks->said_before, h->last_error, sizeof hooks->said_before);
    g_object_set_data_full(G_OBJECT(pipeline), hooks_key, hooks, g_free);

    g_object_set(source, "uri", h->uri, nullptr);
    // The overlay's plane order first, the other one too: a decoder that
    // gives the other order (most give I420) is passed through instead of
    // having every picture copied to exchange two planes, which the copy
    // into the overlay does anyway.
    GstCaps *caps = gst_caps_from_string(conf && conf->iyuv
                                             ? "video/x-raw, format=(string){ I420, YV12 }"
                                             : "video/x-raw, format=(string){ YV12, I420 }");
    g_object_set(filter, "caps", caps, nullptr);
    gst_caps_unref(caps);
    g_object_set(sink, "sync", TRUE, nullptr);

    g_signal_connect(source, "source-setup", G_CALLBACK(cb_source_setup), hooks);
    g_signal_connect(source, "pad-added", G_CALLBACK(cb_pad_added), hooks);
    g_signal_connect(source, "unknown-type", G_CALLBACK(cb_unknown_type), hooks);
    g_signal_connect(source, "autoplug-select", G_CALLBACK(cb_autoplug_select), hooks);

    gst_bin_add(GST_BIN(pipeline), source);
    gst_bin_add_many(GST_BIN(videobin), conv, filter, sink, nullptr);
    gst_element_link_many(conv, filter, sink, nullptr);
    GstPad *target = gst_element_get_static_pad(conv, "sink");
    // The rate cap drops frames before they are converted.  (A rate element
    // in drop-only mode aborts the process on streams whose caps say
    // "variable frame rate", which is what RTP depayloaders give.)
    gst_pad_add_probe(target, GST_PAD_PROBE_TYPE_BUFFER, rate_cap_probe, hooks, nullptr);
    gst_element_add_pad(videobin, gst_ghost_pad_new("sink", target));
    gst_object_unref(target);
    gst_bin_add(GST_BIN(pipeline), videobin);

    ctx->bus_watch = gst_bus_add_watch(bus, on_bus_message, h);
    gst_object_unref(bus);
    ctx->pipeline = pipeline;
    ctx->sink = sink;
    ctx->clock = gst_pipeline_get_clock(GST_PIPELINE(pipeline));
    clear_record(ctx, 0);
    return 1;
}

void reset_pipeline(pipeline_ctx *ctx, int reason)
{
    if (ctx->pipeline) {
        if (ctx->bus_watch)
            g_source_remove(ctx->bus_watch);
        ctx->bus_watch = 0;
        if (ctx->clock)
            gst_object_unref(ctx->clock);
        ctx->clock = nullptr;
        ctx->sink = nullptr;
        hand_to_reaper(ctx->pipeline);
        ctx->pipeline = nullptr;
    }
    clear_record(ctx, reason);
}

// Also forgets a failure not yet reported: the viewer stopped the source.
void free_pipeline(pipeline_ctx *ctx)
{
    reset_pipeline(ctx, 0);
}

int pipeline_reaper_drain(int timeout_ms)
{
    reaper_state &r = reaper();
    std::unique_lock<std::mutex> g(r.lock);
    return r.cv.wait_for(g, std::chrono::milliseconds(timeout_ms),
                         [&] { return r.queue.empty() && r.busy == 0; })
               ? 1
               : 0;
}
