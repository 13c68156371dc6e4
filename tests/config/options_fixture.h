// Shared set-up of the option tests: a fresh CONF record, a configuration
// file in a temporary directory, and what a parse writes to standard output
// and standard error.
#pragma once

#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "conf.h"
#include "harness.h"

using testsupport::FdCapture;

class OptionsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        c = init_CONF();
        ASSERT_NE(c, nullptr);
        conf = c;
        write_conf("");
    }
    void TearDown() override { free_CONF(c); }

    // The body of the "tirsk-mon" section of the configuration file.
    void write_conf(const std::string &body)
    {
        testsupport::write_file(conf_file, "tirsk-mon {\n" + body + "}\n");
    }

    // parse_configs with "-c <conf_file>" (unless told otherwise) and args;
    // keeps its result and output.  True when every option was accepted,
    // i.e. the parse went on to the catalogue, whose own result depends on
    // a database.
    bool parse(std::vector<std::string> args, bool with_conf_file = true)
    {
        std::vector<std::string> all = {"tirsk-mon"};
        if (with_conf_file)
            all.insert(all.end(), {"-c", conf_file});
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char *> argv;
        for (auto &s : all)
            argv.push_back(s.data());
        argv.push_back(nullptr);
        memset(strHELP, 0, sizeof strHELP);
        FdCapture cap_out(1), cap_err(2);
        result = parse_configs(c, int(all.size()), argv.data());
        out = cap_out.take();
        err = cap_err.take();
        return strHELP[0] != 0;
    }

    bool said(const std::string &text) const
    {
        return err.find(text) != std::string::npos;
    }
    // The command line was refused with the pointer to the help.
    bool refused_with_hint() const
    {
        return result == 0 && strHELP[0] == 0 &&
               said("\nsee `tirsk-mon --help' or tirsk.conf tirsk-mon { ... }\n");
    }

    testsupport::TempDir dir;
    std::string conf_file = dir.file("tirsk.conf");
    CONF *c = nullptr;
    int result = -1;
    std::string out, err;
};
