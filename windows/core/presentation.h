// How fatal messages reach the user. Starts as message boxes, so that a missing or damaged
// data block is always reported in a box; readConfiguration switches to console output,
// once, on the main thread, unless the application kind (setting 107) is 1 or 5. Read by
// showMessage on whichever thread fails.
#pragma once

extern bool consolePresentation;
