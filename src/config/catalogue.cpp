// The catalogue step of parse_configs: cameras and layouts from the
// installation's database into the CONF record.
#include "catalogue.h"

#include "catalogue_db.h"
#include "conf.h"

// Errors are counted so that every bad value is reported before the program
// stops; a failed connection or query ends the load at once.
extern "C" int load_catalogue(CONF *c)
{
    if (!c)
        return 0;
    // The program sets its final log level only after the options and the
    // catalogue; until then the level is the one for reading the file, which
    // would drop the "(*) " lines that -v asks for here.
    const int saved_level = tirsklog_level_get();
    if (saved_level < log_level_for(c))
        tirsklog_level_set(log_level_for(c));
    int errors = 0;
    switch (catalogue_connect(c)) {
    case CATDB_FAILED:
        return 0;
    case CATDB_NO_LOGIN:
        ++errors;
        break;
    default: {
        cam_defaults defaults;
        if (load_camera_defaults(c, &defaults, &errors) &&
            load_cameras(c, defaults, &errors) && load_layouts(c, &errors))
            settle_start_layout(c, &errors);
        break;
    }
    }
    catalogue_disconnect(c);
    tirsklog_level_set(saved_level);
    return errors == 0;
}
