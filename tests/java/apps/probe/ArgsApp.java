package probe;

import com.quillwork.runtime.installer.platform.win32.Common;
import com.ravel.runtime.WinLauncher;

import java.util.Arrays;
import java.util.LinkedHashMap;
import java.util.Map;

/** Prints one "PROBE {json}" line: its arguments, the launcher's properties and runtime state. */
public class ArgsApp {
    private static final String[] PROPERTIES = {"ravel.moduleName", "sun.java.command", "ravel.isService",
        "ravel.serviceName", "ravel.isQuillwork", "ravel.tempDir", "ravel.unextractedPosition",
        "ravel.consoleCodepage", "quillwork.noRedir", "java.class.path"};

    public static void main(String[] args) {
        Map<String, Object> probe = new LinkedHashMap<String, Object>();
        probe.put("args", Arrays.asList(args));
        Map<String, Object> properties = new LinkedHashMap<String, Object>();
        for (String name : PROPERTIES) properties.put(name, System.getProperty(name));
        probe.put("properties", properties);
        probe.put("windowed", WinLauncher.isWindowed());
        probe.put("splash", WinLauncher.getSplashConfiguration());
        probe.put("commonInitCalls", Common.getInitCalls());
        probe.put("launcherNatives", Common.isLauncherNativesAvailable());
        probe.put("thread", Thread.currentThread().getName());
        System.out.println("PROBE " + Json.of(probe));
    }
}
