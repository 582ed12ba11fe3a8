// The driver's string table.  Entry 204, the driver name, differs between the
// Unicode and the ANSI library.
#pragma once

enum : int {
    IDS_CAPTION = 1,           // "Kestrune ODBC"
    IDS_AGENT_LOADED = 2,
    IDS_AGENT_UNLOADED = 3,
    IDS_SESSION_DEBUG = 4,
    IDS_INIT_FAILED = 5,       // "Unable to initialize the ODBC layer."
    IDS_NO_INSTALL_DIR = 6,
    IDS_NO_PARAMETERS = 200,
    IDS_NO_NETWORK = 201,
    IDS_NEEDS_WIN32 = 202,     // "The Kestrune ODBC driver requires Win32."
    IDS_LIBRARY_NAME = 203,
    IDS_DRIVER_NAME = 204,
    IDS_VERSION = 205,
    IDS_PLATFORM = 208,
};

// The text of an entry, or null for a number the table does not hold.
const char *RES_String(int id);

// Copies an entry into buf (at most size - 1 characters and a NUL) and
// answers the copied length; 0 for an unknown entry or no room.
int RES_LoadString(int id, char *buf, int size);

// Version resource.
constexpr const char *RES_FILE_VERSION = "1.0.0.0";
constexpr const char *RES_PRODUCT_VERSION = "6.3.0.0";
