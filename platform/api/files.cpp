// The 16-bit-era file calls _lopen, _lread and _lclose over POSIX files. An HFILE is the file
// descriptor, accepted back only while it is in the table of files that _lopen opened, so a
// stray number never reads from or closes a descriptor that someone else owns.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform_internal.h"

constexpr int max_open_files = 32;

static int open_files[max_open_files]; // descriptors, 0 for a free slot (0 is stdin, never ours)

static int file_slot(HFILE file) {
    if (file <= 0)
        return -1;
    for (int slot = 0; slot < max_open_files; slot++)
        if (open_files[slot] == file)
            return slot;
    return -1;
}

HFILE _lopen(LPCSTR path, int mode) {
    if (path == nullptr)
        return HFILE_ERROR;
    int access = mode & 3;
    if (access == 3)
        return HFILE_ERROR;
    int flags = access == OF_WRITE ? O_WRONLY : access == OF_READWRITE ? O_RDWR : O_RDONLY;
    if ((mode & ~3) != 0)
        say_once(notice_file_share_mode);
    int slot = -1;
    for (int i = 0; i < max_open_files && slot < 0; i++)
        if (open_files[i] == 0)
            slot = i;
    if (slot < 0) {
        say_once(notice_too_many_files);
        return HFILE_ERROR;
    }
    int fd = open(path, flags | O_CLOEXEC);
    if (fd < 0)
        return HFILE_ERROR;
    // Windows refuses to open a directory as a file.
    struct stat info;
    if (fstat(fd, &info) != 0 || S_ISDIR(info.st_mode) || fd == 0) {
        close(fd);
        return HFILE_ERROR;
    }
    open_files[slot] = fd;
    return fd;
}

UINT _lread(HFILE file, LPVOID buffer, UINT count) {
    if (file_slot(file) < 0 || (buffer == nullptr && count > 0))
        return static_cast<UINT>(HFILE_ERROR);
    // A read may return less than asked before the end of the file; keep reading until the
    // count is met or the file ends, as the Windows call does.
    UINT done = 0;
    while (done < count) {
        ssize_t got = read(file, static_cast<char*>(buffer) + done, count - done);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return done > 0 ? done : static_cast<UINT>(HFILE_ERROR);
        if (got == 0)
            break;
        done += static_cast<UINT>(got);
    }
    return done;
}

HFILE _lclose(HFILE file) {
    int slot = file_slot(file);
    if (slot < 0)
        return HFILE_ERROR;
    open_files[slot] = 0;
    return close(file) == 0 ? 0 : HFILE_ERROR;
}
