// The terminal and the file mode from the C library, on Linux and other POSIX systems.
#include <sys/stat.h>
#include <unistd.h>

#include "system.h"

bool stderr_is_terminal() {
    return isatty(STDERR_FILENO) != 0;
}

int new_file_mode() {
    mode_t mask = umask(0);
    umask(mask);
    return static_cast<int>(0666 & ~mask);
}
