// Process-wide flags of the program's run.
#pragma once

/// Set when the show must end (window closed, Escape, end of the music); never cleared.
extern bool g_quit;
/// On when the program was started with "-transport": the operator may pause, scrub and restart.
extern bool g_transportMode;
