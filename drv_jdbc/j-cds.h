// The class-data-sharing archive of the JDBC driver's classes: the install
// step makes it in the Java library directory (krscds, jvmMakeClassArchive),
// and the VM the driver creates maps it when it is there and newer than what
// it was made from; otherwise the VM starts as without it, saying nothing.
#pragma once
#include <string>
#include <vector>

// The archive's file name in the Java library directory, and the suffix of
// the file beside it that holds its size once it was written whole.
constexpr char DRV_CLASS_ARCHIVE[] = "kestrune-classes.jsa";
constexpr char DRV_CLASS_ARCHIVE_SIZE[] = ".size";

// Whether the archive may be used with the VM library `jvm` and the jars:
// it has the size its size file gives (a cut archive would bring the VM
// down), and was written after each of them, and each link leading to them,
// last changed (a new VM or another jar makes it stale).
bool jvmClassArchiveFresh(const char *archive, const char *jvm, const std::vector<std::string> &jars);

// The VM options that map the archive of the Java library directory `dir`
// ("" or ending with '/') when it is fresh, with the VM's own notes on an
// archive it turns down switched off; none otherwise.
std::vector<std::string> jvmClassArchiveOptions(const char *dir);

// The install step's work: a child process creates, in an empty working
// directory, a VM as the driver does that writes the archive when it ends,
// and loads the classes a connection takes through the driver's loader over
// the jars of the Java library directory `dir`; once the child wrote it
// whole, the archive and its size file take their places.  0, or 1 when no
// archive was made (an archive that was there stays).
int jvmMakeClassArchive(const char *archive, const char *dir);
