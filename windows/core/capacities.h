// The few fixed sizes of the launcher's buffers, each named once. Every fixed buffer takes its
// size from one of these, directly or through a local name that says what that buffer holds,
// so buffers that exchange texts cannot drift apart in size. A capacity counts characters (bytes
// for 8-bit text and raw data) with the terminator included; what happens to a value that does
// not fit, cut and logged or refused, is decided where the buffer is filled, not here.
#pragma once

#include <cstddef>

// A path, a setting value, or a text composed from them: a message shown to the user, a
// semaphore or registry name, the room an expansion may add to a text. Raw data that is only
// passed through (an included file being copied, a child's output being drained, a service's
// configuration record) goes through chunks of this size as well.
constexpr size_t kPathCapacity = 6000;

// A short text: a Java version, a splash text, the configured application arguments.
constexpr size_t kShortTextCapacity = 2000;

// The application root directory as the JVM thread reads it to find the helper library.
constexpr size_t kRootDirectoryCapacity = 4000;

// A text that holds several paths and more: the work area in which a message's "{0}" is
// replaced, and the command line of the service's child process.
constexpr size_t kLongTextCapacity = 12000;

// One line of a VM-options file, as read from the file and as widened for expansion.
constexpr size_t kVmOptionsLineCapacity = 30000;
