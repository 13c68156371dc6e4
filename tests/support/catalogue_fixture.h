// Catalogue tests: databases built with the mkcatalog tool, a CONF record of
// their own and the log of one load.
#pragma once

#include <stdint.h>

#include <string>

#include "conf.h"

namespace testsupport {

// Where and how to reach a catalogue database.
struct DbTarget {
    std::string type;   // db-type: "sqlite", "mysql", "pgsql"
    std::string host;   // server host, or the directory of an sqlite file
    std::string name;   // database name, or the sqlite file name
    std::string user;
    std::string passwd;
    uint16_t port = 0;
};

// Builds the catalogue described by desc (mkcatalog syntax) in target;
// scratch_dir receives the description file.  Reports a test failure and
// returns false when the tool fails.
bool build_catalogue(const DbTarget &target, const std::string &desc, const std::string &scratch_dir);

// A zero-filled CONF record with the options the catalogue reads, set from
// the target; frees the sources it gets and its strings.
class CatalogueConf {
public:
    explicit CatalogueConf(const DbTarget &target);
    ~CatalogueConf();
    CatalogueConf(const CatalogueConf &) = delete;
    CatalogueConf &operator=(const CatalogueConf &) = delete;
    CONF *operator->() { return c_; }
    CONF *get() { return c_; }
    // load_catalogue with the global conf pointing at this record; *log gets
    // what was logged.
    int load(std::string *log);

private:
    CONF *c_;
};

} // namespace testsupport
