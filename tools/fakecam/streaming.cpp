// Memory-mapped streaming: VIDIOC_REQBUFS, QUERYBUF, QBUF, DQBUF, STREAMON,
// STREAMOFF and mmap() of the buffers.  The program queues empty buffers;
// a dequeue takes the descriptor's oldest frame the way read() does (same
// waiting, same queue) and copies it into the first buffer queued.
#include "fakecam.h"

#include <linux/videodev2.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace fakecam {

namespace {

int fail_errno(int e)
{
    errno = e;
    return -1;
}

void describe(const MappedBuffers &b, unsigned index, v4l2_buffer *vb)
{
    std::memset(vb, 0, sizeof *vb);
    vb->index = index;
    vb->type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    vb->memory = V4L2_MEMORY_MMAP;
    vb->m.offset = uint32_t(index * b.stride);
    vb->length = uint32_t(b.length);
    vb->field = V4L2_FIELD_NONE;
    vb->flags = V4L2_BUF_FLAG_MAPPED | V4L2_BUF_FLAG_TIMESTAMP_MONOTONIC |
                (b.queued[index] ? V4L2_BUF_FLAG_QUEUED : 0);
}

std::shared_ptr<MappedBuffers> make_buffers(const DeviceConfig &c,
                                            unsigned count)
{
    auto b = std::make_shared<MappedBuffers>();
    const size_t page = size_t(sysconf(_SC_PAGESIZE));
    b->length = geometry(c.fmt, c.width, c.height).sizeimage;
    b->stride = (b->length + page - 1) / page * page;
    b->count = count;
    b->queued.assign(count, false);
    b->memfd = memfd_create("fakecam-buffers", MFD_CLOEXEC);
    if (b->memfd < 0 || ftruncate(b->memfd, off_t(b->stride * count)) != 0)
        return nullptr;
    void *m = real::mmap(nullptr, b->stride * count, PROT_READ | PROT_WRITE,
                         MAP_SHARED, b->memfd, 0);
    if (m == MAP_FAILED)
        return nullptr;
    b->mem = static_cast<uint8_t *>(m);
    return b;
}

int dequeue(const std::shared_ptr<Handle> &h, v4l2_buffer *vb)
{
    Device &d = *h->dev;
    std::shared_ptr<MappedBuffers> b;
    unsigned index;
    {
        std::lock_guard lk(d.mu);
        b = h->mapped;
        if (!b || !b->streaming)
            return fail_errno(EINVAL);
        if (b->order.empty())
            return fail_errno(EAGAIN); // every buffer is with the program
        index = b->order.front();
    }
    uint32_t seq = 0;
    int64_t ready_us = 0;
    ssize_t n = emu_read(h, b->mem + index * b->stride, b->length, &seq,
                         &ready_us);
    if (n < 0)
        return -1;
    std::lock_guard lk(d.mu);
    // A STREAMOFF meanwhile returned the buffer: the frame is dropped.
    if (h->mapped != b || b->order.empty() || b->order.front() != index)
        return fail_errno(EAGAIN);
    b->order.pop_front();
    b->queued[index] = false;
    describe(*b, index, vb);
    vb->bytesused = uint32_t(n);
    vb->flags |= V4L2_BUF_FLAG_DONE;
    vb->sequence = seq;
    vb->timestamp = {time_t(ready_us / 1'000'000),
                     suseconds_t(ready_us % 1'000'000)};
    return 0;
}

} // namespace

MappedBuffers::~MappedBuffers()
{
    if (mem)
        munmap(mem, stride * count);
    if (memfd >= 0)
        real::close(memfd);
}

int emu_streaming_ioctl(const std::shared_ptr<Handle> &h, unsigned long req,
                        void *arg)
{
    if (req == VIDIOC_DQBUF) {
        auto *vb = static_cast<v4l2_buffer *>(arg);
        if (vb->type != V4L2_BUF_TYPE_VIDEO_CAPTURE ||
            vb->memory != V4L2_MEMORY_MMAP)
            return fail_errno(EINVAL);
        return dequeue(h, vb);
    }
    Device &d = *h->dev;
    std::lock_guard lk(d.mu);
    MappedBuffers *b = h->mapped.get();
    switch (req) {
    case VIDIOC_REQBUFS: {
        auto *rb = static_cast<v4l2_requestbuffers *>(arg);
        if (rb->type != V4L2_BUF_TYPE_VIDEO_CAPTURE ||
            rb->memory != V4L2_MEMORY_MMAP || d.cfg.fail == Fail::noio)
            return fail_errno(EINVAL);
        if (b && b->streaming)
            return fail_errno(EBUSY);
        rb->capabilities = V4L2_BUF_CAP_SUPPORTS_MMAP;
        std::memset(rb->reserved, 0, sizeof rb->reserved);
        h->mapped.reset();
        if (rb->count == 0)
            return 0;
        rb->count = std::clamp(rb->count, 2u, MAX_BUFFERS);
        h->mapped = make_buffers(d.cfg, rb->count);
        return h->mapped ? 0 : fail_errno(ENOMEM);
    }
    case VIDIOC_QUERYBUF:
    case VIDIOC_QBUF: {
        auto *vb = static_cast<v4l2_buffer *>(arg);
        if (!b || vb->type != V4L2_BUF_TYPE_VIDEO_CAPTURE ||
            vb->index >= b->count ||
            (req == VIDIOC_QBUF &&
             (vb->memory != V4L2_MEMORY_MMAP || b->queued[vb->index])))
            return fail_errno(EINVAL);
        if (req == VIDIOC_QBUF) {
            b->queued[vb->index] = true;
            b->order.push_back(vb->index);
        }
        describe(*b, vb->index, vb);
        return 0;
    }
    case VIDIOC_STREAMON:
    case VIDIOC_STREAMOFF:
        if (!b || *static_cast<int *>(arg) != V4L2_BUF_TYPE_VIDEO_CAPTURE)
            return fail_errno(EINVAL);
        b->streaming = req == VIDIOC_STREAMON;
        if (!b->streaming) {
            b->queued.assign(b->count, false);
            b->order.clear();
        }
        return 0;
    default:
        return fail_errno(ENOTTY);
    }
}

void *emu_mmap(const std::shared_ptr<Handle> &h, void *addr, size_t len,
               int prot, int flags, off_t offset)
{
    std::lock_guard lk(h->dev->mu);
    const MappedBuffers *b = h->mapped.get();
    if (!b || offset < 0 || size_t(offset) % b->stride != 0 ||
        size_t(offset) / b->stride >= b->count || len == 0 || len > b->stride) {
        errno = EINVAL;
        return MAP_FAILED;
    }
    return real::mmap(addr, len, prot, flags, b->memfd, offset);
}

} // namespace fakecam
