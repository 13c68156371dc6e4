// Database access of the catalogue: the process-wide libdbi instance, the
// connection built from the db-* options, and NULL-safe readers of result
// fields that accept whatever column type the server reports.
#pragma once

#include <dbi/dbi.h>

#include <string>
#include <string_view>

#include "conf.h"

// Directory of sqlite catalogue files when db-host is empty.
inline constexpr const char *CATALOGUE_SQLITE_DEFAULT_DIR = "/var/lib/tirsk";

// Results of catalogue_connect.
enum {
    CATDB_FAILED = 0,    // nothing open, the catalogue stops (logged)
    CATDB_CONNECTED = 1, // conf->db_conn holds the open connection
    CATDB_NO_LOGIN = -1, // connection object exists but did not connect (logged)
};

// Initialise the libdbi instance and connect with the db-* options of c.
int catalogue_connect(CONF *c);
// Close the connection and shut the instance down; safe after any result of
// catalogue_connect and when called twice.
void catalogue_disconnect(CONF *c);
// Error text of the connection, never null.
const char *catalogue_db_error(CONF *c);

// Text of field idx (1-based) in the current row: "" for NULL.
std::string db_text(dbi_result r, unsigned idx);
// Integer of field idx: 0 for NULL; text is read as a decimal number the way
// atoi does (leading blanks, sign, digits; anything else ends it), but
// saturating instead of overflowing.
long long db_int(dbi_result r, unsigned idx);
// Decimal prefix of a text, saturating; 0 when it starts with no number.
long long parse_decimal(std::string_view text);
