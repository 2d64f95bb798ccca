package com.quillwork.runtime.installer.platform.win32;

/**
 * The launcher tells this class whether the installer helper library's natives are usable:
 * true before it lets the library register them, false again when registering failed.
 * Installer code asks {@link #isLauncherNativesAvailable()} before calling them.
 */
public final class Common {
    private static volatile boolean launcherNatives;
    private static volatile int initCalls;

    private Common() {
    }

    public static synchronized void initFromLauncher(boolean nativesAvailable) {
        launcherNatives = nativesAvailable;
        initCalls++;
    }

    public static boolean isLauncherNativesAvailable() {
        return launcherNatives;
    }

    /** How often the launcher called {@link #initFromLauncher(boolean)}; 0 outside a launcher. */
    public static int getInitCalls() {
        return initCalls;
    }
}
