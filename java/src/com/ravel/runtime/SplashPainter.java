package com.ravel.runtime;

import java.awt.AlphaComposite;
import java.awt.Color;
import java.awt.Dimension;
import java.awt.FontMetrics;
import java.awt.Graphics2D;
import java.awt.RenderingHints;
import java.awt.SplashScreen;

/** Draws the splash texts on the overlay of the splash screen the launcher showed. */
final class SplashPainter {
    private SplashPainter() {
    }

    /** The showing splash screen, or null when there is none or it can have none. */
    private static SplashScreen splashScreen() {
        try {
            SplashScreen splash = SplashScreen.getSplashScreen();
            return splash != null && splash.isVisible() ? splash : null;
        } catch (UnsupportedOperationException | IllegalStateException none) {
            // HeadlessException (a runtime without a display) is one of the former.
            return null;
        }
    }

    static boolean isShown() {
        return splashScreen() != null;
    }

    /** Clears the overlay and draws every non-empty text; false when nothing could be drawn. */
    static boolean paint(String[] texts, int[] xs, int[] ys, int rgb) {
        SplashScreen splash = splashScreen();
        if (splash == null) {
            return false;
        }
        try {
            Dimension size = splash.getSize();
            Graphics2D g = splash.createGraphics();
            try {
                g.setComposite(AlphaComposite.Clear);
                g.fillRect(0, 0, size.width, size.height);
                g.setPaintMode();
                g.setColor(new Color(rgb));
                g.setRenderingHint(RenderingHints.KEY_TEXT_ANTIALIASING, RenderingHints.VALUE_TEXT_ANTIALIAS_ON);
                FontMetrics metrics = g.getFontMetrics();
                for (int i = 0; i < texts.length; i++) {
                    if (texts[i].isEmpty()) {
                        continue;
                    }
                    int[] at = Splash.place(xs[i], ys[i], metrics.stringWidth(texts[i]), size.width, size.height);
                    g.drawString(texts[i], at[0], at[1]);
                }
            } finally {
                g.dispose();
            }
            splash.update();
            return true;
        } catch (IllegalStateException closedMeanwhile) {
            return false;
        }
    }
}
