// Assembly of the JVM option list for this process: jvm_arguments_win.cpp gives the portable
// assembly of jvm_arguments_rules.h the launcher's state, paths, environment and VM-options
// files, and fills the record the JVM is created with.
#pragma once

#include "JavaVMLauncher/java_vm_launcher_rules.h"
#include "core/command_line.h"
#include "launch/jvm_arguments_rules.h"

#include <string>
#include <vector>

// The assembly with the process's own sources and state. A missing required entry ends the
// process with its message.
void buildJvmArguments(JvmArguments& arguments, const std::vector<std::string>& launcherProperties,
                       const ArgumentList& args);
