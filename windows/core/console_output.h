// Text for the user on standard output: the usage line and the outcome lines of the
// administration commands. Also where such texts, and fatal texts in console presentation,
// go when the launcher is a GUI-subsystem program (see console_output_rules.h).
#pragma once

#include "core/console_output_rules.h"

// Formats as text_format.h does ("%s" wide) and writes the result to standard output in the
// console's output code page (the ANSI code page when there is no console), then flushes.
// A GUI launcher with no standard output to write to, not even its parent's console,
// collects the text instead for showCollectedOutput.
void printToStdout(const wchar_t* format, ...);

// Shows what printToStdout collected, if anything, in one message box titled with message
// 1000; a failed command (`exitCode` 1) gets the error icon, others the information icon.
// Returns after the user closed the box, at once when nothing was collected.
void showCollectedOutput(int exitCode);

// Whether this executable's image is marked for the GUI subsystem (a packer's choice, read
// from the image's own headers at run time).
bool guiSubsystem();

// Where a fatal text in console presentation goes. A console launcher always answers
// TextRoute::StandardHandles; a GUI launcher first looks for its parent's console (once per
// process) and answers TextRoute::Box when nothing would receive the text.
TextRoute fatalTextRoute();
