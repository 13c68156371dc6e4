#include "catalogue_fixture.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <sstream>

#include <gtest/gtest.h>

#include "media.h"
#include "capture.h"
#include "process.h"

namespace testsupport {

bool build_catalogue(const DbTarget &t, const std::string &desc,
                     const std::string &scratch_dir)
{
    const std::string desc_path = scratch_dir + "/catalogue.txt";
    write_file(desc_path, desc);
    std::vector<std::string> argv = {tool_path("tools/mkcatalog/mkcatalog"), "-T", t.type, "-D", t.name,
                                     "--port", std::to_string(t.port)};
    for (auto [flag, value] : {std::pair{"-H", t.host}, {"-U", t.user}, {"-P", t.passwd}})
        if (!value.empty())
            argv.insert(argv.end(), {flag, value});
    argv.push_back(desc_path);
    const RunResult r = run(argv, {}, 120000);
    EXPECT_EQ(r.status, 0) << "mkcatalog failed: " << r.err;
    return r.status == 0;
}

CatalogueConf::CatalogueConf(const DbTarget &t)
    : c_(static_cast<CONF *>(calloc(1, sizeof(CONF))))
{
    for (auto [field, value] : {std::pair{&c_->db_type, &t.type}, {&c_->db_host, &t.host},
                                {&c_->db_name, &t.name}, {&c_->db_user, &t.user}, {&c_->db_passwd, &t.passwd}})
        *field = strdup(value->c_str());
    c_->db_port = t.port;
    c_->display = 'L';
    c_->start_layout = -1;
}

CatalogueConf::~CatalogueConf()
{
    for (camera &cam : c_->cams)
        for (int i = 0; i < cam.nsrcs && i < CAM_MAX_SRCS; ++i)
            source_free(&cam.srcs[i]);
    for (char *s : {c_->db_type, c_->db_host, c_->db_name, c_->db_user,
                    c_->db_passwd})
        free(s);
    free(c_);
}

int CatalogueConf::load(std::string *log)
{
    CONF *saved = conf;
    conf = c_;
    LogCapture cap;
    const int rc = load_catalogue(c_);
    *log = cap.text();
    conf = saved;
    return rc;
}

} // namespace testsupport
