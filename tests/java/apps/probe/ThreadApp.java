package probe;

/** main returns at once; a non-daemon thread prints "thread done" after args[0] ms. */
public class ThreadApp {
    public static void main(String[] args) {
        final long delay = Long.parseLong(args[0]);
        Thread worker = new Thread("worker") {
            @Override
            public void run() {
                try {
                    Thread.sleep(delay);
                } catch (InterruptedException e) {
                    return;
                }
                System.out.println("thread done");
                System.out.flush();
            }
        };
        worker.start();
        System.out.println("main returned");
        System.out.flush();
    }
}
