// How fatal messages reach the user. Starts as message boxes; readConfiguration switches to
// console output, once, unless the application kind asks for message boxes.
#pragma once

extern bool consolePresentation;
