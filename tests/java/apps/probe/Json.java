package probe;

import java.util.List;
import java.util.Map;

/** Just enough JSON for the probes: everything outside printable ASCII as \\u escapes. */
final class Json {
    private Json() {
    }

    static String of(Object value) {
        if (value == null) return "null";
        if (value instanceof Boolean || value instanceof Number) return value.toString();
        if (value instanceof List) {
            StringBuilder out = new StringBuilder("[");
            for (Object item : (List<?>) value) out.append(out.length() > 1 ? "," : "").append(of(item));
            return out.append(']').toString();
        }
        if (value instanceof Map) {
            StringBuilder out = new StringBuilder("{");
            for (Map.Entry<?, ?> e : ((Map<?, ?>) value).entrySet()) {
                out.append(out.length() > 1 ? "," : "").append(of(String.valueOf(e.getKey()))).append(':')
                        .append(of(e.getValue()));
            }
            return out.append('}').toString();
        }
        String text = value.toString();
        StringBuilder out = new StringBuilder("\"");
        for (int i = 0; i < text.length(); i++) {
            char c = text.charAt(i);
            if (c == '"' || c == '\\') out.append('\\').append(c);
            else if (c >= 0x20 && c < 0x7f) out.append(c);
            else out.append(String.format("\\u%04x", (int) c));
        }
        return out.append('"').toString();
    }
}
