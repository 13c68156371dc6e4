// The moving test picture: a horizontal luma ramp tinted with a colour that
// depends on the camera number, a bright bar sweeping across once every two
// seconds and the camera number in large digits in the middle.  Without a
// signal the picture is a flat dark blue with the number only, like the
// blue screen of a capture card whose input is unplugged.
//
// The top-left luma byte carries the signal bit (0x02 set = signal), and the
// last TRAILER_BYTES bytes of the luma plane carry "FCAM", the frame's
// sequence number, the camera number and the monotonic time (microseconds)
// at which the frame became readable, all little endian.
#include "fakecam.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

namespace fakecam {

namespace {

// 3x5 digit glyphs, one row per 3 bits, top row first.
constexpr std::array<std::array<uint8_t, 5>, 10> GLYPHS = {{
    {7, 5, 5, 5, 7},
    {2, 6, 2, 2, 7},
    {7, 1, 7, 4, 7},
    {7, 1, 7, 1, 7},
    {5, 5, 7, 1, 1},
    {7, 4, 7, 1, 7},
    {7, 4, 7, 5, 7},
    {7, 1, 2, 2, 2},
    {7, 5, 7, 5, 7},
    {7, 5, 7, 1, 7},
}};

constexpr uint8_t Y_BLACK = 16, Y_WHITE = 235, C_NEUTRAL = 128;
constexpr int64_t SWEEP_US = 2'000'000;

struct Planes {
    uint8_t *y;
    uint8_t *u; // null for GREY
    uint8_t *v;
    size_t w, h, cw, ch;
};

Planes planes_of(uint8_t *base, const DeviceConfig &cfg, bool chroma)
{
    Geometry g = geometry(FMT_I420, cfg.width, cfg.height);
    Planes p{base,       nullptr,    nullptr,   cfg.width,
             cfg.height, g.chroma_w, g.chroma_h};
    if (chroma) {
        p.u = base + g.luma_size;
        p.v = p.u + g.chroma_w * g.chroma_h;
    }
    return p;
}

void draw_bar(Planes &p, int64_t t_us)
{
    size_t bw = std::max<size_t>(1, p.w / 20);
    size_t x0 = size_t((t_us % SWEEP_US) * int64_t(p.w) / SWEEP_US);
    size_t x1 = std::min(p.w, x0 + bw);
    for (size_t y = 0; y < p.h; ++y)
        std::memset(p.y + y * p.w + x0, Y_WHITE, x1 - x0);
    if (!p.u)
        return;
    size_t c0 = x0 / 2, c1 = std::min(p.cw, (x1 + 1) / 2);
    for (size_t y = 0; y < p.ch; ++y) {
        std::memset(p.u + y * p.cw + c0, C_NEUTRAL, c1 - c0);
        std::memset(p.v + y * p.cw + c0, C_NEUTRAL, c1 - c0);
    }
}

// Copies the rectangle [x0,x1) x [y0,y1) of the background back over the bar.
void restore_box(Planes &dst, const Planes &bg, unsigned x0, unsigned y0,
                 unsigned x1, unsigned y1)
{
    if (x1 <= x0 || y1 <= y0)
        return;
    for (size_t y = y0; y < y1; ++y)
        std::memcpy(dst.y + y * dst.w + x0, bg.y + y * bg.w + x0, x1 - x0);
    if (!dst.u)
        return;
    size_t c0 = x0 / 2, c1 = std::min(dst.cw, size_t(x1 + 1) / 2);
    for (size_t y = y0 / 2; y < std::min(dst.ch, size_t(y1 + 1) / 2); ++y) {
        std::memcpy(dst.u + y * dst.cw + c0, bg.u + y * bg.cw + c0, c1 - c0);
        std::memcpy(dst.v + y * dst.cw + c0, bg.v + y * bg.cw + c0, c1 - c0);
    }
}

void put_le(uint8_t *p, uint64_t v, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        p[i] = uint8_t(v >> (8 * i));
}

} // namespace

void Painter::build_background(const DeviceConfig &cfg)
{
    Geometry g = geometry(FMT_I420, cfg.width, cfg.height);
    bg_.assign(g.sizeimage, 0);
    Planes p = planes_of(bg_.data(), cfg, true);

    uint8_t u = 200, v = 100; // blue screen
    if (!cfg.nosignal) {
        // Golden-angle steps give neighbouring camera numbers clearly
        // different tints.
        double a = cfg.cam * 2.399963;
        u = uint8_t(std::lround(C_NEUTRAL + 56 * std::cos(a)));
        v = uint8_t(std::lround(C_NEUTRAL + 56 * std::sin(a)));
    }
    for (size_t y = 0; y < p.h; ++y)
        for (size_t x = 0; x < p.w; ++x)
            p.y[y * p.w + x] =
                cfg.nosignal
                    ? 41
                    : uint8_t(Y_BLACK + (p.w > 1 ? 219 * x / (p.w - 1) : 0));
    std::memset(p.u, u, p.cw * p.ch);
    std::memset(p.v, v, p.cw * p.ch);

    // The camera number: glyph cells of s x s pixels, one cell of spacing
    // between digits and around them, filling about half the height.
    std::string text = std::to_string(cfg.cam);
    size_t n = text.size();
    size_t s = std::min<size_t>(p.h / 10, p.w / (4 * n + 1));
    box_x0_ = box_y0_ = box_x1_ = box_y1_ = 0;
    if (s > 0) {
        size_t bw = (4 * n + 1) * s, bh = 7 * s;
        box_x0_ = unsigned((p.w - bw) / 2);
        box_y0_ = unsigned((p.h - bh) / 2);
        box_x1_ = unsigned(box_x0_ + bw);
        box_y1_ = unsigned(box_y0_ + bh);
        for (size_t y = box_y0_; y < box_y1_; ++y) {
            std::memset(p.y + y * p.w + box_x0_, Y_BLACK, bw);
        }
        for (size_t y = box_y0_ / 2;
             y < std::min(p.ch, size_t(box_y1_ + 1) / 2); ++y) {
            size_t c0 = box_x0_ / 2,
                   c1 = std::min(p.cw, size_t(box_x1_ + 1) / 2);
            std::memset(p.u + y * p.cw + c0, C_NEUTRAL, c1 - c0);
            std::memset(p.v + y * p.cw + c0, C_NEUTRAL, c1 - c0);
        }
        for (size_t i = 0; i < n; ++i) {
            const auto &glyph = GLYPHS[size_t(text[i] - '0')];
            size_t gx = box_x0_ + s + i * 4 * s, gy = box_y0_ + s;
            for (size_t row = 0; row < 5; ++row)
                for (size_t col = 0; col < 3; ++col) {
                    if (!(glyph[row] & (4 >> col)))
                        continue;
                    for (size_t y = gy + row * s; y < gy + (row + 1) * s; ++y)
                        std::memset(p.y + y * p.w + gx + col * s, Y_WHITE, s);
                }
        }
    }
    bg_fmt_ = cfg.fmt;
    bg_w_ = cfg.width;
    bg_h_ = cfg.height;
    bg_cam_ = cfg.cam;
    bg_nosignal_ = cfg.nosignal;
    bg_valid_ = true;
}

void Painter::render(const DeviceConfig &cfg, int64_t t_us,
                     std::vector<uint8_t> &out)
{
    if (!bg_valid_ || bg_w_ != cfg.width || bg_h_ != cfg.height ||
        bg_cam_ != cfg.cam || bg_nosignal_ != cfg.nosignal)
        build_background(cfg);
    bg_fmt_ = cfg.fmt;

    Geometry g = geometry(cfg.fmt, cfg.width, cfg.height);
    out.resize(g.sizeimage);
    Planes bg = planes_of(bg_.data(), cfg, true);

    // Planar formats are drawn in place; YUYV is drawn planar, then packed.
    Planes p{};
    if (cfg.fmt == FMT_YUYV) {
        canvas_ = bg_;
        p = planes_of(canvas_.data(), cfg, true);
    } else {
        bool chroma = cfg.fmt == FMT_I420;
        std::memcpy(out.data(), bg_.data(), chroma ? bg_.size() : g.luma_size);
        p = planes_of(out.data(), cfg, chroma);
    }
    if (!cfg.nosignal) {
        draw_bar(p, t_us);
        restore_box(p, bg, box_x0_, box_y0_, box_x1_, box_y1_);
    }
    if (cfg.fmt == FMT_YUYV) {
        for (size_t y = 0; y < p.h; ++y) {
            uint8_t *o = out.data() + y * g.bytesperline;
            const uint8_t *ly = p.y + y * p.w;
            const uint8_t *cu = p.u + (y / 2) * p.cw;
            const uint8_t *cv = p.v + (y / 2) * p.cw;
            for (size_t i = 0; i < p.cw; ++i, o += 4) {
                o[0] = ly[2 * i];
                o[1] = cu[i];
                o[2] = 2 * i + 1 < p.w ? ly[2 * i + 1] : ly[2 * i];
                o[3] = cv[i];
            }
        }
    }
    // Byte 0 is luma in every format.
    if (cfg.nosignal)
        out[0] &= uint8_t(~0x02);
    else
        out[0] |= 0x02;
}

void stamp_trailer(std::vector<uint8_t> &frame, const Geometry &g, uint32_t seq,
                   int cam, int64_t ready_us)
{
    if (g.luma_size < 2 * TRAILER_BYTES || frame.size() < g.luma_size)
        return;
    uint8_t *t = frame.data() + g.luma_size - TRAILER_BYTES;
    std::memcpy(t, "FCAM", 4);
    put_le(t + 4, seq, 4);
    put_le(t + 8, uint32_t(cam), 4);
    put_le(t + 12, uint64_t(ready_us), 8);
}

} // namespace fakecam
