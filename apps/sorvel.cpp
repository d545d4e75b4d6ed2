// sorvel: the fireworks shown directly, recoloured by six palette schemes.
#include "palette_demo.h"
#include "program.h"
#include "shell.h"

const char* const app_title = "Sorvel";
const Effect& program_effect = palette_demo::effect;
