// Shared set-up of the option tests: a fresh CONF record, a configuration
// file in a temporary directory, and the text written to standard output
// and standard error while a parse runs.
#pragma once

#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "conf.h"
#include "process.h"

// Sends a descriptor (1 or 2) to a file until take() returns its text.
class FdCapture {
public:
    explicit FdCapture(int fd) : fd_(fd)
    {
        fflush(nullptr);
        char tmpl[] = "/tmp/tirsk-capture-XXXXXX";
        file_ = mkstemp(tmpl);
        unlink(tmpl);
        saved_ = dup(fd_);
        dup2(file_, fd_);
    }
    ~FdCapture() { restore(); }
    std::string take()
    {
        restore();
        std::string text;
        char buf[4096];
        lseek(file_, 0, SEEK_SET);
        for (ssize_t n; (n = read(file_, buf, sizeof buf)) > 0;)
            text.append(buf, size_t(n));
        return text;
    }

private:
    void restore()
    {
        if (saved_ < 0)
            return;
        fflush(nullptr);
        dup2(saved_, fd_);
        close(saved_);
        saved_ = -1;
    }
    int fd_;
    int file_ = -1;
    int saved_ = -1;
};

class OptionsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        c = init_CONF();
        ASSERT_NE(c, nullptr);
        conf = c;
        conf_file = dir.file("tirsk.conf");
        write_conf("");
    }
    void TearDown() override
    {
        free_CONF(c);
        conf = nullptr;
    }

    // The body of the "tirsk-mon" section of the configuration file.
    void write_conf(const std::string &section_body)
    {
        testsupport::write_file(conf_file,
                                "tirsk-mon {\n" + section_body + "}\n");
    }

    // Runs parse_configs with "-c <conf_file>" and args; the result of
    // parse_configs is kept in result, its messages in out and err.
    // Returns whether the options were all accepted, i.e. the parse went on
    // to the catalogue (whose own result depends on a database).
    bool parse(std::vector<std::string> args, bool with_conf_file = true)
    {
        std::vector<std::string> all = {"tirsk-mon"};
        if (with_conf_file) {
            all.push_back("-c");
            all.push_back(conf_file);
        }
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

    // The command line was refused with the pointer to the help.
    bool refused_with_hint() const
    {
        return result == 0 && strHELP[0] == 0 &&
               err.find("\nsee `tirsk-mon --help' or tirsk.conf tirsk-mon "
                        "{ ... }\n") != std::string::npos;
    }

    testsupport::TempDir dir;
    std::string conf_file;
    CONF *c = nullptr;
    int result = -1;
    std::string out, err;
};
