// Signal plumbing of the program frame.
#pragma once

// Create the self-pipe and its watch on the default main context: 1 / 0.
int signals_pipe_open(void);
// The self-pipe's read end (-1 before signals_pipe_open), for waits that
// must also wake for a signal.
int signals_fd(void);
// Logs and acts on the signals noted so far, as the main loop would; 1 when
// a signal has asked the program to end (now or before).
int signals_dispatch(void);
// 1 when a reported signal has asked the program to end.
int signals_stop_requested(void);
// The event collector has been told the program ends: its clean exit from
// now on is reported as information, not as an error.
void signals_collector_farewell(void);
// Install sig_handler for signo (SA_SIGINFO, empty mask): 1 / 0.
int signals_install(int signo);
// Block SIGTERM and SIGQUIT: called first thing in main, so that a
// terminating signal sent during start-up waits for the handlers: 1 / 0.
int signals_block_terminating(void);
// A write to a pipe or socket whose reader is gone (a log reader that went
// away) fails with EPIPE instead of ending the process: 1 / 0.
int signals_survive_broken_pipes(void);
