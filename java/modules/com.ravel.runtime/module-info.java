// The runtime as a named module, for launchers in module mode, which add "com.ravel.runtime"
// to the boot layer and open the application's main package to it.
module com.ravel.runtime {
    exports com.ravel.runtime;
    exports com.quillwork.runtime.launcher;
    exports com.quillwork.runtime.installer.platform.win32;
    // The splash texts are drawn with java.awt when the runtime has it.
    requires static java.desktop;
}
