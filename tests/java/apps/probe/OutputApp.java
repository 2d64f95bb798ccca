package probe;

/** Writes to both streams; the last text on each has no line end. */
public class OutputApp {
    public static void main(String[] args) {
        System.out.println("out line");
        System.err.println("err line");
        System.out.print("out tail");
        System.err.print("err tail");
    }
}
