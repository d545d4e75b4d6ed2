// The terminal and the file mode asked of Node.js, which runs the web build's recorder: there the
// C library takes every standard stream for a terminal and knows no umask of the real process.
#include <emscripten.h>

#include "system.h"

bool stderr_is_terminal() {
    return EM_ASM_INT({ return process.stderr.isTTY ? 1 : 0; }) != 0;
}

int new_file_mode() {
    return EM_ASM_INT({ return 0o666 & ~process.umask(); });
}
