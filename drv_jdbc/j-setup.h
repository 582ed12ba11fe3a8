// Process-wide set-up of the JDBC back end at library load and unload.
#pragma once

// Reads the Java library directory from the registry; never refuses the load.
int DriverLoadSetup();
// Ends the transaction-coordinator link and the XA trace; never calls Java.
void DriverUnloadSetup();
