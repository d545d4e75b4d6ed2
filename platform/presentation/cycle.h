// --cycle: the platform presses Space for the program every N seconds, so that a screen saver or a
// shop window shows each of its pictures in turn (every warp of sorvel2, every colour scheme of
// sorvel) with nobody at the keyboard. The timing is backend-neutral and keeps to the pace's clock
// (pace_clock_us, which the tests set); each backend asks cycle_due from its pump of the input and
// posts the key press and release itself. Presses fall on a steady grid, one period apart; after
// a stall (a suspended machine) the next comes a whole period later, never as a burst. While the
// frames are paused the time stands still too.
#pragma once

// Space every `seconds` seconds from the first cycle_due on; 0 never. Forgets the grid.
void cycle_configure(int seconds);
// True when a press is due now: the caller presses Space once. Called on every pump of the input.
bool cycle_due();
