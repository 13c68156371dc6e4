// The on-screen help buffer, which the option parse and catalogue load fill,
// cleared for a test and restored afterwards, whatever the test does.
#pragma once

#include <string.h>

#include <string>

#include "conf.h"

struct StrHelpGuard {
    std::string saved{strHELP, sizeof strHELP};
    StrHelpGuard() { memset(strHELP, 0, sizeof strHELP); }
    ~StrHelpGuard() { memcpy(strHELP, saved.data(), sizeof strHELP); }
};
