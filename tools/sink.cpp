#include <cerrno>
#include <cstring>

#include "output.h"
#include "system.h"

static void fail_with_errno(Sink* sink, int error_number) {
    if (sink->failure.empty())
        sink->broken_pipe = is_broken_pipe(error_number);
    sink_fail(sink, strerror(error_number));
}

void sink_fail(Sink* sink, const std::string& reason) {
    if (sink->failure.empty())
        sink->failure = reason;
}

std::string sink_name(const Sink& sink) {
    return sink.path == "-" ? "standard output" : sink.path;
}

bool sink_open(Sink* sink, const std::string& path, FILE* out) {
    sink->path = path;
    if (path == "-") {
        sink->file = out;
        return true;
    }
    if (written_in_place(path)) {
        sink->file = open_in_place(path);
        sink->in_place = true;
    } else {
        sink->file = create_temporary(path, &sink->temporary);
        sink->seekable = sink->file != nullptr;
    }
    if (sink->file == nullptr) {
        fail_with_errno(sink, errno);
        return false;
    }
    // bigger writes for the encoders' small pieces
    setvbuf(sink->file, nullptr, _IOFBF, 1 << 16);
    return true;
}

bool sink_write(Sink* sink, const void* bytes, size_t size) {
    if (!sink->failure.empty())
        return false;
    if (fwrite(bytes, 1, size, sink->file) == size)
        return true;
    fail_with_errno(sink, errno);
    return false;
}

int64_t sink_seek(Sink* sink, int64_t offset, int whence) {
    if (!sink->seekable || !sink->failure.empty())
        return -1;
    if (fflush(sink->file) != 0 || fseeko(sink->file, offset, whence) != 0) {
        fail_with_errno(sink, errno);
        return -1;
    }
    return ftello(sink->file);
}

bool sink_close(Sink* sink) {
    if (sink->file == nullptr)
        return sink->failure.empty();
    // standard output is flushed but stays open; everything else is closed
    int result = sink->path == "-" ? fflush(sink->file) : fclose(sink->file);
    if (result != 0)
        fail_with_errno(sink, errno);
    sink->file = nullptr;
    return sink->failure.empty();
}

bool sink_settle(Sink* sink, bool keep) {
    if (sink->temporary.empty())
        return true;
    bool ok = true;
    if (keep && !replace_file(sink->temporary, sink->path)) {
        fail_with_errno(sink, errno);
        ok = false;
    }
    if (!keep || !ok)
        remove(sink->temporary.c_str());
    sink->temporary.clear();
    return ok;
}
