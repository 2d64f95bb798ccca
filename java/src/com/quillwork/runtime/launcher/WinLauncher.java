package com.quillwork.runtime.launcher;

/**
 * The launcher class the quillwork packaging names. It takes the same arguments as
 * {@link com.ravel.runtime.WinLauncher} and behaves the same.
 */
public final class WinLauncher {
    private WinLauncher() {
    }

    public static void main(String[] args) throws Throwable {
        com.ravel.runtime.WinLauncher.main(args);
    }
}
