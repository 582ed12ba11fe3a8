// Keeps the Java VM's fault handlers installed.  The VM takes SIGSEGV (and
// SIGBUS, SIGFPE, SIGILL) for its own checks: implicit null checks,
// safepoint polls.  An application that saves its handlers before the VM
// starts and puts them back later (test frameworks around each test case,
// crash reporters) removes the VM's, and the VM's next check then ends the
// process.  Without libjsig.so the VM cannot chain to a handler installed
// after it started, so the driver puts the VM's handler back.
#pragma once

// Notes the handlers in place before the VM is created (the ones the VM
// itself chains to).
void jvmSignalsBeforeVm();
// Records the VM's handlers once the VM runs (created here or joined); does
// nothing when libjsig.so manages the signals.
void jvmSignalsAfterVm();
// At the entry of a call into Java: puts back each VM handler that was
// replaced, logging when that displaces a handler the VM does not chain to.
void jvmKeepSignals();
