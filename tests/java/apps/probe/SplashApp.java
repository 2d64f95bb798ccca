package probe;

import com.ravel.runtime.Splash;

import java.awt.Rectangle;
import java.awt.SplashScreen;
import java.io.BufferedReader;
import java.io.InputStreamReader;
import java.util.Arrays;
import java.util.LinkedHashMap;
import java.util.Map;

/**
 * Reports the splash screen the launcher showed ("SPLASH {json}"), then waits for a line on
 * standard input, turns the texts magenta and replaces the first one ("UPDATED {json}"), and
 * ends at the next line. A test takes its screenshots while the application waits.
 */
public class SplashApp {
    public static void main(String[] args) throws Exception {
        BufferedReader in = new BufferedReader(new InputStreamReader(System.in, "UTF-8"));
        SplashScreen splash = SplashScreen.getSplashScreen();
        Map<String, Object> report = new LinkedHashMap<String, Object>();
        report.put("present", splash != null);
        if (splash != null) {
            Rectangle bounds = splash.getBounds();
            report.put("bounds", Arrays.asList(bounds.x, bounds.y, bounds.width, bounds.height));
            report.put("url", String.valueOf(splash.getImageURL()));
        }
        report.put("shown", Splash.isShown());
        report.put("texts", Arrays.asList(Splash.getText(1), Splash.getText(2), Splash.getText(3), Splash.getText(4)));
        System.out.println("SPLASH " + Json.of(report));
        System.out.flush();

        in.readLine();
        Map<String, Object> updated = new LinkedHashMap<String, Object>();
        updated.put("color", Splash.setTextColor(0xFF00FF));
        updated.put("text", Splash.setText(1, "Ready"));
        System.out.println("UPDATED " + Json.of(updated));
        System.out.flush();
        in.readLine();
    }
}
