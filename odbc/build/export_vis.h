// Which of the wrappers a library exports: the narrow names of functions
// with text in quorvexa, their W names in quorvexw, and the functions
// without text in both.  Compiled once per library with KRS_UNICODE_BUILD.
#pragma once

#ifndef KRS_UNICODE_BUILD
#error "KRS_UNICODE_BUILD must be defined"
#endif

#define KRS_VIS_EXPORT __attribute__((visibility("default")))
#define KRS_VIS_HIDDEN __attribute__((visibility("hidden")))

#if KRS_UNICODE_BUILD
#define KRS_VIS_NARROW_TEXT KRS_VIS_HIDDEN
#define KRS_VIS_WIDE_TEXT KRS_VIS_EXPORT
#else
#define KRS_VIS_NARROW_TEXT KRS_VIS_EXPORT
#define KRS_VIS_WIDE_TEXT KRS_VIS_HIDDEN
#endif

// Visibility of the narrow form by the row's text flag.
#define KRS_VIS_0 KRS_VIS_EXPORT
#define KRS_VIS_1 KRS_VIS_NARROW_TEXT
