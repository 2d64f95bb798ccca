// The transcript of the stand-in VM: one record per event (standin.h describes the line
// format), appended to the transcript file chosen at creation or, without one, to the
// runtime's record file. Every record is one write, so records of several threads never
// mix within a line.
#pragma once

#include <string>

#include "standin.h"
#include "world.h"

namespace standin {

// Set by JNI_CreateJavaVM before the VM can be reached by any other thread; empty means the
// runtime's record file.
extern std::wstring transcriptPath;

void writeTranscript(const Record& record);

// Adds a Java value under `key` (call under the VM lock):
//   key.type = boolean | byte | char | short | int | long | float | double | null | string |
//              array | class | object
//   key      = the value: true/false, a decimal number, the string's text (exact UTF-8), the
//              class name of a class object or of any other object
//   arrays:   key.class (the array class), key.length, and key[i] for each element, added
//             the same way (so key[i].type tells a null element from a string)
void addValue(Record& record, const std::string& key, const Value& value);

// Adds thread=<Windows thread id> and, for an attached thread, threadName.
void addThread(Record& record, const ThreadState* thread);

}  // namespace standin
