// The device's requests, answered as a simple capture card does: one input
// (a camera), one format at one size and one frame rate, no standards and
// no controls.  Enumerations list that one choice; setting a format or a
// frame rate gets the device's own back.
#include "fakecam.h"

#include <linux/videodev2.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <numeric>

namespace fakecam {

namespace {

// Requests this file answers; each takes a pointer argument.
constexpr unsigned long REQUESTS[] = {
    VIDIOC_QUERYCAP, VIDIOC_ENUMINPUT,       VIDIOC_G_INPUT,
    VIDIOC_S_INPUT,  VIDIOC_ENUM_FMT,        VIDIOC_ENUM_FRAMESIZES,
    VIDIOC_G_FMT,    VIDIOC_ENUM_FRAMEINTERVALS,
    VIDIOC_TRY_FMT,  VIDIOC_S_FMT,           VIDIOC_G_PARM,
    VIDIOC_S_PARM,   VIDIOC_REQBUFS,         VIDIOC_QUERYBUF,
    VIDIOC_QBUF,     VIDIOC_DQBUF,           VIDIOC_STREAMON,
    VIDIOC_STREAMOFF};

// The frame period as a fraction, e.g. 1/25 s, 2/25 s at 12.5 fps.
v4l2_fract frame_period(double fps)
{
    auto n = uint32_t(1000), d = uint32_t(std::lround(fps * 1000));
    uint32_t g = std::gcd(n, d);
    return {n / g, d / g};
}

int fail_errno(int e)
{
    errno = e;
    return -1;
}

int querycap(const DeviceConfig &c, v4l2_capability *cap)
{
    if (c.fail == Fail::querycap)
        return fail_errno(EIO);
    std::memset(cap, 0, sizeof *cap);
    std::snprintf(reinterpret_cast<char *>(cap->driver), sizeof cap->driver,
                  "fakecam");
    std::snprintf(reinterpret_cast<char *>(cap->card), sizeof cap->card,
                  "fakecam camera %d", c.cam);
    std::snprintf(reinterpret_cast<char *>(cap->bus_info), sizeof cap->bus_info,
                  "platform:fakecam-%s", c.name.c_str());
    cap->version = (6u << 16) | (1u << 8);
    uint32_t caps =
        V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_READWRITE | V4L2_CAP_STREAMING;
    if (c.fail == Fail::nocapture)
        caps &= ~uint32_t(V4L2_CAP_VIDEO_CAPTURE);
    if (c.fail == Fail::noio)
        caps &= ~uint32_t(V4L2_CAP_READWRITE | V4L2_CAP_STREAMING);
    cap->device_caps = caps;
    cap->capabilities = caps | V4L2_CAP_DEVICE_CAPS;
    return 0;
}

// G_FMT, TRY_FMT and S_FMT: a request for any other format gets the
// device's own back, as a card with one format does.
int format(const DeviceConfig &c, unsigned long req, v4l2_format *f)
{
    if (f->type != V4L2_BUF_TYPE_VIDEO_CAPTURE ||
        (req == VIDIOC_G_FMT && c.fail == Fail::gfmt) ||
        (req == VIDIOC_TRY_FMT && c.fail == Fail::tryfmt))
        return fail_errno(EINVAL);
    Geometry g = geometry(c.fmt, c.width, c.height);
    std::memset(&f->fmt, 0, sizeof f->fmt);
    f->fmt.pix.width = c.width;
    f->fmt.pix.height = c.height;
    f->fmt.pix.pixelformat = c.fmt;
    f->fmt.pix.field = V4L2_FIELD_NONE;
    f->fmt.pix.bytesperline = uint32_t(g.bytesperline);
    f->fmt.pix.sizeimage = uint32_t(g.sizeimage);
    f->fmt.pix.colorspace = V4L2_COLORSPACE_SMPTE170M;
    return 0;
}

int enum_fmt(const DeviceConfig &c, v4l2_fmtdesc *f)
{
    if (f->type != V4L2_BUF_TYPE_VIDEO_CAPTURE || f->index != 0)
        return fail_errno(EINVAL);
    std::memset(f->description, 0, sizeof f->description);
    std::memcpy(f->description, fmt_name(c.fmt).data(), fmt_name(c.fmt).size());
    f->flags = 0;
    f->pixelformat = c.fmt;
    return 0;
}

int enum_framesizes(const DeviceConfig &c, v4l2_frmsizeenum *s)
{
    if (s->index != 0 || s->pixel_format != c.fmt)
        return fail_errno(EINVAL);
    s->type = V4L2_FRMSIZE_TYPE_DISCRETE;
    s->discrete = {c.width, c.height};
    return 0;
}

int enum_frameintervals(const DeviceConfig &c, v4l2_frmivalenum *i)
{
    if (i->index != 0 || i->pixel_format != c.fmt || i->width != c.width ||
        i->height != c.height)
        return fail_errno(EINVAL);
    i->type = V4L2_FRMIVAL_TYPE_DISCRETE;
    i->discrete = frame_period(c.fps);
    return 0;
}

// G_PARM and S_PARM: the rate is fixed, a request for another gets it back.
int parm(const DeviceConfig &c, v4l2_streamparm *p)
{
    if (p->type != V4L2_BUF_TYPE_VIDEO_CAPTURE)
        return fail_errno(EINVAL);
    std::memset(&p->parm, 0, sizeof p->parm);
    p->parm.capture.capability = V4L2_CAP_TIMEPERFRAME;
    p->parm.capture.timeperframe = frame_period(c.fps);
    p->parm.capture.readbuffers = c.buffers;
    return 0;
}

} // namespace

int emu_ioctl(const std::shared_ptr<Handle> &h, unsigned long req, void *arg)
{
    if (std::find(std::begin(REQUESTS), std::end(REQUESTS), req) ==
        std::end(REQUESTS))
        return fail_errno(ENOTTY);
    if (!arg)
        return fail_errno(EFAULT);
    Device &d = *h->dev;
    std::unique_lock lk(d.mu);
    const DeviceConfig &c = d.cfg;
    if (h->dead == ENODEV)
        return fail_errno(ENODEV);
    switch (req) {
    case VIDIOC_QUERYCAP:
        return querycap(c, static_cast<v4l2_capability *>(arg));
    case VIDIOC_ENUMINPUT: {
        auto *in = static_cast<v4l2_input *>(arg);
        if (in->index != 0)
            return fail_errno(EINVAL);
        uint32_t index = in->index;
        std::memset(in, 0, sizeof *in);
        in->index = index;
        std::snprintf(reinterpret_cast<char *>(in->name), sizeof in->name,
                      "Camera");
        in->type = V4L2_INPUT_TYPE_CAMERA;
        in->status = c.nosignal ? V4L2_IN_ST_NO_SIGNAL : 0;
        return 0;
    }
    case VIDIOC_G_INPUT:
        *static_cast<int *>(arg) = 0;
        return 0;
    case VIDIOC_S_INPUT:
        return *static_cast<int *>(arg) == 0 ? 0 : fail_errno(EINVAL);
    case VIDIOC_ENUM_FMT:
        return enum_fmt(c, static_cast<v4l2_fmtdesc *>(arg));
    case VIDIOC_ENUM_FRAMESIZES:
        return enum_framesizes(c, static_cast<v4l2_frmsizeenum *>(arg));
    case VIDIOC_ENUM_FRAMEINTERVALS:
        return enum_frameintervals(c, static_cast<v4l2_frmivalenum *>(arg));
    case VIDIOC_G_FMT:
    case VIDIOC_TRY_FMT:
    case VIDIOC_S_FMT:
        return format(c, req, static_cast<v4l2_format *>(arg));
    case VIDIOC_G_PARM:
    case VIDIOC_S_PARM:
        return parm(c, static_cast<v4l2_streamparm *>(arg));
    default:
        // Streaming requests lock the device themselves: a dequeue waits
        // for a frame.
        lk.unlock();
        return emu_streaming_ioctl(h, req, arg);
    }
}

} // namespace fakecam
