// The benchmarks' entry. The window benchmark needs SDL's headless video driver unless the caller
// chose another; the programs' caption is needed by the shell's window code.
#include <cstdlib>

#include <benchmark/benchmark.h>

#include "shell.h"

const char* const app_title = "Sorvel bench";

int main(int argc, char** argv) {
    setenv("SDL_VIDEODRIVER", "dummy", 0);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
