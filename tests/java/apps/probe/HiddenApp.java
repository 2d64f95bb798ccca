package probe;

/** A class that is not public, with a public main, as the java command accepts. */
class HiddenApp {
    public static void main(String[] args) {
        System.out.println("hidden main ran with " + args.length);
    }
}
