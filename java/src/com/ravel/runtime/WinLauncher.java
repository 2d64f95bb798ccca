package com.ravel.runtime;

import java.lang.reflect.InvocationTargetException;
import java.lang.reflect.Method;
import java.lang.reflect.Modifier;
import java.util.ArrayList;
import java.util.Collections;
import java.util.List;

/**
 * The class whose static main the native launcher calls once it has created the JVM. It
 * receives the application's description as leading arguments (see {@link LaunchArguments}),
 * prepares the process (output redirection, the service stop listener) and calls the
 * application's own main with the remaining arguments. An exception from the application's
 * main leaves this main unchanged, so the launcher sees it pending and ends with failure.
 */
public final class WinLauncher {
    /** Set to the service name when the process runs as the child of a service. */
    public static final String SERVICE_NAME_PROPERTY = "ravel.serviceName";

    private static volatile boolean windowed;
    private static volatile List<Object> splashConfiguration = Collections.emptyList();

    private WinLauncher() {
    }

    public static void main(String[] args) throws Throwable {
        LaunchArguments arguments = LaunchArguments.parse(args);
        windowed = arguments.windowed;
        if (Boolean.getBoolean(ServiceStopListener.SERVICE_PROPERTY) && arguments.launcherArgument != null) {
            System.setProperty(SERVICE_NAME_PROPERTY, arguments.launcherArgument);
        }
        OutputRedirection.apply(arguments);
        ServiceStopListener.startIfService();
        try {
            runApplication(MainClassLoader.load(arguments.mainClass), arguments.applicationArgumentArray());
        } catch (Throwable failure) {
            // A stop that arrives while the application is still starting makes its start
            // fail (shutdown hooks can no longer be added, threads are interrupted). That is
            // the requested end, not a failure: returning the exception would make the
            // launcher end the process with 1 while the shutdown hooks are still running.
            if (ServiceStopListener.isStopping()) waitForExit();
            throw failure;
        }
    }

    /** Blocks until the exit that is under way ends the process. */
    private static void waitForExit() {
        Object never = new Object();
        synchronized (never) {
            while (true) {
                try {
                    never.wait();
                } catch (InterruptedException e) {
                    // Still ending: keep waiting.
                }
            }
        }
    }

    /**
     * Called by the launcher right after the JVM is created when the packaging asks for it:
     * the first flag is always true, the second a packaging flag (kept, not interpreted), then
     * four text groups of a text and its position (x, y; see {@link Splash}). The texts are drawn
     * on the splash screen at once when the launcher showed one; the values are also kept as
     * they came, for {@link #getSplashConfiguration()}. Nothing here may fail the launch.
     */
    public static void initAwtSplashConfig(boolean enabled, boolean flag, String text1, int a1, int b1, String text2,
            int a2, int b2, String text3, int a3, int b3, String text4, int a4, int b4) {
        List<Object> values = new ArrayList<Object>();
        Collections.addAll(values, enabled, flag, text1, a1, b1, text2, a2, b2, text3, a3, b3, text4, a4, b4);
        splashConfiguration = Collections.unmodifiableList(values);
        try {
            Splash.configure(new String[] { text1, text2, text3, text4 }, new int[] { a1, a2, a3, a4 },
                    new int[] { b1, b2, b3, b4 });
        } catch (RuntimeException | LinkageError drawingFailed) {
            // The application starts without texts on its splash screen.
        }
    }

    /** The fourteen values of the last splash configuration call, in call order; empty before. */
    public static List<Object> getSplashConfiguration() {
        return splashConfiguration;
    }

    /** Whether the launcher described the application as a windowed one. */
    public static boolean isWindowed() {
        return windowed;
    }

    /**
     * Calls the static main(String[]) of the application class. The class need not be
     * public (as with the java command); an exception thrown by main is rethrown as it is.
     */
    static void runApplication(Class<?> mainClass, String[] args) throws Throwable {
        Method main = mainClass.getMethod("main", String[].class);
        if (!Modifier.isStatic(main.getModifiers())) {
            throw new NoSuchMethodException(mainClass.getName() + ".main(String[]) is not static");
        }
        try {
            main.setAccessible(true);
        } catch (RuntimeException e) {
            // A module that does not open the package to us: a public class still works.
        }
        try {
            main.invoke(null, (Object) args);
        } catch (InvocationTargetException e) {
            throw e.getCause();
        }
    }
}
