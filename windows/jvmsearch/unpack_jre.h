// Restoring the JAR files of a runtime whose class libraries are stored as *.jar.pack.
#pragma once

// Unpacks every lib\*.jar.pack and lib\ext\*.jar.pack of `home` whose JAR is missing, with
// the runtime's own bin\unpack200.exe. A missing unpack200.exe is fatal (message 1021).
void unpackPackedJre(const char* home);
