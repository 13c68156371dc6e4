// rtspcam, the RTSP test server: each control command does to a real client
// what it says.  (The viewer's end-to-end tests show every codec's picture.)
#include <gtest/gtest.h>

#include <string>

#include "viewer.h"
#include "rtsp_server.h"

namespace {

using namespace testsupport;

// One decoded frame of url into png by a real client; its run result.
RunResult snapshot(const std::string &url, const std::string &protocols,
                   const std::string &png, int timeout_ms)
{
    return run({"gst-launch-1.0", "-q", "rtspsrc", "location=" + url,
                "protocols=" + protocols, "!", "decodebin", "!", "videoconvert",
                "!", "pngenc", "snapshot=true", "!", "filesink", "location=" + png},
               {}, timeout_ms);
}

enum class Client { FRAME, REFUSED, SILENT };

struct Step {
    const char *command, *protocols; // command sent first, if any
    Client expect;
};

// Run in order against one server.
constexpr Step STEPS[] = {
    {nullptr, "udp", Client::FRAME},
    {"tcp-only on", "udp", Client::REFUSED},
    {nullptr, "tcp", Client::FRAME},
    {"tcp-only off", "udp", Client::FRAME},
    {"stall", "tcp", Client::SILENT},
    {"resume", "tcp", Client::FRAME},
    {"hang", "tcp", Client::SILENT}, // accepted, never answered
    {"up", "tcp", Client::FRAME},
    {"down", "tcp", Client::REFUSED},
    {"restart 0.5", "tcp", Client::FRAME}, // same port again
};

TEST(Rtspcam, ControlCommandsChangeWhatClientsGet)
{
    TempDir dir;
    RtspServerConfig small;
    small.size = "176x144";
    RtspServer server(dir.path(), small);
    ASSERT_TRUE(server.ok()) << server.output();
    for (const Step &s : STEPS) {
        SCOPED_TRACE(std::string(s.command ? s.command : "-") + " / " + s.protocols);
        ASSERT_TRUE(!s.command || server.command(s.command)) << server.output();
        const std::string png = dir.file(std::to_string(&s - STEPS) + ".png");
        // A silent server keeps the client waiting; 3 s shows it gets nothing.
        const RunResult r = snapshot(server.url("h264"), s.protocols, png,
                                     s.expect == Client::SILENT ? 3000 : 30000);
        EXPECT_EQ(r.timed_out, s.expect == Client::SILENT) << r.err;
        EXPECT_EQ(r.status == 0, s.expect == Client::FRAME) << r.err;
        EXPECT_EQ(read_png(png).ok(), s.expect == Client::FRAME);
    }
}

} // namespace
