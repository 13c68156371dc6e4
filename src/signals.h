// Signal plumbing of the program frame.
#pragma once

// Create the self-pipe and its watch on the default main context: 1 / 0.
int signals_pipe_open(void);
// Install sig_handler for signo (SA_SIGINFO, empty mask): 1 / 0.
int signals_install(int signo);
