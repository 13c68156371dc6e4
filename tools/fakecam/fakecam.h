// Internal declarations of the capture-device emulator (libfakecam.so).
//
// The library is preloaded into a process and takes over every path that
// begins with "/dev/video": the devices listed in the configuration file
// behave like simple read()-capable capture devices, every other such path
// does not exist.  Each open descriptor is one end of a Unix stream socket
// pair; the library keeps the other end and keeps one byte in it while the
// descriptor has frames queued, so the descriptor's readability, O_NONBLOCK,
// poll and epoll are all handled by the kernel.  Closing the library's end after it
// received a byte makes the kernel report EPOLLERR | EPOLLHUP on the
// application's end, which is how a vanished device looks.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace fakecam {

constexpr uint32_t fourcc(char a, char b, char c, char d)
{
    return uint32_t(uint8_t(a)) | uint32_t(uint8_t(b)) << 8 |
           uint32_t(uint8_t(c)) << 16 | uint32_t(uint8_t(d)) << 24;
}
constexpr uint32_t FMT_I420 = fourcc('Y', 'U', '1', '2');
constexpr uint32_t FMT_GREY = fourcc('G', 'R', 'E', 'Y');
constexpr uint32_t FMT_YUYV = fourcc('Y', 'U', 'Y', 'V');

// Largest accepted picture side and frame size.
constexpr unsigned MAX_SIDE = 8192;
constexpr size_t MAX_FRAME_BYTES = 64u << 20;
// Filled buffers a descriptor holds for its reader, as a capture driver
// queues a few: 1 keeps only the newest frame.
constexpr unsigned MAX_BUFFERS = 32;
constexpr unsigned DEFAULT_BUFFERS = 4;

// Where a device fails on purpose.
enum class Fail : uint8_t {
    none,
    open,
    querycap,
    nocapture,
    noio,
    gfmt,
    tryfmt
};

struct DeviceConfig {
    std::string name; // "video3": the device is "/dev/video3"
    uint32_t fmt = FMT_I420;
    unsigned width = 704, height = 576;
    double fps = 25.0;
    int cam = 0;
    bool nosignal = false;
    bool missing = false;
    Fail fail = Fail::none;
    unsigned buffers = DEFAULT_BUFFERS; // 1 to MAX_BUFFERS
};

// Memory layout of one frame.
struct Geometry {
    size_t bytesperline = 0;
    size_t luma_size = 0; // bytes of the luma plane (whole frame for YUYV)
    size_t chroma_w = 0, chroma_h = 0; // size of one chroma plane (I420)
    size_t sizeimage = 0;
};
Geometry geometry(uint32_t fmt, unsigned width, unsigned height);

// ---- configuration and commands (config.cpp) --------------------------
std::string_view fmt_name(uint32_t fmt);
bool parse_fmt(std::string_view s, uint32_t &out);
std::string_view fail_name(Fail f);
bool parse_fail(std::string_view s, Fail &out);
bool parse_size(std::string_view s, unsigned &w, unsigned &h);

// Parses one configuration line.  Returns 1 for a device, 0 for a blank or
// comment line, -1 with a reason in err for a bad line.
int parse_device_line(std::string_view line, DeviceConfig &out,
                      std::string &err);

// Reads the configuration file; bad lines are reported on stderr and skipped.
// Returns false when the file cannot be read.
bool load_config(const char *path, std::vector<DeviceConfig> &out);

enum class Cmd : uint8_t {
    nosignal,
    stall,
    resume,
    hangup,
    vanish,
    back,
    shortread,
    format,
    size,
    fps,
    cam,
    fail,
    buffers
};
struct Command {
    Cmd cmd = Cmd::stall;
    bool flag = false;      // nosignal
    size_t bytes = 0;       // shortread (0 = half a frame)
    uint32_t fmt = 0;       // format
    unsigned w = 0, h = 0;  // size
    double fps = 0;         // fps
    int cam = 0;            // cam
    Fail fail = Fail::none; // fail
    unsigned buffers = 0;   // buffers
};
// Parses one control line.  1 command, 0 blank/comment, -1 bad (err set).
int parse_command(std::string_view line, Command &out, std::string &err);

// ---- pictures (picture.cpp) ---------------------------------------------
constexpr size_t TRAILER_BYTES = 20; // "FCAM", seq, cam, ready time

// Draws the moving test picture of one device.  Keeps a cached background,
// so one painter belongs to one device and one thread.
class Painter {
public:
    // Fills out (resized to the frame size) with the picture at time t_us.
    void render(const DeviceConfig &cfg, int64_t t_us,
                std::vector<uint8_t> &out);

private:
    void build_background(const DeviceConfig &cfg);

    uint32_t bg_fmt_ = 0;
    unsigned bg_w_ = 0, bg_h_ = 0;
    int bg_cam_ = -1;
    bool bg_nosignal_ = false;
    bool bg_valid_ = false;
    std::vector<uint8_t> bg_;     // planar Y, U, V background
    std::vector<uint8_t> canvas_; // planar scratch for packed formats
    unsigned box_x0_ = 0, box_y0_ = 0, box_x1_ = 0, box_y1_ = 0; // digit box
};

// Writes the trailer (sequence, camera, ready time) into a rendered frame;
// nothing when the luma plane is too small to hold it beside byte 0.
void stamp_trailer(std::vector<uint8_t> &frame, const Geometry &g, uint32_t seq,
                   int cam, int64_t ready_us);

// ---- statistics (stats.cpp) -----------------------------------------------
constexpr int LAT_BUCKETS = 32;
struct Stats {
    uint64_t opens = 0, open_refused = 0;
    uint64_t produced = 0, delivered = 0, skipped = 0;
    uint64_t short_reads = 0, eagain = 0, hangups = 0;
    uint64_t lat_sum_us = 0, lat_max_us = 0, lat_min_us = UINT64_MAX;
    std::array<uint64_t, LAT_BUCKETS> lat_hist{}; // bucket i: [2^(i-1), 2^i) us

    void add_latency(int64_t us);
};

void events_open(const char *path);
void event_ready(const std::string &dev, uint32_t seq, int64_t t_us);
void event_read(const std::string &dev, uint32_t seq, int64_t t_us,
                size_t bytes);
void events_flush();
void events_fork_prepare();
void events_fork_release();
// Expands "%p" in a path to the process id.
std::string expand_pid(const char *path);

// ---- devices (devices.cpp) -------------------------------------------------
// One filled buffer waiting in a descriptor's queue.
struct Slot {
    std::vector<uint8_t> data;
    uint32_t seq = 0;
    int64_t ready_us = 0;
};

// The frames a descriptor has not read yet, oldest first, in a ring of
// buffers allocated once (a format change resizes them in place).
class FrameQueue {
public:
    // Sets the depth; queued frames beyond it, the oldest, are dropped and
    // their number returned.  Buffers are kept for frames of frame_bytes.
    size_t set_depth(unsigned depth, size_t frame_bytes);
    unsigned depth() const { return unsigned(slots_.size()); }
    size_t size() const { return count_; }
    bool empty() const { return count_ == 0; }
    // Queues a frame, taking over its buffer when take is set (frame then
    // gets a spare buffer back) and copying it otherwise.  Returns true
    // when the queue was full and its oldest frame was dropped for it.
    bool push(std::vector<uint8_t> &frame, bool take, uint32_t seq,
              int64_t ready_us);
    const Slot &front() const { return slots_[head_]; }
    void pop();
    void clear() { head_ = count_ = 0; }

private:
    std::vector<Slot> slots_;
    size_t head_ = 0, count_ = 0;
};

// Buffers of memory-mapped streaming (VIDIOC_REQBUFS): one memory file that
// the program maps buffer by buffer, filled by VIDIOC_DQBUF.  A dequeue in
// progress holds a reference, so the memory outlives a concurrent release.
struct MappedBuffers {
    int memfd = -1;
    uint8_t *mem = nullptr; // the library's own mapping of the whole file
    size_t stride = 0;      // bytes per buffer, page-aligned
    size_t length = 0;      // frame bytes when the buffers were made
    unsigned count = 0;
    std::vector<bool> queued;    // by buffer index
    std::deque<unsigned> order;  // queued buffers, first to be filled first
    bool streaming = false;
    ~MappedBuffers();
};

struct Handle {
    // The program's descriptors of its end of the pair: the one open()
    // returned and its dup()s (under the library's descriptor lock).
    std::vector<int> fds;
    int fd = -1;      // the library's own dup of the program's end, alive
                      // while the program holds any: reads wait on it
    int peer = -1;    // the library's end of the pair; -1 after a hang-up
    dev_t st_dev = 0; // identity of the program's end, to notice a
    ino_t st_ino = 0; // descriptor closed behind the library's back
    struct Device *dev = nullptr;
    // A readiness byte waits in fd; kept equal to !queue.empty() while
    // the descriptor is alive, so fd is readable exactly while frames wait.
    bool token_pending = false;
    int dead = 0; // errno of reads after hang-up/vanish
    FrameQueue queue; // under the device's mu
    std::shared_ptr<MappedBuffers> mapped; // under the device's mu
};

struct Device {
    std::mutex mu;
    DeviceConfig cfg; // written by the generator thread only, under mu
    bool stalled = false;
    bool short_armed = false;
    size_t short_bytes = 0;
    uint32_t seq = 0; // of the last frame made
    std::vector<std::shared_ptr<Handle>> handles;
    Stats stats;

    // Generator thread only.
    int64_t next_due_us = 0;
    Painter painter;
    std::vector<uint8_t> back;
};

int64_t mono_us();

// Loads the configuration once per process; false when the library is not
// configured (FAKECAM_CONFIG unset) and every call must pass through.
bool active();
// True for paths the library owns ("/dev/video...").
bool owns_path(const char *path);

int emu_open(const char *path, int flags);
// stat() of a device path: a character device, or ENOENT like open();
// st may be null (access()).
int emu_stat(const char *path, struct stat *st);
// Looks up an emulated descriptor; null for everything else.
std::shared_ptr<Handle> find_handle(int fd);
// Delivers the oldest queued frame as read() does; seq and ready_us, when
// given, receive its sequence number and ready time.
ssize_t emu_read(const std::shared_ptr<Handle> &h, void *buf, size_t count,
                 uint32_t *seq = nullptr, int64_t *ready_us = nullptr);
// The device's requests (ioctl.cpp); memory-mapped streaming (streaming.cpp).
int emu_ioctl(const std::shared_ptr<Handle> &h, unsigned long req, void *arg);
int emu_streaming_ioctl(const std::shared_ptr<Handle> &h, unsigned long req,
                        void *arg);
void *emu_mmap(const std::shared_ptr<Handle> &h, void *addr, size_t len,
               int prot, int flags, off_t offset);
// dup() of one of the program's descriptors: fd becomes one more for h.
int emu_dup(const std::shared_ptr<Handle> &h, int fd);
int emu_close(const std::shared_ptr<Handle> &h, int fd);

// Device table, fixed after start-up.
std::vector<std::unique_ptr<Device>> &devices();
Device *find_device(std::string_view name);
const std::string &ctl_dir();

// Applies a control command to a device (generator thread).
void apply_command(Device &d, const Command &c);
// Publishes a rendered frame (generator thread).
void publish(Device &d, std::vector<uint8_t> &rendered);

// ---- generator thread (generator.cpp) -------------------------------------
void generator_start();
void generator_wake();
// Stops the thread, waiting at most about a second; false if it did not end.
bool generator_stop();
// Keep the generator's lock consistent across fork(); the prepare step
// waits until the thread is idle between two rounds of frames.
void generator_fork_prepare();
void generator_fork_parent();
void generator_fork_child();
// Reads and removes pending command files of the control directory.
void poll_ctl_dir();

void write_stats(const char *path);
// Ends the library's work in the process that loaded the configuration
// (generator stopped, events flushed, statistics written); once.
void finish_process();

// ---- real libc functions (interpose.cpp) ----------------------------------
namespace real {
void *mmap(void *addr, size_t len, int prot, int flags, int fd, off_t offset);
int close(int fd);
} // namespace real

} // namespace fakecam
