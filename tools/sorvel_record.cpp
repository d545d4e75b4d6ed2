// sorvel-record: renders sorvel or sorvel2 without a window and writes what it would show.
//   sorvel-record PROGRAM --frames N [--keys LIST] [--crc] [--raw FILE] [--gif FILE [--fps F]]
//                 [--png FILE [--at K]] [--time]
#include <cstdio>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include "recorder.h"

int main(int argc, char** argv) {
    RecordOptions options;
    if (int code = parse_record_options(argc, argv, &options);
        code != 0 || options.program == nullptr)
        return code;
#ifdef _WIN32
    // raw frames on standard output must not have their line ends translated
    if (options.raw_path == "-")
        _setmode(_fileno(stdout), _O_BINARY);
#endif
    return record(options, stdout);
}
