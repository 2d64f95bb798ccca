package com.ravel.runtime;

import java.util.Arrays;
import java.util.Collections;
import java.util.List;

/**
 * The argument array the native launcher hands to {@link WinLauncher#main}: five leading
 * values describing the application, then the launcher's first argument (its own path for a
 * foreground run, the service name in a service), then the application's arguments.
 */
final class LaunchArguments {
    static final int LEADING_COUNT = 5;

    final boolean windowed;
    /** The main class, or "/module/class" (also "/module") in module mode. */
    final String mainClass;
    /** Standard error goes to this file when not empty. */
    final String errorPath;
    /** Standard output goes to this file when not empty. */
    final String outputPath;
    /** Redirected output is added to the end of existing files instead of replacing them. */
    final boolean appendRedirected;
    /** Null when the launcher passed no first argument. */
    final String launcherArgument;
    final List<String> applicationArguments;

    private LaunchArguments(String[] args) {
        windowed = Boolean.parseBoolean(args[0]);
        mainClass = args[1];
        errorPath = args[2];
        outputPath = args[3];
        appendRedirected = Boolean.parseBoolean(args[4]);
        launcherArgument = args.length > LEADING_COUNT ? args[LEADING_COUNT] : null;
        applicationArguments = args.length > LEADING_COUNT + 1
                ? Collections.unmodifiableList(Arrays.asList(Arrays.copyOfRange(args, LEADING_COUNT + 1, args.length)))
                : Collections.<String>emptyList();
    }

    /**
     * Refuses an array the launcher cannot have produced: too short, or with a missing
     * (null) element, since every leading value is always present, if only as "".
     */
    static LaunchArguments parse(String[] args) {
        if (args == null || args.length < LEADING_COUNT) {
            throw new IllegalArgumentException("the launcher passed " + (args == null ? 0 : args.length)
                    + " arguments; at least " + LEADING_COUNT + " are expected");
        }
        for (int i = 0; i < args.length; i++) {
            if (args[i] == null) throw new IllegalArgumentException("launcher argument " + i + " is null");
        }
        if (args[1].isEmpty() || "/".equals(args[1])) {
            throw new IllegalArgumentException("the launcher passed no main class");
        }
        return new LaunchArguments(args);
    }

    boolean isModuleMode() {
        return mainClass.startsWith("/");
    }

    String[] applicationArgumentArray() {
        return applicationArguments.toArray(new String[0]);
    }
}
