// The splash screen: the configured image shown by the chosen runtime's own splash-screen
// library before the JVM is created, so it appears while the JVM starts and the application
// finds it through java.awt.SplashScreen.
#pragma once

// Shows the image of the splash image setting, once a runtime has been loaded. Without the
// setting nothing happens. A runtime without the library, an image that cannot be read or
// decoded, or a library that refuses it is logged and the launch goes on without a splash.
void showSplashScreen();
