package probe;

import java.io.FileOutputStream;
import java.io.IOException;

/**
 * Serves until the process is ended. A shutdown hook registered first writes "hook ran"
 * into args[0], after args[2] milliseconds if given. Then it prints "starting"; an optional
 * args[1] delays the rest of the start (a second hook, the server thread, the "serving"
 * line) by that many milliseconds, so a stop can arrive while the application is starting.
 */
public class ServiceApp {
    public static void main(final String[] args) throws Exception {
        final long hookDelay = args.length > 2 ? Long.parseLong(args[2]) : 0;
        Runtime.getRuntime().addShutdownHook(new Thread() {
            @Override
            public void run() {
                try (FileOutputStream out = new FileOutputStream(args[0])) {
                    Thread.sleep(hookDelay);
                    out.write("hook ran".getBytes("US-ASCII"));
                } catch (IOException | InterruptedException e) {
                    e.printStackTrace();
                }
            }
        });
        System.out.println("starting");
        System.out.flush();
        if (args.length > 1) Thread.sleep(Long.parseLong(args[1]));
        Runtime.getRuntime().addShutdownHook(new Thread());
        Thread server = new Thread("server") {
            @Override
            public void run() {
                while (true) {
                    try {
                        Thread.sleep(60000);
                    } catch (InterruptedException e) {
                        return;
                    }
                }
            }
        };
        server.start();
        System.out.println("serving " + System.getProperty("ravel.serviceName"));
        System.out.flush();
    }
}
