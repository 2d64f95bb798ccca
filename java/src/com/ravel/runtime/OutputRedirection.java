package com.ravel.runtime;

import java.io.BufferedOutputStream;
import java.io.File;
import java.io.FileOutputStream;
import java.io.IOException;
import java.io.PrintStream;

/**
 * Sends the application's standard error and standard output to the files the launcher
 * names. A path that cannot be used leaves that stream as it was, with a note on the
 * original standard error: the application still runs, only its output stays where it was.
 */
final class OutputRedirection {
    /** Set to any value to keep both streams where they are ("/run" sets it). */
    static final String NO_REDIRECT_PROPERTY = "quillwork.noRedir";

    private OutputRedirection() {
    }

    static void apply(LaunchArguments arguments) {
        if (System.getProperty(NO_REDIRECT_PROPERTY) != null) return;
        PrintStream originalError = System.err;
        PrintStream error = open(arguments.errorPath, arguments.appendRedirected, originalError);
        PrintStream output = open(arguments.outputPath, arguments.appendRedirected, originalError);
        if (error == null && output == null) return;
        if (error != null) System.setErr(error);
        if (output != null) System.setOut(output);
        flushAtExit(error, output);
    }

    /**
     * Null when there is nothing to redirect or the file cannot be opened. A path that still
     * begins with "$" is a placeholder the launcher could not resolve, not a file name.
     */
    private static PrintStream open(String path, boolean append, PrintStream complaints) {
        if (path.isEmpty()) return null;
        if (path.startsWith("$")) {
            complaints.println("ravel: output not redirected: unresolved path " + path);
            return null;
        }
        File file = new File(path);
        File parent = file.getAbsoluteFile().getParentFile();
        if (parent != null && !parent.isDirectory() && !parent.mkdirs() && !parent.isDirectory()) {
            complaints.println("ravel: output not redirected: cannot create folder " + parent);
            return null;
        }
        try {
            return new PrintStream(new BufferedOutputStream(new FileOutputStream(file, append)), true);
        } catch (IOException e) {
            complaints.println("ravel: output not redirected: " + e.getMessage());
            return null;
        }
    }

    /**
     * Auto-flush only acts on line ends; a last line without one would be lost when the
     * process ends, so the streams are flushed once more as it ends. They stay open: other
     * shutdown hooks may still print.
     */
    private static void flushAtExit(final PrintStream error, final PrintStream output) {
        Runtime.getRuntime().addShutdownHook(new Thread("ravel-flush-output") {
            @Override
            public void run() {
                if (output != null) output.flush();
                if (error != null) error.flush();
            }
        });
    }
}
