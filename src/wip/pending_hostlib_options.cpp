#include "conf.h"
#include "weak.h"
extern "C" {
WEAK CONF *conf;
extern WEAK const tirskconf_hash_row http_methods_hash[] = {{0, nullptr, 0}};
WEAK char strHELP[STRHELP_SIZE];
WEAK CONF *init_CONF(void) { return nullptr; }
WEAK int parse_configs(CONF *, int, char **) { return 0; }
WEAK void free_CONF(CONF *) {}
WEAK int conf_key_handler(void *, void *, void *, const char *, const char *) { return 0; }
WEAK int tirsk_parse_URL(const char *, tirsk_URL *) { return 0; }
WEAK int set_remote_control(CONF *, const char *) { return 0; }
WEAK int set_event_collector(CONF *, const char *) { return 0; }
WEAK int load_catalogue(CONF *) { return 0; }
WEAK void strhelp_add_layout(int, const char *, int) {}
WEAK media_source *add_source(camera *, const char *) { return nullptr; }
}
