#include <cerrno>
#include <cstring>

#include "output.h"

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
    sink->temporary = path + ".part";
    sink->file = fopen(sink->temporary.c_str(), "wb");
    if (sink->file == nullptr) {
        sink_fail(sink, strerror(errno));
        sink->temporary.clear();
        return false;
    }
    return true;
}

bool sink_write(Sink* sink, const void* bytes, size_t size) {
    if (fwrite(bytes, 1, size, sink->file) == size)
        return true;
    sink_fail(sink, strerror(errno));
    return false;
}

bool sink_close(Sink* sink) {
    if (sink->file == nullptr)
        return sink->failure.empty();
    // standard output is flushed but stays open; everything else is closed
    int result = sink->temporary.empty() ? fflush(sink->file) : fclose(sink->file);
    if (result != 0)
        sink_fail(sink, strerror(errno));
    sink->file = nullptr;
    return sink->failure.empty();
}

bool sink_settle(Sink* sink, bool keep) {
    if (sink->temporary.empty())
        return true;
    bool ok = true;
    if (keep) {
        remove(sink->path.c_str()); // rename does not replace a file on Windows
        if (rename(sink->temporary.c_str(), sink->path.c_str()) != 0) {
            sink_fail(sink, strerror(errno));
            ok = false;
        }
    }
    if (!keep || !ok)
        remove(sink->temporary.c_str());
    sink->temporary.clear();
    return ok;
}
