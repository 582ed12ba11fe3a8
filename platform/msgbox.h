// Message boxes: there is no desktop, so a "box" is a line on the standard
// error stream.  Whether a box is shown at all (owner window, quiet mode) is
// the caller's decision.
#pragma once
#include <cstdint>

// Box styles the driver passes (kept for the caller's records; a line looks
// the same for each).
constexpr uint32_t PL_MB_OK = 0x0;
constexpr uint32_t PL_MB_ICONSTOP = 0x10;
constexpr uint32_t PL_MB_ICONEXCLAMATION = 0x30;
constexpr uint32_t PL_MB_ICONINFORMATION = 0x40;

// The answer of a box that was "shown".
constexpr int PL_IDOK = 1;

// Writes "<caption>: <text>" as one line to the standard error stream and
// answers PL_IDOK.  Null texts count as empty.
int PL_MessageBox(void *owner, const char *text, const char *caption, uint32_t style);
