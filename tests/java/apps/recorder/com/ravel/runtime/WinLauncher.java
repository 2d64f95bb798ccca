package com.ravel.runtime;

/**
 * Stands in for the runtime's launcher class to show the argument array exactly as the
 * launcher built it, leading arguments included: one "ARG {json}" line per element.
 */
public class WinLauncher {
    public static void main(String[] args) {
        StringBuilder line = new StringBuilder("ARGS [");
        for (int i = 0; i < args.length; i++) {
            line.append(i > 0 ? "," : "").append('"');
            for (char c : args[i].toCharArray()) {
                if (c == '"' || c == '\\') line.append('\\').append(c);
                else if (c >= 0x20 && c < 0x7f) line.append(c);
                else line.append(String.format("\\u%04x", (int) c));
            }
            line.append('"');
        }
        System.out.println(line.append(']'));
    }
}
