// sorvel2: the fireworks seen through the polar, swirl and ripple warps.
#include "program.h"
#include "shell.h"
#include "warp.h"

const char* const app_title = "Sorvel2";
const Effect& program_effect = warp::effect;
