// A descriptor's queue of filled frame buffers.
#include "fakecam.h"

#include <algorithm>

namespace fakecam {

size_t FrameQueue::set_depth(unsigned depth, size_t frame_bytes)
{
    depth = std::clamp(depth, 1u, MAX_BUFFERS);
    size_t keep = std::min<size_t>(count_, depth);
    size_t dropped = count_ - keep;
    std::vector<Slot> next(depth);
    // The newest frames move first; the buffers of the others are reused
    // as spare slots, so a change of depth allocates only what it adds.
    const size_t old = slots_.size();
    for (size_t i = 0; i < keep; ++i)
        next[i] = std::move(slots_[(head_ + dropped + i) % old]);
    size_t spare = keep;
    for (size_t i = 0; i < old - keep && spare < depth; ++i)
        next[spare++] = std::move(slots_[(head_ + count_ + i) % old]);
    for (size_t i = spare; i < depth; ++i)
        next[i].data.reserve(frame_bytes);
    // Buffers left in slots_ (the queue shrank) are freed here.
    slots_ = std::move(next);
    head_ = 0;
    count_ = keep;
    return dropped;
}

bool FrameQueue::push(std::vector<uint8_t> &frame, bool take, uint32_t seq,
                      int64_t ready_us)
{
    if (slots_.empty())
        set_depth(1, frame.size());
    bool full = count_ == slots_.size();
    if (full) {
        head_ = (head_ + 1) % slots_.size();
        --count_;
    }
    Slot &s = slots_[(head_ + count_) % slots_.size()];
    if (take)
        s.data.swap(frame);
    else
        s.data.assign(frame.begin(), frame.end());
    s.seq = seq;
    s.ready_us = ready_us;
    ++count_;
    return full;
}

void FrameQueue::pop()
{
    if (count_ == 0)
        return;
    head_ = (head_ + 1) % slots_.size();
    --count_;
}

} // namespace fakecam
