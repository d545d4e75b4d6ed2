// What the web backend's start-up asks of its display.
#pragma once

// Puts every window drawn into since the last time on its canvas.
void web_paint_windows();
// Shows the last frames and tells the page that the program has ended with `exit_code`
// (Module.onProgramEnd, when the page has one); the windows stay on the page as they were.
void web_program_ended(int exit_code);
