package probe;

public class ThrowApp {
    public static void main(String[] args) {
        System.out.println("about to throw");
        fail();
    }

    private static void fail() {
        throw new IllegalStateException("broken in main");
    }
}
