package com.ravel.runtime;

import java.io.BufferedReader;
import java.io.IOException;
import java.io.InputStream;
import java.io.InputStreamReader;
import java.nio.charset.Charset;

/**
 * In a service, the supervising process asks the application to stop by writing one line,
 * a decimal number and a line feed, to its standard input (and then closing it). This
 * daemon thread waits for that line and ends the process through System.exit(0), so the
 * application's shutdown hooks run. End of input without the line means the supervisor is
 * gone: nothing could stop the application any more, so it ends the same way.
 */
final class ServiceStopListener implements Runnable {
    /** True (set by the launcher) when the process runs as the child of a service. */
    static final String SERVICE_PROPERTY = "ravel.isService";

    private static volatile boolean stopping;

    private final InputStream input;
    private final Exit exit;

    interface Exit {
        void exit(int status);
    }

    ServiceStopListener(InputStream input, Exit exit) {
        this.input = input;
        this.exit = exit;
    }

    static void startIfService() {
        if (!Boolean.getBoolean(SERVICE_PROPERTY)) return;
        Thread thread = new Thread(new ServiceStopListener(System.in, new Exit() {
            @Override
            public void exit(int status) {
                System.exit(status);
            }
        }), "ravel-service-stop");
        thread.setDaemon(true);
        thread.start();
    }

    @Override
    public void run() {
        int status = awaitStopRequest();
        stopping = true;
        exit.exit(status);
    }

    /** True once the stop request has been received and the process is ending. */
    static boolean isStopping() {
        return stopping;
    }

    /**
     * Reads until the stop line or the end of input and returns the exit status to end
     * with (always 0: both are a regular end). Lines that are not a number are ignored.
     */
    int awaitStopRequest() {
        BufferedReader reader = new BufferedReader(new InputStreamReader(input, Charset.forName("US-ASCII")));
        try {
            String line;
            while ((line = reader.readLine()) != null) {
                if (isStopLine(line)) return 0;
            }
        } catch (IOException e) {
            // A broken input is the supervisor going away, as end of input is.
        }
        return 0;
    }

    static boolean isStopLine(String line) {
        String text = line.trim();
        if (text.isEmpty() || text.length() > 10) return false;
        for (int i = 0; i < text.length(); i++) {
            char c = text.charAt(i);
            if (c < '0' || c > '9') return false;
        }
        return true;
    }
}
