#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "system.h"

static volatile sig_atomic_t stop_signal = 0;

bool written_in_place(const std::string& path) {
    // /dev/stdout may lead to a regular file (a redirection), which still must not be replaced
    if (path.rfind("/dev/", 0) == 0 || path.rfind("/proc/", 0) == 0)
        return true;
    struct stat info;
    return stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode) && !S_ISDIR(info.st_mode);
}

FILE* open_in_place(const std::string& path) {
    // a regular file behind /dev/stdout is added to, as the shell's redirection began it
    struct stat info;
    bool regular = stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
    int fd = open(path.c_str(), O_WRONLY | O_CLOEXEC | (regular ? O_APPEND : 0));
    if (fd < 0)
        return nullptr;
    FILE* file = fdopen(fd, regular ? "ab" : "wb");
    if (file == nullptr)
        close(fd);
    return file;
}

FILE* create_temporary(const std::string& path, std::string* temporary) {
    struct stat info;
    if (stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
        errno = EISDIR; // said now, not after the whole run when the rename would fail
        return nullptr;
    }
    size_t slash = path.rfind('/');
    std::string directory = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string name = directory + "." + base + ".XXXXXX";
    int fd = mkstemp(name.data());
    if (fd < 0)
        return nullptr;
    // mkstemp makes the file private; give it the mode a new file would have had
    fchmod(fd, static_cast<mode_t>(new_file_mode()));
    FILE* file = fdopen(fd, "wb");
    if (file == nullptr) {
        int saved = errno;
        close(fd);
        unlink(name.c_str());
        errno = saved;
        return nullptr;
    }
    *temporary = name;
    return file;
}

bool replace_file(const std::string& temporary, const std::string& path) {
    return rename(temporary.c_str(), path.c_str()) == 0;
}

static void on_stop(int signal_number) {
    stop_signal = signal_number;
}

void catch_stop_signals() {
    struct sigaction action = {};
    action.sa_handler = on_stop;
    sigemptyset(&action.sa_mask);
    // no SA_RESTART: a write blocked on a stalled pipe returns, and the run ends
    for (int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction before;
        // a signal ignored when the recorder started (nohup, a background job) stays ignored
        if (sigaction(signal_number, nullptr, &before) == 0 && before.sa_handler == SIG_IGN)
            continue;
        sigaction(signal_number, &action, nullptr);
    }
    signal(SIGPIPE, SIG_IGN);
    signal(SIGXFSZ, SIG_IGN);
}

bool stop_requested() {
    return stop_signal != 0;
}

int end_as_signal(bool broken_pipe) {
    int signal_number = broken_pipe ? SIGPIPE : stop_signal != 0 ? int{stop_signal} : SIGINT;
    fflush(stdout);
    signal(signal_number, SIG_DFL);
    raise(signal_number);
    return 128 + signal_number;
}

bool is_broken_pipe(int error_number) {
    return error_number == EPIPE;
}

void set_binary_stdout() {}
