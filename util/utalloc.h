// Guarded allocation: heap blocks for records the driver cannot go on
// without.  These never return null; on exhaustion they log at ERROR and end
// the process with status 1.  Blocks belong to the caller (free()).
#pragma once
#include <cstddef>
#include <cstdint>

// Zero-filled block of count * size bytes; a count or size of 0 gives 1 byte.
void *s_alloc(uint64_t count, uint64_t size);
// Resizes like realloc; a size of 0 keeps a 1-byte block.
void *s_realloc(void *block, uint64_t size);
// Copy of a NUL-terminated text (an empty text for null).
char *s_strdup(const char *text);

// Releases the console (prompting first when the pause flag is set) and
// ends the process with the status.
[[noreturn]] void SYS_FatalExit(int status);
// When the pause flag is set, asks on stderr for RETURN and waits for one
// character on stdin.
void SYS_ReleaseConsole();
// Decides whether SYS_ReleaseConsole pauses; on this platform it never does.
void SYS_ProbeConsole();
