// Internals of the remote control shared by its files (and its tests).
#pragma once

#include <stdint.h>
#include <sys/socket.h>

#include <microhttpd.h>

#include <memory>
#include <string>
#include <string_view>

// The server's callbacks; cls is the CONF record.  Server thread.
extern "C" enum MHD_Result on_rcontrol_accept(void *cls, const struct sockaddr *addr,
                                              socklen_t addrlen);
extern "C" enum MHD_Result on_rcontrol_req(void *cls, struct MHD_Connection *connection,
                                           const char *url, const char *method,
                                           const char *version, const char *upload_data,
                                           size_t *upload_data_size, void **state);

// Hand-over of requests between the server thread and the main thread.
//
// The SDL 1.2 event queue holds 127 events and drops what does not fit,
// keys and clicks included.  Requests in flight (queued, not yet executed)
// are therefore capped below that, and the main thread is woken as soon as
// one is queued instead of at its next frame tick, so a burst drains at the
// speed of execution.
namespace rctrl_handover {

constexpr int max_in_flight = 64; // of the queue's 127 places

// Server thread: a place for one request.  Waits while the cap is reached
// (the main thread is executing; a switch of layout takes a while), at most
// about two seconds; false when no place came free or the server stops.
bool reserve();
// Server thread: the reserved place was not used (the push failed).
void cancel();
// Server thread: a request was queued; wake the main thread.
void queued();
// Main thread: one request executed (refused: status 400).
void done(bool refused);
// Main thread: attach the wake-up to the main loop / detach it, failing
// every later reserve().
void open();
void close();
// Main thread: requests executed so far, and refused among them.
uint64_t executed();
uint64_t refused();
// Main thread: executed outside poll_events since the last call.
int take_early();

} // namespace rctrl_handover

// The status document: built by the main thread, read by the server.
namespace rctrl_status {

// Main thread: rebuild and publish when what it shows changed (always when
// force).
void publish(bool force);
// Any thread: the document last published (null before the first).
std::shared_ptr<const std::string> current();
// Drops the document.
void clear();
// Appends s as a JSON string: quotes, escapes, and U+FFFD for every byte
// that is not part of valid UTF-8 (names cut in the middle of a character).
void append_json_string(std::string &out, std::string_view s);

} // namespace rctrl_status
