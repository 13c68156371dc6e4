// Hand-over of remote-control requests from the server thread to the main
// thread: a cap on requests in flight, and a wake-up of the main loop.
#include <SDL/SDL.h>
#include <glib.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

#include "globals.h"
#include "rctrl.h"
#include "rctrl/rctrl_private.h"

namespace rctrl_handover {

namespace {

std::mutex lock;
std::condition_variable place_freed;
std::atomic<int> in_flight{0};
bool accepting = false; // under lock

// Main thread only.
GSource *wake = nullptr;
uint64_t n_executed = 0, n_refused = 0;
int early = 0; // executed by the wake-up, not counted by the tick yet

bool pending() { return in_flight.load(std::memory_order_acquire) > 0; }

gboolean wake_prepare(GSource *, gint *timeout)
{
    *timeout = -1;
    return pending();
}

gboolean wake_check(GSource *) { return pending(); }

// Executes the queued requests now, leaving every other event for the
// frame tick.  Drawing they do reaches the screen with the tick's flip.
gboolean wake_dispatch(GSource *, GSourceFunc, gpointer)
{
    g_monotime_microsec = g_get_monotonic_time();
    // At most what can be in flight, then back to the loop: requests that
    // keep coming must not hold the frame tick off.
    SDL_Event ev;
    for (int n = 0; n < max_in_flight && !quit &&
                    SDL_PeepEvents(&ev, 1, SDL_GETEVENT, SDL_EVENTMASK(SDL_USEREVENT)) == 1;
         n++) {
        get_rctrl_evt_sync(uint32_t(ev.user.code), ev.user.data1, ev.user.data2);
        early++;
    }
    // A request that failed fatally (a fullscreen view that cannot be laid
    // out) ends the program here as it would in the tick: the tick's event
    // drain would take the quit back when events are waiting.
    if (quit && main_loop)
        g_main_loop_quit(main_loop);
    // A count without its event (the push is on its way) clears itself
    // when the event is executed; nothing to do until then.
    return G_SOURCE_CONTINUE;
}

GSourceFuncs wake_funcs = {
    .prepare = wake_prepare,
    .check = wake_check,
    .dispatch = wake_dispatch,
    .finalize = nullptr,
    .closure_callback = nullptr,
    .closure_marshal = nullptr,
};

} // namespace

bool reserve()
{
    std::unique_lock<std::mutex> l(lock);
    const bool free = place_freed.wait_for(l, std::chrono::seconds(2), [] {
        return !accepting || in_flight.load() < max_in_flight;
    });
    if (!free || !accepting)
        return false;
    in_flight++;
    return true;
}

void cancel()
{
    {
        std::lock_guard<std::mutex> l(lock);
        in_flight--;
    }
    place_freed.notify_one();
}

void queued() { g_main_context_wakeup(g_main_context_default()); }

void done(bool refused)
{
    n_executed++;
    n_refused += refused;
    {
        std::lock_guard<std::mutex> l(lock);
        // Events posted through post_event reach the executor too, without
        // a place of their own.
        if (in_flight > 0)
            in_flight--;
    }
    place_freed.notify_one();
}

void open()
{
    {
        std::lock_guard<std::mutex> l(lock);
        accepting = true;
    }
    if (!wake) {
        wake = g_source_new(&wake_funcs, sizeof(GSource));
        g_source_attach(wake, g_main_context_default());
    }
}

void close()
{
    {
        std::lock_guard<std::mutex> l(lock);
        accepting = false;
    }
    place_freed.notify_all();
    if (wake) {
        g_source_destroy(wake);
        g_source_unref(wake);
        wake = nullptr;
    }
}

uint64_t executed() { return n_executed; }
uint64_t refused() { return n_refused; }

int take_early()
{
    const int n = early;
    early = 0;
    return n;
}

} // namespace rctrl_handover
