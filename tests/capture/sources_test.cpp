// The source dispatch layer: driver choice, the wrappers' use of a driver
// table (a recording driver of the test's own), and safety on sources that
// have no driver or handle.
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "camera.h"
#include "globals.h"
#include "log_recorder.h"
#include "media.h"
#include "vout.h"

namespace {

// ---- a driver that records its calls -------------------------------------

struct call {
    std::string op;
    void *handle;
};
std::vector<call> calls;
std::vector<int> poll_script; // results of the next polls, in order
int stop_wait_result = 1;
int probe_result = 1;
uint32_t probe_geometry[3] = {MEDIA_FMT_YV12, 640, 480};

int rec_get_state(void *h) { calls.push_back({"get_state", h}); return SRC_STATE_PLAYING; }
int rec_probe(void *h, int timeout_ms, uint32_t *out)
{
    calls.push_back({"probe:" + std::to_string(timeout_ms), h});
    std::memcpy(out, probe_geometry, sizeof probe_geometry);
    return probe_result;
}
int rec_play(void *h) { calls.push_back({"play", h}); return 1; }
int rec_pause(void *h) { calls.push_back({"pause", h}); return 1; }
void rec_stop(void *h) { calls.push_back({"stop", h}); }
int rec_stop_wait(void *h) { calls.push_back({"stop_wait", h}); return stop_wait_result; }
int rec_poll(void *h, int mode, media_frame *frame, int64_t now, int timeout_ms)
{
    calls.push_back({"poll:" + std::to_string(mode) + ":" + std::to_string(now) +
                         ":" + std::to_string(timeout_ms),
                     h});
    frame->width = static_cast<uint32_t>(calls.size());
    if (poll_script.empty())
        return 0;
    const int r = poll_script.front();
    poll_script.erase(poll_script.begin());
    return r;
}
void rec_frame_release(void *h, media_frame *frame)
{
    calls.push_back({"release:" + std::to_string(frame->width), h});
}
void *rec_create(const log_ctx *, const char *) { return nullptr; }
int rec_destroy(void **h) { calls.push_back({"destroy", *h}); *h = nullptr; return 1; }

const capture_drv recording_drv = {
    .name = "rec",
    .get_state = rec_get_state,
    .probe = rec_probe,
    .play = rec_play,
    .pause = rec_pause,
    .stop = rec_stop,
    .stop_wait = rec_stop_wait,
    .poll = rec_poll,
    .frame_release = rec_frame_release,
    .create = rec_create,
    .destroy = rec_destroy,
};

// The same driver without its optional operations.
const capture_drv minimal_drv = {
    .name = "min",
    .get_state = rec_get_state,
    .probe = nullptr,
    .play = rec_play,
    .pause = rec_pause,
    .stop = rec_stop,
    .stop_wait = nullptr,
    .poll = rec_poll,
    .frame_release = nullptr,
    .create = rec_create,
    .destroy = rec_destroy,
};

std::vector<media_source *> freed_overlays;
void rec_free_playback_resources(media_source *src) { freed_overlays.push_back(src); }

class Sources : public ::testing::Test {
protected:
    int h0 = 0, h1 = 1, h2 = 2;
    camera cam{};

    void SetUp() override
    {
        ASSERT_EQ(sources_drivers_init(nullptr, nullptr), 1);
        calls.clear();
        poll_script.clear();
        stop_wait_result = 1;
        probe_result = 1;
        freed_overlays.clear();
        log_clear();
        cam.nr = 7;
        cam.nsrcs = 3;
        int *handles[] = {&h0, &h1, &h2};
        for (int i = 0; i < 3; i++) {
            cam.srcs[i].cam = &cam;
            cam.srcs[i].index = i;
            cam.srcs[i].drv = &recording_drv;
            cam.srcs[i].handle = handles[i];
        }
    }

    std::vector<std::string> ops_on(void *h)
    {
        std::vector<std::string> out;
        for (const call &c : calls)
            if (c.handle == h)
                out.push_back(c.op);
        return out;
    }
    std::vector<void *> handles_of(const std::string &op)
    {
        std::vector<void *> out;
        for (const call &c : calls)
            if (c.op == op)
                out.push_back(c.handle);
        return out;
    }
};

using ops = std::vector<std::string>;
using handles = std::vector<void *>;

TEST_F(Sources, DriverChoiceFollowsThePrefixAndTheSchemeMark)
{
    EXPECT_EQ(source_driver_for_uri("/dev/video3"), &v4l2_capture_drv);
    EXPECT_EQ(source_driver_for_uri("/dev/video"), &v4l2_capture_drv);
    EXPECT_EQ(source_driver_for_uri("v4l2:///dev/video3"), &gst_capture);
    EXPECT_EQ(source_driver_for_uri("rtsp://127.0.0.1:8554/x"), &gst_capture);
    EXPECT_EQ(source_driver_for_uri("/dev/VIDEO3"), nullptr);
    EXPECT_EQ(source_driver_for_uri(" /dev/video3"), nullptr);
    EXPECT_EQ(source_driver_for_uri("clip.mp4"), nullptr);
    EXPECT_EQ(source_driver_for_uri(""), nullptr);
    EXPECT_EQ(source_driver_for_uri(nullptr), nullptr);
}

TEST_F(Sources, InitCreatesAHandleOfTheChosenDriver)
{
    struct {
        const char *uri;
        const capture_drv *drv;
    } accepted[] = {{"/dev/video3", &v4l2_capture_drv},
                    {"v4l2:///dev/video3", &gst_capture},
                    {"rtsp://127.0.0.1:8554/x", &gst_capture}};
    for (const auto &a : accepted) {
        SCOPED_TRACE(a.uri);
        media_source src{};
        src.cam = &cam;
        src.index = 1;
        ASSERT_EQ(source_init(&src, a.uri), 1);
        EXPECT_EQ(src.drv, a.drv);
        EXPECT_NE(src.handle, nullptr);
        EXPECT_STREQ(src.log.prefix, "cam[7.1]");
        EXPECT_EQ(is_source_stopped(&src), 1);
        EXPECT_EQ(is_source_playing(&src), 0);
        source_free(&src);
        EXPECT_EQ(src.handle, nullptr);
        source_free(&src); // twice is harmless
    }

    for (const char *uri : {"clip.mp4", " /dev/video3", "", "://"}) {
        SCOPED_TRACE(uri);
        media_source src{};
        src.cam = &cam;
        EXPECT_EQ(source_init(&src, uri), 0);
        EXPECT_EQ(src.handle, nullptr);
        if (std::strstr(uri, "://") == nullptr) {
            EXPECT_EQ(src.drv, nullptr);
        }
    }
}

TEST_F(Sources, PollDeliversFramesUntilTheDriverHasNoneOrFails)
{
    media_source &src = cam.srcs[0];
    media_frame frames[3]{};

    EXPECT_EQ(source_poll(&src, 1, frames, 0, 5, 4000), 0);
    EXPECT_EQ(source_poll(&src, 1, frames, -1, 5, 4000), 0);
    EXPECT_TRUE(calls.empty());

    for (int code : {1, 0, -1, -2, -3}) {
        poll_script = {code};
        EXPECT_EQ(source_poll(&src, 1, frames, 1, 5, 4000), code);
    }
    EXPECT_EQ(calls.front().op, "poll:1:5:4000");

    poll_script = {1, 1, 0};
    EXPECT_EQ(source_poll(&src, 1, frames, 3, 9, 0), 2);
    poll_script = {1, -3, 1};
    EXPECT_EQ(source_poll(&src, 1, frames, 3, 9, 0), -3);
    poll_script = {0};
    EXPECT_EQ(source_poll(&src, 1, frames, 3, 9, 0), 0);
    poll_script = {1, 1, 1};
    EXPECT_EQ(source_poll(&src, 2, frames, 3, 9, 0), 3);
    EXPECT_EQ(calls.size(), 5u + 3 + 2 + 1 + 3);

    // Release goes frame by frame, in order, and not at all for count 0.
    calls.clear();
    source_frames_release(&src, frames, 0);
    EXPECT_TRUE(calls.empty());
    source_frames_release(&src, frames, 3);
    EXPECT_EQ(ops_on(&h0), (ops{"release:" + std::to_string(frames[0].width),
                                "release:" + std::to_string(frames[1].width),
                                "release:" + std::to_string(frames[2].width)}));
}

TEST_F(Sources, StopClearsTheStreamAndStampsTheTickClock)
{
    media_source &src = cam.srcs[1];
    src.format = MEDIA_FMT_I420;
    src.width = 352;
    src.height = 288;
    src.started = 1;
    g_monotime_microsec = 123456789;

    video_out out{};
    out.free_playback_resources = rec_free_playback_resources;
    video_out *saved = vout;
    vout = &out;
    source_stop(&src);
    vout = saved;

    EXPECT_EQ(ops_on(&h1), ops{"stop"});
    EXPECT_EQ(freed_overlays, std::vector<media_source *>{&src});
    EXPECT_EQ(src.format, 0u);
    EXPECT_EQ(src.width, 0u);
    EXPECT_EQ(src.height, 0u);
    EXPECT_EQ(src.started, 0u);
    EXPECT_EQ(src.t_stop, 123456789u);

    // No video output installed: the stop still happens.
    g_monotime_microsec = 5;
    source_stop(&src);
    EXPECT_EQ(src.t_stop, 5u);
    EXPECT_EQ(freed_overlays.size(), 1u);

    g_monotime_microsec = 77;
    EXPECT_EQ(source_play(&src), 1);
    EXPECT_EQ(src.t_play, 77u);
}

TEST_F(Sources, CamStopSparesTheExcludedSources)
{
    cam_stop(&cam, -1, nullptr);
    EXPECT_EQ(handles_of("stop"), (handles{&h0, &h1, &h2}));

    calls.clear();
    cam_stop(&cam, 0, nullptr);
    EXPECT_EQ(handles_of("stop"), (handles{&h1, &h2}));

    calls.clear();
    cam_stop(&cam, -1, &cam.srcs[1]);
    EXPECT_EQ(handles_of("stop"), (handles{&h0, &h2}));

    calls.clear();
    cam_stop(&cam, 2, &cam.srcs[0]);
    EXPECT_EQ(handles_of("stop"), (handles{&h1}));

    // Waiting walks the same way and skips sources without handle or
    // without a stop_wait.
    calls.clear();
    cam.srcs[1].handle = nullptr;
    cam.srcs[2].drv = &minimal_drv;
    cam_stop_wait(&cam, -1, nullptr);
    EXPECT_EQ(handles_of("stop_wait"), (handles{&h0}));
    EXPECT_EQ(handles_of("stop"), handles{});

    calls.clear();
    cam.srcs[1].handle = &h1;
    cam.srcs[2].drv = &recording_drv;
    cam_stop_wait(&cam, 0, &cam.srcs[2]);
    EXPECT_EQ(handles_of("stop_wait"), (handles{&h1}));

    // Only the sources in use are walked.
    calls.clear();
    cam.nsrcs = 1;
    cam_stop(&cam, -1, nullptr);
    EXPECT_EQ(handles_of("stop"), (handles{&h0}));
}

TEST_F(Sources, WaitingUsesTheDriverOnlyWhenItCanWait)
{
    media_source &src = cam.srcs[0];
    stop_wait_result = 0;
    EXPECT_EQ(source_stop_wait(&src), 0);
    EXPECT_EQ(sorce_stop_and_wait(&src), 0);
    EXPECT_EQ(ops_on(&h0), (ops{"stop_wait", "stop", "stop_wait"}));

    calls.clear();
    src.drv = &minimal_drv;
    EXPECT_EQ(source_stop_wait(&src), 1);
    EXPECT_EQ(sorce_stop_and_wait(&src), 1);
    EXPECT_EQ(source_probe(&src), 0);
    media_frame frame{};
    source_frames_release(&src, &frame, 1);
    EXPECT_EQ(ops_on(&h0), ops{"stop"});

    // A media-framework source stops at once.
    media_source gst{};
    gst.cam = &cam;
    ASSERT_EQ(source_init(&gst, "rtsp://127.0.0.1:8554/x"), 1);
    EXPECT_EQ(source_stop_wait(&gst), 1);
    EXPECT_EQ(sorce_stop_and_wait(&gst), 1);
    source_free(&gst);
}

TEST_F(Sources, ProbeFillsTheGeometryOnlyWhenTheDriverKnowsIt)
{
    media_source &src = cam.srcs[0];
    ASSERT_EQ(source_probe(&src), 1);
    EXPECT_EQ(ops_on(&h0), ops{"probe:100"});
    EXPECT_EQ(src.format, uint32_t{MEDIA_FMT_YV12});
    EXPECT_EQ(src.width, 640u);
    EXPECT_EQ(src.height, 480u);
    ASSERT_NE(src.aspect_h, 0u);
    EXPECT_EQ(src.aspect_w * 480, src.aspect_h * 640);

    media_source &other = cam.srcs[1];
    probe_geometry[0] = MEDIA_FMT_NONE;
    EXPECT_EQ(source_probe(&other), 0);
    probe_geometry[0] = MEDIA_FMT_I420;
    probe_result = 0;
    EXPECT_EQ(source_probe(&other), 0);
    EXPECT_EQ(other.format, 0u);
    EXPECT_EQ(other.width, 0u);
    probe_geometry[0] = MEDIA_FMT_YV12;

    // Both real drivers cannot tell the geometry in advance.
    media_source dev{};
    dev.cam = &cam;
    ASSERT_EQ(source_init(&dev, "/dev/video3"), 1);
    EXPECT_EQ(source_probe(&dev), 0);
    source_free(&dev);
}

TEST_F(Sources, ASourceWithoutDriverOrHandleIsSafeEverywhere)
{
    media_source bare{};
    bare.format = MEDIA_FMT_GREY;
    media_source no_handle{};
    no_handle.drv = &recording_drv;
    media_frame frame{};
    for (media_source *src : {&bare, &no_handle}) {
        EXPECT_EQ(source_play(src), 0);
        EXPECT_EQ(is_source_playing(src), 0);
        EXPECT_EQ(is_source_stopped(src), 1);
        EXPECT_EQ(source_poll(src, 1, &frame, 1, 1, 1000), 0);
        source_frames_release(src, &frame, 1);
        EXPECT_EQ(source_probe(src), 0);
        EXPECT_EQ(sorce_stop_and_wait(src), 1);
        source_free(src);
    }
    EXPECT_EQ(bare.format, 0u);
    EXPECT_TRUE(calls.empty());

    camera empty{};
    cam_stop(&empty, -1, nullptr);
    cam_stop_wait(&empty, -1, nullptr);
    cam_stop(nullptr, -1, nullptr);
    source_stop(nullptr);
    EXPECT_EQ(source_init(nullptr, "/dev/video0"), 0);
}

} // namespace
