// Text for the user on standard output: the usage line and the outcome lines of the
// administration commands.
#pragma once

// Formats as text_format.h does ("%s" wide) and writes the result to standard output in the
// console's output code page (the ANSI code page when there is no console), then flushes.
void printToStdout(const wchar_t* format, ...);
