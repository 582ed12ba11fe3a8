// Test programs that run themselves again as a child process (a VM or
// signal handlers of its own): this program's path, and a command line run
// with its output collected.
#pragma once
#include <string>

// /proc/self/exe; "" when it cannot be read.
std::string SelfPath();

// Runs the command line through the shell and collects its standard output
// (add 2>&1 for the error stream); pclose's wait status, -1 when it cannot start.
int RunCaptured(const std::string &cmd, std::string *out);
