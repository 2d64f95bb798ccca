// The Win32 side of the native window border: the per-window record, the process-wide
// support state, and the operations the exported functions and the subclass window
// procedure share. Only Win32 sources include this header.
#pragma once

#include "core/platform.h"

#include <jni.h>

#include <cstddef>
#include <cstdint>

// One subclassed frame. Created by installImpl, freed by uninstallImpl or by the window's
// destruction. Used without a lock: the window procedure runs on the window's thread, and
// the Java side installs and uninstalls a frame while its window is alive.
struct NativeWndProc {
    JavaVM* vm;
    // Environment of the window's thread, asked from `vm` the first time a message needs
    // Java; null until then, and null for good when that thread is not attached to the VM.
    JNIEnv* env;
    jobject wndProc;  // global reference to the Java WndProc object
    HWND hwnd;
    WNDPROC previousProc;
    // -1 or the size-message kind that replaces the system's while updateFrame runs.
    int32_t sizeMessageOverride;
    HBRUSH background;
};

// Initialisation state of the support: not tried, failed (also while trying), ready.
constexpr int kBorderNotTried = 0;
constexpr int kBorderFailed = -1;
constexpr int kBorderReady = 1;
int borderSupportState();
// Resolves the system entry points and the Java callbacks once, from the class of `object`.
void initBorderSupport(JNIEnv* env, jobject object);

// The window map, each operation under the map's lock. Before the map exists (no
// successful install yet) it holds nothing and refuses puts.
void createWindowMap();
NativeWndProc* findBorderRecord(HWND hwnd);
// Adds the record of a window that has none; false when it has one or memory ran out.
bool addBorderRecord(HWND hwnd, NativeWndProc* record);
// Removes the record of `hwnd` from the map and hands it over: whoever takes a record frees
// it, so a window destroyed while its frame is uninstalled is released exactly once.
NativeWndProc* takeBorderRecord(HWND hwnd);
size_t borderRecordCount();

// The record's cached environment, asked from its VM for the current thread when missing.
JNIEnv* recordEnv(NativeWndProc* record);

// Calls into the Java WndProc object. Without an environment they answer as if Java had
// not been asked: the fallback hit test, not full screen, no notification.
int javaHitTest(NativeWndProc* record, int x, int y, bool onResizeBorder);
bool javaIsFullscreen(NativeWndProc* record);
void javaFireStateChanged(NativeWndProc* record);

// Brushes through the entry points resolved at initialisation.
HBRUSH createBackgroundBrush(COLORREF colour);
void deleteBackgroundBrush(HBRUSH brush);

int resizeHandleHeight(const NativeWndProc* record);
bool taskbarAutoHides();
bool hasAutoHideTaskbar(UINT edge, const RECT& monitorRect);
LPARAM toWindowCoordinates(HWND hwnd, LPARAM lParam);
void openSystemMenu(HWND hwnd, int x, int y);
void setMenuItemEnabled(HMENU menu, UINT command, bool enabled);

LRESULT CALLBACK borderWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

// The window handle in a Java long: its low 32 bits, sign-extended as Windows extends
// handles in 64-bit processes.
HWND windowFromJava(jlong value);
