package com.example.hello;

import java.util.Arrays;

/** The demo application: says what it received from the launcher. */
public final class Main {
    private Main() {
    }

    public static void main(String[] args) {
        System.out.println("Hello from HelloApp on " + System.getProperty("java.vm.name") + " "
                + System.getProperty("java.version"));
        System.out.println("main received " + Arrays.toString(args));
        System.out.println("hello.mode = " + System.getProperty("hello.mode")
                + ", ravel.moduleName = " + System.getProperty("ravel.moduleName"));
    }
}
