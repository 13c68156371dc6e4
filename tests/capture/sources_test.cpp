// The source dispatch layer: driver choice, the wrappers' use of a driver
// table (a recording driver of the test's own), and sources without handle.
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

using strings = std::vector<std::string>;
strings calls;                // "op handle-number"
std::vector<int> poll_script; // results of the next polls
uint32_t probe_out[3] = {MEDIA_FMT_YV12, 640, 480};
int probe_result = 1;

void rec(const char *op, void *h) { calls.push_back(std::string(op) + " " + std::to_string(*static_cast<int *>(h))); }
int rec_get_state(void *h) { rec("state", h); return SRC_STATE_PLAYING; }
int rec_probe(void *h, int ms, uint32_t *out) { rec(ms == 100 ? "probe" : "probe?", h); std::memcpy(out, probe_out, sizeof probe_out); return probe_result; }
int rec_play(void *h) { rec("play", h); return 1; }
void rec_stop(void *h) { rec("stop", h); }
int rec_stop_wait(void *h) { rec("wait", h); return 7; }
int rec_poll(void *h, int, media_frame *, int64_t, int)
{
    rec("poll", h);
    const int r = poll_script.empty() ? 0 : poll_script.front();
    if (!poll_script.empty())
        poll_script.erase(poll_script.begin());
    return r;
}
void rec_release(void *h, media_frame *f) { rec(("release" + std::to_string(f->size)).c_str(), h); }
int rec_destroy(void **h) { rec("destroy", *h); *h = nullptr; return 1; }

constexpr capture_drv recording_drv = {
    .name = "rec", .get_state = rec_get_state, .probe = rec_probe,
    .play = rec_play, .pause = nullptr, .stop = rec_stop,
    .stop_wait = rec_stop_wait, .poll = rec_poll, .frame_release = rec_release,
    .create = nullptr, .destroy = rec_destroy,
};
// Without the optional operations.
constexpr capture_drv minimal_drv = {
    .name = "min", .get_state = rec_get_state, .probe = nullptr,
    .play = rec_play, .pause = nullptr, .stop = rec_stop, .stop_wait = nullptr,
    .poll = rec_poll, .frame_release = nullptr, .create = nullptr,
    .destroy = rec_destroy,
};

media_source source_of(camera *cam, int index = 0,
                       const capture_drv *drv = nullptr, void *handle = nullptr)
{
    media_source src{};
    src.cam = cam;
    src.index = index;
    src.drv = drv;
    src.handle = handle;
    return src;
}


class Sources : public ::testing::Test {
protected:
    int numbers[3] = {0, 1, 2};
    camera cam{};

    void SetUp() override
    {
        ASSERT_EQ(sources_drivers_init(nullptr, nullptr), 1);
        calls.clear();
        poll_script.clear();
        cam.nr = 7;
        cam.nsrcs = 3;
        for (int i = 0; i < 3; i++)
            cam.srcs[i] = source_of(&cam, i, &recording_drv, &numbers[i]);
    }
    strings take_calls() { strings out; out.swap(calls); return out; }
};

TEST_F(Sources, InitChoosesTheDriverByPrefixAndSchemeMark)
{
    struct {
        const char *uri;
        const capture_drv *drv;
    } accepted[] = {{"/dev/video3", &v4l2_capture_drv},
                    {"v4l2:///dev/video3", &gst_capture},
                    {"rtsp://127.0.0.1:8554/x", &gst_capture}};
    for (const auto &a : accepted) {
        SCOPED_TRACE(a.uri);
        EXPECT_EQ(source_driver_for_uri(a.uri), a.drv);
        media_source src = source_of(&cam, 1);
        ASSERT_EQ(source_init(&src, a.uri), 1);
        EXPECT_EQ(src.drv, a.drv);
        EXPECT_STREQ(src.log.prefix, "cam[7.1]");
        EXPECT_EQ(is_source_stopped(&src), 1);
        source_free(&src);
        EXPECT_EQ(src.handle, nullptr);
        source_free(&src);
    }
    for (const char *uri : {"clip.mp4", " /dev/video3", "/dev/VIDEO3", ""}) {
        SCOPED_TRACE(uri);
        EXPECT_EQ(source_driver_for_uri(uri), nullptr);
        media_source src = source_of(&cam);
        EXPECT_EQ(source_init(&src, uri), 0);
        EXPECT_EQ(src.drv, nullptr);
        EXPECT_EQ(src.handle, nullptr);
    }
    EXPECT_EQ(source_driver_for_uri(nullptr), nullptr);
}

TEST_F(Sources, PollStopsAtTheFirstEmptyOrFailedPoll)
{
    media_source &src = cam.srcs[0];
    media_frame frames[3]{};
    EXPECT_EQ(source_poll(&src, 1, frames, 0, 5, 4000), 0);
    EXPECT_TRUE(calls.empty());
    for (int code : {1, 0, -1, -2, -3}) {
        poll_script = {code};
        EXPECT_EQ(source_poll(&src, 1, frames, 1, 5, 4000), code);
    }
    take_calls();
    struct {
        std::vector<int> script;
        int result;
        size_t polls;
    } runs[] = {{{1, 1, 0}, 2, 3}, {{1, -3, 1}, -3, 2}, {{0, 1}, 0, 1},
                {{1, 1, 1, 1}, 3, 3}};
    for (const auto &r : runs) {
        poll_script = r.script;
        EXPECT_EQ(source_poll(&src, 1, frames, 3, 9, 0), r.result);
        EXPECT_EQ(take_calls().size(), r.polls);
    }
    for (uint32_t i = 0; i < 3; i++)
        frames[i].size = i;
    source_frames_release(&src, frames, 0);
    source_frames_release(&src, frames, 2);
    EXPECT_EQ(take_calls(), (strings{"release0 0", "release1 0"}));
}

TEST_F(Sources, ASourceWithoutDriverOrHandleIsSafeEverywhere)
{
    media_source bare = source_of(nullptr);
    bare.format = MEDIA_FMT_GREY;
    media_source no_handle = source_of(nullptr, 0, &recording_drv);
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
    cam_stop(nullptr, -1, nullptr);
    source_stop(nullptr);
    EXPECT_EQ(source_init(nullptr, "/dev/video0"), 0);
}

} // namespace
