// The JDBC connection factory: a class name, a property text, a user and a
// password become an open java.sql.Connection, through a java.sql.Driver or
// a data source (DataSource, ConnectionPoolDataSource, XADataSource)
// configured through its setters.  Classes load through the driver's loader.
#pragma once
#include <jni.h>

struct DrvConn;

constexpr int PROP_MAX_ITEMS = 100;
constexpr int PROP_MAX_NAME = 200;  // characters of a property name used in its setter name

struct PropertySlot {
    char *name;   // NULL ends the list
    char *value;  // NULL for an item without '='
};

// Parses "name=value;..." (braces group text with ';') into a new list of
// PROP_MAX_ITEMS slots plus a terminator.  No text is an empty list; NULL
// only when memory is short.
PropertySlot *jc_ParsePropertyList(const char *text);
void jc_FreePropertyList(PropertySlot *list);
// "set" + the name with its first letter in upper case (at most 200 characters of it).
void jc_SetterName(const char *property, char *out, size_t size);

// Opens a connection for the class list "{plain;xa}" ('/' separators; both
// texts changed in place).  *outXaClass receives a heap copy of the XA class
// name when given; *outDataSource the data-source object that made the
// connection (NULL for a Driver).  3 class not loadable or of no known kind,
// ERR_GENERAL, ERR_MEMORY_ALLOCATION, ERR_UNABLE_TO_CONNECT (connect failed);
// the Java side's diagnostic is on c's chain.
int _getConnection(DrvConn *c, jobject *outConn, char *classList, char *props, const char *user,
                   const char *password, char **outXaClass, jobject *outDataSource);
int jc_Driver_connect(DrvConn *c, jobject *outConn, const char *driverClass, const char *url,
                      const char *user, const char *password);
int jc_DataSource_getConnection(DrvConn *c, jobject *outConn, const char *dsClass,
                                const char *props, const char *user, const char *password,
                                jobject *outDataSource);
int jc_DataSource_getXAConnection(DrvConn *c, jobject *outConn, const char *dsClass,
                                  const char *props, const char *user, const char *password,
                                  jobject *outXaConn, jobject *outXaResource);
// Applies every property through its setter: String, int, boolean or
// no-argument form, in that order.  0, ERR_GENERAL (setter missing or
// failing), ERR_MEMORY_ALLOCATION.
int jc_DataSource_setProperties(DrvConn *c, jclass dsClass, jobject ds, const PropertySlot *list);
