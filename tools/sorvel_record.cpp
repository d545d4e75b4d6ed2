// sorvel-record: renders sorvel or sorvel2 without a window and writes what it would show.
//   sorvel-record PROGRAM --frames N [--keys LIST] [--crc] [--raw FILE] [--gif FILE] [--png FILE
//                 [--at K]] [--video FILE [--crf Q]] [--fps F] [--scale N] [--quiet] [--time]
#include "recorder.h"
#include "system.h"

int main(int argc, char** argv) {
    RecordOptions options;
    if (int code = parse_record_options(argc, argv, &options);
        code != 0 || options.program == nullptr)
        return code;
    set_binary_stdout(); // raw frames on standard output keep every byte
    return record(options, stdout);
}
