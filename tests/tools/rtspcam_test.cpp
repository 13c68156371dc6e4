// rtspcam, the RTSP test server: a real client decodes each codec to the
// server's picture, and each control command does to clients what it says.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "e2e.h"
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

RtspServerConfig config(const char *size, const char *colour = "2060c0")
{
    RtspServerConfig c;
    c.size = size;
    c.colour = colour;
    return c;
}

TEST(Rtspcam, EveryCodecDecodesToThePicture)
{
    TempDir dir;
    RtspServer server(dir.path(), config("352x288", "c02080"));
    ASSERT_TRUE(server.ok()) << server.output();
    for (const char *codec : {"mjpeg", "h264", "vp8"}) {
        SCOPED_TRACE(codec);
        const std::string png = dir.file(std::string(codec) + ".png");
        const RunResult r = snapshot(server.url(codec), "tcp+udp", png, 30000);
        ASSERT_EQ(r.status, 0) << r.out << r.err;
        const Image img = read_png(png);
        ASSERT_EQ(img.width, 352);
        ASSERT_EQ(img.height, 288);
        // The bottom half is background but for the small moving ball.
        const Rgb c = average(img, 0, 144, 352, 144);
        EXPECT_NEAR(c.r, 0xc0, 24);
        EXPECT_NEAR(c.g, 0x20, 24);
        EXPECT_NEAR(c.b, 0x80, 24);
    }
}

enum class Client { FRAME, REFUSED, SILENT };

struct Step {
    const char *command; // sent first, if any
    const char *protocols;
    Client expect;
};

// Run in order against one server.
constexpr Step STEPS[] = {
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
    RtspServer server(dir.path(), config("176x144"));
    ASSERT_TRUE(server.ok()) << server.output();
    int n = 0;
    for (const Step &s : STEPS) {
        SCOPED_TRACE(std::string(s.command ? s.command : "-") + " / " + s.protocols);
        if (s.command) {
            ASSERT_TRUE(server.command(s.command)) << server.output();
        }
        const std::string png = dir.file(std::to_string(n++) + ".png");
        // A silent server keeps the client waiting; 3 s shows it gets nothing.
        const RunResult r = snapshot(server.url("h264"), s.protocols, png,
                                     s.expect == Client::SILENT ? 3000 : 30000);
        EXPECT_EQ(r.timed_out, s.expect == Client::SILENT) << r.err;
        EXPECT_EQ(r.status == 0, s.expect == Client::FRAME) << r.err;
        EXPECT_EQ(read_png(png).ok(), s.expect == Client::FRAME);
    }
}

TEST(Rtspcam, DropEndsRunningClientsAndKillComesBackOnItsPort)
{
    TempDir dir;
    RtspServer server(dir.path(), config("176x144"));
    ASSERT_TRUE(server.ok()) << server.output();
    // Over TCP a dropped client sees its stream end.
    Child client({"gst-launch-1.0", "-v", "rtspsrc", "location=" + server.url("mjpeg"),
                  "protocols=tcp", "!", "decodebin", "!", "fakesink", "silent=false"},
                 {}, dir.file("client.out"), dir.file("client.err"));
    // Dropped while it sets up, the client would connect again.
    ASSERT_TRUE(wait_until(20000, [&] {
        return read_file(dir.file("client.out")).find("chain") != std::string::npos;
    }));
    ASSERT_TRUE(server.command("drop"));
    EXPECT_TRUE(client.wait(10000, nullptr));

    const int port = server.port();
    server.kill();
    EXPECT_EQ(snapshot(server.url("vp8"), "tcp", dir.file("gone.png"), 30000).status, 1);
    ASSERT_TRUE(server.start());
    EXPECT_EQ(server.port(), port);
    EXPECT_EQ(snapshot(server.url("vp8"), "tcp", dir.file("back.png"), 30000).status, 0);
}

} // namespace
