// Hooks the decoder bin calls on the framework's streaming threads, the
// frame-rate cap, and the bridge that puts GLib's and the framework's own
// messages into the host log facility.  The hooks touch only the elements
// they are given, their pipeline's hook_ctx and the read-only configuration.
#include <cstdio>
#include <cstring>

#include "conf.h"
#include "gst_capture.h"

namespace {

thread_local const log_ctx *thread_log = nullptr;

int level_of(GLogLevelFlags flags)
{
    if (flags & (G_LOG_LEVEL_ERROR | G_LOG_LEVEL_CRITICAL))
        return 3;
    if (flags & G_LOG_LEVEL_WARNING)
        return 4;
    if (flags & G_LOG_LEVEL_MESSAGE)
        return 5;
    if (flags & G_LOG_LEVEL_INFO)
        return 6;
    return 7;
}

// GLib's messages (g_warning of the framework and its plug-ins, the
// option messages of set_source_opts) as one host log line each, under the
// source's context when the thread is working for one.
void glib_to_host_log(const gchar *domain, GLogLevelFlags flags, const gchar *message,
                      gpointer)
{
    // GLib's debug chatter only at the highest verbosity; the facility
    // itself drops what the level option does not ask for.
    const int level = level_of(flags);
    if (level == 7 && !verbose_at(3))
        return;
    tirsklog_r(thread_log, level, "%s%s%s", domain ? domain : "", domain ? ": " : "",
               message ? message : "");
}

// The framework's own error and warning lines (shown when GST_DEBUG asks
// for them) go to the host log; chattier levels keep the framework's
// default output, which is for developers.
void gst_to_host_log(GstDebugCategory *category, GstDebugLevel level, const gchar *file,
                     const gchar *function, gint line, GObject *object,
                     GstDebugMessage *message, gpointer data)
{
    if (level > GST_LEVEL_WARNING) {
        gst_debug_log_default(category, level, file, function, line, object, message, data);
        return;
    }
    const char *name = object && GST_IS_OBJECT(object) ? GST_OBJECT_NAME(object) : nullptr;
    tirsklog_r(thread_log, level == GST_LEVEL_ERROR ? 3 : 4, "%s%s%s: %s",
               gst_debug_category_get_name(category), name ? " " : "", name ? name : "",
               gst_debug_message_get(message));
}

const char *factory_name(GstElement *element)
{
    GstElementFactory *f = element ? gst_element_get_factory(element) : nullptr;
    return f ? gst_plugin_feature_get_name(GST_PLUGIN_FEATURE(f)) : nullptr;
}

const log_ctx *hook_log(const hook_ctx *h)
{
    return h && h->has_log ? &h->log : nullptr;
}

} // namespace

void set_thread_log_ctx(const log_ctx *log)
{
    thread_log = log;
}

void install_log_bridge()
{
    g_log_set_default_handler(glib_to_host_log, nullptr);
    gst_debug_remove_log_function(gst_debug_log_default);
    gst_debug_add_log_function(gst_to_host_log, nullptr, nullptr);
}

void cb_pad_added(GstElement *, GstPad *pad, gpointer data)
{
    auto *h = static_cast<hook_ctx *>(data);
    GstPad *sink = gst_element_get_static_pad(h->videobin, "sink");
    if (!sink)
        return;
    if (!gst_pad_is_linked(sink)) {
        GstCaps *caps = gst_pad_get_current_caps(pad);
        if (!caps)
            caps = gst_pad_query_caps(pad, nullptr);
        const GstStructure *st =
            caps && gst_caps_get_size(caps) ? gst_caps_get_structure(caps, 0) : nullptr;
        const char *name = st ? gst_structure_get_name(st) : "";
        if (std::strstr(name, "video")) {
            if (verbose_at(3)) {
                gchar *text = gst_caps_to_string(caps);
                tirsklog_r(hook_log(h), 7,
                           "Dynamic pad created, linking source %s and videoconvert.\n", name);
                tirsklog_r(hook_log(h), 7, "%s\n", text);
                g_free(text);
            }
            gst_pad_link(pad, sink);
        }
        if (caps)
            gst_caps_unref(caps);
    }
    gst_object_unref(sink);
}

int cb_autoplug_select(GstElement *, GstPad *, GstCaps *, GstElementFactory *factory,
                       gpointer data)
{
    constexpr int try_it = 0, skip_it = 2;
    GRegex *blacklist = conf ? conf->gst_blacklist : nullptr;
    if (!blacklist || !factory)
        return try_it;
    const char *name = gst_plugin_feature_get_name(GST_PLUGIN_FEATURE(factory));
    if (!name || !g_regex_match(blacklist, name, GRegexMatchFlags(0), nullptr))
        return try_it;
    if (verbose_at(2))
        tirsklog_r(hook_log(static_cast<hook_ctx *>(data)), 7, "(D) blacklist %s\n", name);
    return skip_it;
}

void cb_unknown_type(GstElement *, GstPad *, GstCaps *caps, gpointer data)
{
    gchar *text = caps ? gst_caps_to_string(caps) : nullptr;
    // A picture nobody can decode is an error; an audio track the viewer
    // would drop anyway is only worth a warning.
    const bool video = !text || std::strncmp(text, "audio/", 6);
    auto *h = static_cast<hook_ctx *>(data);
    char line[sizeof h->undecodable_text];
    snprintf(line, sizeof line, "have no plugin to decode media: %s", text ? text : "(no caps)");
    g_free(text);
    if (!video) {
        tirsklog_r(hook_log(h), 4, "Error: %s\n", line);
        return;
    }
    // Written before the flag that publishes it to the main thread.
    g_strlcpy(h->undecodable_text, line, sizeof h->undecodable_text);
    g_atomic_int_set(&h->undecodable, 1);
    if (std::strcmp(line, h->said_before))
        tirsklog_r(hook_log(h), 3, "Error: %s\n", line);
    else if (verbose_at(2))
        tirsklog_r(hook_log(h), 7, "(D) again %s\n", line);
}

void cb_source_setup(GstElement *, GstElement *source, gpointer data)
{
    const char *name = factory_name(source);
    if (!name || !conf)
        return;
    const char *opts = nullptr;
    if (!std::strcmp(name, "rtspsrc"))
        opts = conf->gst_rtspsrc_opts;
    else if (!std::strcmp(name, "v4l2src"))
        opts = conf->gst_v4l2src_opts;
    if (!opts || !*opts)
        return;
    set_thread_log_ctx(hook_log(static_cast<hook_ctx *>(data)));
    set_source_opts(source, name, opts);
    set_thread_log_ctx(nullptr);
}

bool rate_cap_keep(hook_ctx *h, uint64_t pts)
{
    if (h->period <= 0 || pts == gst_no_time || pts > uint64_t(INT64_MAX))
        return true;
    const int64_t t = int64_t(pts);
    // Frames are centred in slots of one period, so timestamps that jitter
    // by less than half a period still fall one to a slot; a stream that
    // jumps back starts a new grid.
    if (h->base == INT64_MIN || t < h->base) {
        h->base = t - h->period / 2;
        h->last_slot = 0;
        return true;
    }
    const int64_t slot = (t - h->base) / h->period;
    if (slot <= h->last_slot)
        return false;
    h->last_slot = slot;
    return true;
}

GstPadProbeReturn rate_cap_probe(GstPad *, GstPadProbeInfo *info, gpointer data)
{
    GstBuffer *buf = GST_PAD_PROBE_INFO_BUFFER(info);
    if (!buf)
        return GST_PAD_PROBE_OK;
    return rate_cap_keep(static_cast<hook_ctx *>(data), GST_BUFFER_PTS(buf))
               ? GST_PAD_PROBE_OK
               : GST_PAD_PROBE_DROP;
}
