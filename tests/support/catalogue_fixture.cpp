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
    std::vector<std::string> argv = {
        TIRSK_BINARY_DIR "/tools/mkcatalog/mkcatalog", "-T", t.type, "-D",
        t.name};
    if (!t.host.empty())
        argv.insert(argv.end(), {"-H", t.host});
    if (t.port)
        argv.insert(argv.end(), {"--port", std::to_string(t.port)});
    if (!t.user.empty())
        argv.insert(argv.end(), {"-U", t.user});
    if (!t.passwd.empty())
        argv.insert(argv.end(), {"-P", t.passwd});
    argv.push_back(desc_path);
    RunResult r = run(argv, {}, 120000);
    if (r.status != 0) {
        ADD_FAILURE() << "mkcatalog failed (" << r.status << "): " << r.err;
        return false;
    }
    return true;
}

CatalogueConf::CatalogueConf(const DbTarget &t)
    : c_(static_cast<CONF *>(calloc(1, sizeof(CONF))))
{
    set(&c_->db_type, t.type);
    set(&c_->db_host, t.host);
    set(&c_->db_name, t.name);
    set(&c_->db_user, t.user);
    set(&c_->db_passwd, t.passwd);
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

void CatalogueConf::set(char **field, const std::string &value)
{
    free(*field);
    *field = strdup(value.c_str());
}

int CatalogueConf::load(std::string *log)
{
    CONF *saved = conf;
    conf = c_;
    int rc;
    {
        LogCapture cap;
        rc = load_catalogue(c_);
        if (log)
            *log = cap.text();
    }
    conf = saved;
    return rc;
}

} // namespace testsupport
