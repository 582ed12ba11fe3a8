// The string table.
#include "odbc/resources.h"

#include "odbc/contract/flavour.h"
#include "util/strutil.h"

namespace {

struct ResEntry {
    int id;
    const char *text;
};

const ResEntry kStrings[] = {
    {IDS_CAPTION, "Kestrune ODBC"},
    {IDS_AGENT_LOADED, "Kestrune ODBC Agent Loaded."},
    {IDS_AGENT_UNLOADED, "Kestrune ODBC Agent Unloaded."},
    {IDS_SESSION_DEBUG, "Session debugging is enabled.\nCheck %s for details."},
    {IDS_INIT_FAILED, "Unable to initialize the ODBC layer."},
    {IDS_NO_INSTALL_DIR, "Unable to determine the Kestrune installation directory."},
    {IDS_NO_PARAMETERS, "Unable to initialize the working parameters."},
    {IDS_NO_NETWORK, "Unable to initialize the network layer."},
    {IDS_NEEDS_WIN32, "The Kestrune ODBC driver requires Win32."},
    {IDS_VERSION, "1.0"},
    {IDS_PLATFORM, "WIN32"},
};

} // namespace

const char *RES_String(int id)
{
    const bool wide = KRS_IsUnicodeBuild();
    if (id == IDS_LIBRARY_NAME)
        return wide ? "libquorvexw.so" : "libquorvexa.so";
    if (id == IDS_DRIVER_NAME)
        return wide ? "Kestrune PostgreSQL Driver (Brennic Edition)(Unicode)"
                    : "Kestrune PostgreSQL Driver (Brennic Edition)";
    for (const ResEntry &e : kStrings)
        if (e.id == id)
            return e.text;
    return nullptr;
}

int RES_LoadString(int id, char *buf, int size)
{
    const char *text = RES_String(id);
    return text ? STR_CopyCut(buf, size, text) : 0;
}
