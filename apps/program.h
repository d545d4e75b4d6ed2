// What each program names: its effect record. apps/program.cpp forwards the shell's effect
// interface to it and holds the Windows entry, so the two programs differ only in their record
// and caption.
#pragma once

#include "effect.h"

extern const Effect& program_effect;
