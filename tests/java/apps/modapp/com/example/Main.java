package com.example;

public class Main {
    public static void main(String[] args) {
        StringBuilder line = new StringBuilder("MODULE " + Main.class.getModule().getName() + " ARGS");
        for (String a : args) line.append(' ').append(a);
        System.out.println(line);
    }
}
