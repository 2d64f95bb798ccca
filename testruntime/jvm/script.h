// Reads a world script into the VM's class table (see testruntime/README.md for the format).
// The script edits the default world: it opens classes (new or existing), adds or replaces
// methods and gives them actions, and removes classes or methods.
#pragma once

#include <string>
#include <string_view>

namespace standin {

struct ScriptError {
    int line = 0;  // 1-based; 0 when the fault is not tied to a line
    std::string message;
};

// Applies the script text (UTF-8) to vmState's classes, which must hold the default world.
// Returns false at the first fault, leaving the world partly edited (creation then fails).
bool applyScript(std::string_view text, ScriptError& error);

}  // namespace standin
