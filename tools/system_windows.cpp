#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <windows.h>

#include "system.h"

static volatile sig_atomic_t stop_signal = 0;

bool written_in_place(const std::string& path) {
    // devices (NUL, CON, COM1) and named pipes (\\.\pipe\NAME)
    if (path.rfind("\\\\.\\", 0) == 0)
        return true;
    struct _stat info;
    return _stat(path.c_str(), &info) == 0 && (info.st_mode & _S_IFCHR) != 0;
}

FILE* open_in_place(const std::string& path) {
    return fopen(path.c_str(), "ab");
}

FILE* create_temporary(const std::string& path, std::string* temporary) {
    std::string name = path + ".part";
    int fd = _open(name.c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY, _S_IREAD | _S_IWRITE);
    if (fd < 0)
        return nullptr;
    FILE* file = _fdopen(fd, "wb");
    if (file == nullptr) {
        _close(fd);
        remove(name.c_str());
        return nullptr;
    }
    *temporary = name;
    return file;
}

bool replace_file(const std::string& temporary, const std::string& path) {
    if (MoveFileExA(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING) != 0)
        return true;
    errno = EACCES;
    return false;
}

static void on_stop(int signal_number) {
    stop_signal = signal_number;
    signal(signal_number, on_stop);
}

void catch_stop_signals() {
    signal(SIGINT, on_stop);
    signal(SIGTERM, on_stop);
}

bool stop_requested() {
    return stop_signal != 0;
}

int end_as_signal(bool broken_pipe) {
    return broken_pipe ? 1 : 128 + SIGINT;
}

bool is_broken_pipe(int error_number) {
    return error_number == EPIPE;
}

bool stderr_is_terminal() {
    return _isatty(_fileno(stderr)) != 0;
}

void set_binary_stdout() {
    _setmode(_fileno(stdout), _O_BINARY);
}
