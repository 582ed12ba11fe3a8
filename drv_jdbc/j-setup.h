// Process-wide set-up of the JDBC back end at library load and unload.
#pragma once

constexpr int DRV_JAVALIB_DIR_MAX = 480;  // bytes of the Java library directory with its NUL

// Reads the Java library directory from the registry (value "BNLibs", else
// "InstallDir" + "jre/lib/" of HKEY_LOCAL_MACHINE\Software\Kestrune
// Software\6.0); never refuses the load: without either it stays empty.  Returns 1.
int DriverLoadSetup();
// The back end's part of the unload: nothing of it needs releasing (the
// coordinator link and the XA trace are ended by the XA layer right after);
// never calls Java.  Returns 1.
int DriverUnloadSetup();
// The Java library directory: empty, or ending with '/'.
const char *DRV_JavaLibDir();
