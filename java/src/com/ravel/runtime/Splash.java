package com.ravel.runtime;

/**
 * The texts drawn on the splash screen that the launcher shows before the JVM starts (the
 * packer's {@code [splash] image}). The launcher hands over up to four text groups, each a
 * text and a position, right after it created the JVM; they are drawn at once, and the
 * application can replace them while it starts, for example to report progress:
 *
 * <pre>
 * Splash.setText(2, "Loading plug-ins...");
 * </pre>
 *
 * A position is in pixels of the splash image: x from the left edge to the text's start, y
 * from the top edge to its baseline. A negative x puts the text's end that many pixels from
 * the right edge; a negative y puts the baseline that many pixels above the bottom edge.
 * Empty texts are not drawn.
 *
 * <p>Without a splash screen (none configured, the runtime has no splash-screen library, a
 * headless runtime, or the splash screen has already closed) every method still keeps the
 * texts and simply draws nothing. Nothing here closes the splash screen: it closes when the
 * application opens its first window or calls {@code java.awt.SplashScreen.close()}.
 */
public final class Splash {
    /** Number of text groups; they are numbered from 1. */
    public static final int GROUPS = 4;

    private static final String[] texts = { "", "", "", "" };
    private static final int[] xs = new int[GROUPS];
    private static final int[] ys = new int[GROUPS];
    private static int textColor = 0x000000;

    private Splash() {
    }

    /**
     * Replaces the text of a group (1 to 4) and redraws the splash screen. A null text counts as
     * empty. Returns whether the texts are on a splash screen now.
     *
     * @throws IllegalArgumentException for a group outside 1 to 4
     */
    public static synchronized boolean setText(int group, String text) {
        texts[index(group)] = text == null ? "" : text;
        return paint();
    }

    /** The current text of a group (1 to 4); empty when it has none. */
    public static synchronized String getText(int group) {
        return texts[index(group)];
    }

    /** Sets the colour of every text (0xRRGGBB, default black) and redraws. */
    public static synchronized boolean setTextColor(int rgb) {
        textColor = rgb & 0xFFFFFF;
        return paint();
    }

    /** Whether a splash screen is showing, so that the texts can be seen. */
    public static synchronized boolean isShown() {
        try {
            return SplashPainter.isShown();
        } catch (LinkageError noAwt) {
            return false;
        }
    }

    /** The launcher's four groups, in group order, drawn at once. */
    static synchronized void configure(String[] groupTexts, int[] groupXs, int[] groupYs) {
        for (int i = 0; i < GROUPS; i++) {
            texts[i] = groupTexts[i] == null ? "" : groupTexts[i];
            xs[i] = groupXs[i];
            ys[i] = groupYs[i];
        }
        paint();
    }

    /** Where a text's start goes on an image of the given size (x, then the baseline's y). */
    static int[] place(int x, int y, int textWidth, int width, int height) {
        return new int[] { x >= 0 ? x : width + x - textWidth, y >= 0 ? y : height + y };
    }

    private static int index(int group) {
        if (group < 1 || group > GROUPS) {
            throw new IllegalArgumentException("splash text group " + group + " is not between 1 and " + GROUPS);
        }
        return group - 1;
    }

    // The drawing lives in its own class so that a runtime without java.awt (a reduced
    // runtime image) fails only there, and never while this class is loaded.
    private static boolean paint() {
        try {
            return SplashPainter.paint(texts.clone(), xs.clone(), ys.clone(), textColor);
        } catch (LinkageError noAwt) {
            return false;
        }
    }
}
