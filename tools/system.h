// What the recorder needs of the operating system, one file per system (system_posix.cpp,
// system_windows.cpp, with host_posix.cpp or host_node.cpp), chosen by tools/CMakeLists.txt: which
// paths are written in place, files written under a temporary name and put into place, the signals
// that end a run, and whether standard error is a terminal.
#pragma once

#include <cstdio>
#include <string>

// True when path names something written where it is rather than replaced by a new file: a
// named pipe, a device, or a path of the system's own (/dev/stdout).
bool written_in_place(const std::string& path);

// Opens path as it is, for writing (appending where that means anything). Null, errno set, on
// failure.
FILE* open_in_place(const std::string& path);

// Creates a new file beside path, to be renamed into place at the end, readable as a new file
// would be. Sets *temporary to its name. Null, errno set, on failure.
FILE* create_temporary(const std::string& path, std::string* temporary);

// Gives temporary the name path, replacing what was there. False, errno set, on failure.
bool replace_file(const std::string& temporary, const std::string& path);

// From now on Ctrl+C and the other stop signals only set stop_requested; a write to a pipe
// whose reader went away, or past the file size limit, fails (EPIPE, EFBIG) instead of ending
// the process, so that the recorder can clean up first.
void catch_stop_signals();
bool stop_requested();

// Ends the process as the signal would have (Ctrl+C: the interrupt; a broken pipe: SIGPIPE),
// after the recorder has cleaned up. Returns the exit code to use where it cannot.
int end_as_signal(bool broken_pipe);

// True if errno means the reader of a pipe went away.
bool is_broken_pipe(int error_number);

bool stderr_is_terminal();

// The permission bits a new file gets on a POSIX system: 0666 less the process's umask. With
// stderr_is_terminal, the one thing Node.js (the web build) answers apart from the C library.
int new_file_mode();

// Standard output carries bytes exactly (no line-end translation).
void set_binary_stdout();
