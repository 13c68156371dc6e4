// Options from the command line and the configuration file.
#include <glib.h>

#include "options_fixture.h"

using testsupport::write_file;

TEST_F(OptionsTest, ConfigurationFileWhereaboutsAndErrors)
{
    // No file at the default place: the defaults stand.
    free(c->conf_path);
    c->conf_path = strdup(dir.file("absent.conf").c_str());
    EXPECT_TRUE(parse({"-R", "25"}, false));
    EXPECT_EQ(c->framerate, 25u);

    // A file named with -c must be there.
    memset(strHELP, 0, sizeof strHELP);
    EXPECT_FALSE(parse({"-c", dir.file("missing.conf"), "-R", "20"}, false));
    EXPECT_EQ(result, 0);
    EXPECT_STREQ(c->conf_path, dir.file("missing.conf").c_str());
    EXPECT_EQ(c->framerate, 25u) << "command line applied after a bad file";

    // So must its contents be valid.
    write_conf("framerate 0\n");
    EXPECT_FALSE(parse({}));
    EXPECT_EQ(result, 0);
}

TEST_F(OptionsTest, FileKeysIgnoreCaseUnknownKeysAndCommandLineOnlyNames)
{
    write_conf("FrameRate 20\n"
               "GEO 800x600\n"
               "Single-Source yes\n"
               "no-such-option 12\n"
               "verbose 3\n"
               "quit yes\n"
               "help yes\n"
               "version yes\n"
               "conf /nonexistent\n"
               "layout -2\n");
    EXPECT_TRUE(parse({}));
    EXPECT_EQ(c->framerate, 20u);
    EXPECT_EQ(c->geo.width, 800u);
    EXPECT_EQ(c->geo.height, 600u);
    EXPECT_EQ(c->single_source, 1u);
    EXPECT_EQ(c->verbose, 0);
    EXPECT_EQ(c->quiet, 0u);
    EXPECT_EQ(c->help, 0u);
    EXPECT_EQ(c->version, 0u);
    EXPECT_EQ(c->start_layout, -2);
    EXPECT_STREQ(c->conf_path, conf_file.c_str());

    write_conf("layout two\n");
    EXPECT_FALSE(parse({}));
}

TEST_F(OptionsTest, FileSwitchesFollowTheirValueAndCommandLineWins)
{
    write_conf("fullscreen yes\n"
               "fullscreen no\n"
               "no-mouse yes\n"
               "no-tty false\n"
               "keep-aspect true\n"
               "iyuv 1\n"
               "framerate 20\n"
               "db-name from_file\n");
    EXPECT_TRUE(parse({"-R", "25", "-D", "from_cli"}));
    EXPECT_EQ(c->fullscreen, 0u);
    EXPECT_EQ(c->no_mouse, 0u);
    EXPECT_EQ(c->no_keyboard, 0u);
    EXPECT_EQ(c->keep_aspect, 1u);
    EXPECT_EQ(c->iyuv, 1u);
    EXPECT_EQ(c->framerate, 25u);
    EXPECT_STREQ(c->db_name, "from_cli");
}

TEST_F(OptionsTest, CommandLineSwitchesAndTexts)
{
    EXPECT_TRUE(parse({"-f", "-F", "-k", "-s", "-M", "--fit2screen", "--iyuv",
                       "--asyncblit", "-T", "pgsql", "-P", "secret",
                       "--db-port=5432", "-l", "7"}));
    for (uint32_t v : {c->fullscreen, c->no_winframe, c->keep_aspect,
                       c->smart_scale, c->no_mouse, c->fit2screen, c->iyuv,
                       c->asyncblit})
        EXPECT_EQ(v, 1u);
    EXPECT_EQ(c->no_keyboard, 0u);
    EXPECT_STREQ(c->db_type, "pgsql");
    EXPECT_STREQ(c->db_passwd, "secret");
    EXPECT_EQ(c->db_port, 5432u);
    EXPECT_EQ(c->start_layout, 7);

    c->fit2screen = 0;
    EXPECT_TRUE(parse({"--no-tty", "--fit"})); // unique abbreviation
    EXPECT_EQ(c->no_keyboard, 1u);
    EXPECT_EQ(c->fit2screen, 1u);
}

TEST_F(OptionsTest, SizePairsNeedTheirSeparator)
{
    EXPECT_TRUE(parse({"-g", "800:600"}));
    EXPECT_EQ(c->geo.width, 800u);
    EXPECT_EQ(c->geo.height, 600u);
    EXPECT_TRUE(parse({"-g", "1024x768", "-a", "16:9", "--border-size=2,3"}));
    EXPECT_EQ(c->geo.width, 1024u);
    EXPECT_EQ(c->geo.height, 768u);
    EXPECT_EQ(c->force_aspect.w, 16u);
    EXPECT_EQ(c->force_aspect.h, 9u);
    EXPECT_EQ(c->border_size.tb, 2u);
    EXPECT_EQ(c->border_size.lr, 3u);
    EXPECT_TRUE(parse({"--border-size=4 5"}));
    EXPECT_EQ(c->border_size.tb, 4u);
    EXPECT_EQ(c->border_size.lr, 5u);

    for (const char *bad : {"800*600", "800", "800x", "x600", "-800x600",
                            "800x-600", "99999999999x1"}) {
        SCOPED_TRACE(bad);
        EXPECT_FALSE(parse({"-g", bad}));
        EXPECT_TRUE(refused_with_hint());
        EXPECT_EQ(c->geo.width, 1024u) << "a refused value changed the field";
    }
    EXPECT_FALSE(parse({"-a", "4,3"}));
    EXPECT_FALSE(parse({"--border-size=2x3"}));
    EXPECT_TRUE(refused_with_hint());
}

TEST_F(OptionsTest, NumbersAreCheckedNotWrapped)
{
    EXPECT_FALSE(parse({"-R", "0"}));
    EXPECT_TRUE(refused_with_hint());
    EXPECT_FALSE(parse({"-R", "61"}));
    EXPECT_FALSE(parse({"-R", "fast"}));
    EXPECT_TRUE(parse({"-R", "60"}));
    EXPECT_EQ(c->framerate, 60u);

    // Read as "%u" reads them, minus the wrapping of negative numbers.
    EXPECT_TRUE(parse({"--no-signal=10", "--camname-timeout=+3",
                       "--cursor-timeout=2s"}));
    EXPECT_EQ(c->no_signal, 10u);
    EXPECT_EQ(c->camname_timeout, 3u);
    EXPECT_EQ(c->cursor_timeout, 2u);
    for (const char *bad : {"--no-signal=-1", "--fs-timeout=abc",
                            "--cursor-timeout=4294967296", "--db-port=65536",
                            "--db-port=-1", "--no-signal="}) {
        SCOPED_TRACE(bad);
        EXPECT_FALSE(parse({bad}));
        EXPECT_TRUE(refused_with_hint());
    }
    EXPECT_EQ(c->no_signal, 10u);

    EXPECT_TRUE(parse({"--reconnect-timeout=2.5", "--font-factor=1.25"}));
    EXPECT_EQ(c->reconnect_timeout, 2500u);
    EXPECT_EQ(c->font_factor, 1.25);
    EXPECT_TRUE(parse({"--reconnect-timeout=0.0019"}));
    EXPECT_EQ(c->reconnect_timeout, 1u) << "fraction of a millisecond cut";
    for (const char *bad : {"--reconnect-timeout=-1", "--reconnect-timeout=x",
                            "--reconnect-timeout=1e10", "--font-factor=0",
                            "--font-factor=nan", "--font-factor=-2"}) {
        SCOPED_TRACE(bad);
        EXPECT_FALSE(parse({bad}));
    }
    EXPECT_EQ(c->font_factor, 1.25);

    // Whole numbers in range, as in the file; the catalogue settles which.
    for (const char *bad : {"-lx", "-l4294967298", "-l2x", "-v2147483647", "--shot-dir=/etc/passwd",
                            "--border-size=2147483648,1", "--geo=4294967295x2", "--font-factor=1e300"}) {
        SCOPED_TRACE(bad);
        EXPECT_FALSE(parse({bad}));
    }
    EXPECT_TRUE(parse({"-l", "7"}));
    EXPECT_EQ(c->start_layout, 7);
}

TEST_F(OptionsTest, VerboseLevelsAndQuiet)
{
    struct {
        std::vector<std::string> args;
        int verbose;
        uint32_t quiet;
    } const cases[] = {
        {{"-v"}, 1, 0},       {{"-vv"}, 2, 0},          {{"-vvv"}, 3, 0},
        {{"-v3"}, 3, 0},      {{"--verbose=4"}, 4, 0},  {{"--verbose"}, 1, 0},
        {{"-v2", "-q"}, 0, 1}, {{"-q", "-v2"}, 2, 1},   {{"--quit"}, 0, 1},
    };
    for (const auto &t : cases) {
        SCOPED_TRACE(t.args[0] + (t.args.size() > 1 ? " " + t.args[1] : ""));
        c->verbose = 0;
        c->quiet = 0;
        EXPECT_TRUE(parse(t.args));
        EXPECT_EQ(c->verbose, t.verbose);
        EXPECT_EQ(c->quiet, t.quiet);
    }
    for (const char *bad : {"-vx", "-vvx", "--verbose=", "-v99999999999"}) {
        SCOPED_TRACE(bad);
        EXPECT_FALSE(parse({bad}));
        EXPECT_TRUE(refused_with_hint());
    }
    EXPECT_TRUE(said("ERROR: invalid verbose optarg value \"99999999999\"\n"));
    EXPECT_FALSE(parse({"-vx"}));
    EXPECT_EQ(err.find("ERROR: invalid verbose optarg value \"x\"\n"), 0u);
}

TEST_F(OptionsTest, UnknownOptionsAreNamed)
{
    EXPECT_FALSE(parse({"--bogus"}));
    EXPECT_TRUE(refused_with_hint());
    EXPECT_TRUE(said("unknown option `--bogus'\n\nsee `tirsk-mon --help'")) << err;
    parse({"--quiet"}); // the help text's name of "quit"
    EXPECT_EQ(c->quiet, 1u) << err;
    EXPECT_FALSE(parse({"-f", "-x"}));
    EXPECT_TRUE(said("unknown option `-x'")) << err;
    EXPECT_FALSE(parse({"-xf"}));
    EXPECT_TRUE(said("unknown option `-xf'")) << err;
    // An option that lacks its argument refuses the command line too.
    EXPECT_FALSE(parse({"-g"}));
    EXPECT_TRUE(refused_with_hint());
}

TEST_F(OptionsTest, DisplayLetterAndRemoteControlPort)
{
    EXPECT_TRUE(parse({"--display=left", "-r", "http://*:2001/x"}));
    EXPECT_EQ(c->display, 'L');
    EXPECT_EQ(c->display_set, 1u);
    EXPECT_EQ(c->rctrl_url.port, 2001u);
    // The right display listens one port up, with remote control or not.
    EXPECT_TRUE(parse({"-d", "r", "-r", "http://*:2001/x"}));
    EXPECT_EQ(c->display, 'R');
    EXPECT_EQ(c->rctrl_enabled, 1u);
    EXPECT_EQ(c->rctrl_addr, 0u);
    EXPECT_EQ(c->rctrl_url.port, 2002u);
    c->rctrl_enabled = 0;
    c->rctrl_url.port = 0;
    EXPECT_TRUE(parse({"-d", "R"}));
    EXPECT_EQ(c->rctrl_url.port, 1u);
    // ... but never wraps round to 0, which would mean any port.
    EXPECT_FALSE(parse({"-d", "R", "-r", "http://*:65535"}));
    EXPECT_EQ(result, 0);
    EXPECT_NE(c->rctrl_url.port, 0u);

    EXPECT_FALSE(parse({"-d", "X"}));
    EXPECT_TRUE(refused_with_hint());
    EXPECT_FALSE(parse({"-d", ""}));
}

TEST_F(OptionsTest, RemoteControlRejections)
{
    EXPECT_FALSE(parse({"-r", "http://*"}));
    EXPECT_TRUE(refused_with_hint());
    EXPECT_TRUE(said("invalid url (proto://host:port[/path]) - \"http://*\"")) << err;
    EXPECT_TRUE(said("remote-control URL should be this format: "
                       "http://HOST:PORT[/PATH-PREFIX]")) << err;
    EXPECT_FALSE(parse({"-r", "http://192.0.2.1:2001/x"}));
    EXPECT_TRUE(said("could not found a local ip address of \"192.0.2.1\"")) << err;
    EXPECT_EQ(c->rctrl_enabled, 0u);
}

TEST_F(OptionsTest, AllowedFromListLimitAndReplacement)
{
    EXPECT_TRUE(parse({"--allowed-from=127.0.0.1, 192.168.43.0/24;10.0.0.0/8"}));
    ASSERT_EQ(c->allowed_from_count, 3u);
    EXPECT_EQ(c->allowed_from[0].addr, htonl(0x7F000001));
    EXPECT_EQ(c->allowed_from[0].mask, 0xFFFFFFFFu);
    EXPECT_EQ(c->allowed_from[1].addr, htonl(0xC0A82B00));
    EXPECT_EQ(c->allowed_from[1].mask, htonl(0xFFFFFF00));
    EXPECT_EQ(c->allowed_from[2].mask, htonl(0xFF000000));

    std::string ten, eleven;
    for (int i = 1; i <= 11; i++) {
        std::string item = "10.0.0." + std::to_string(i);
        if (i <= 10)
            ten += (i > 1 ? "," : "") + item;
        eleven += (i > 1 ? " " : "") + item;
    }
    EXPECT_TRUE(parse({"--allowed-from=" + ten}));
    EXPECT_EQ(c->allowed_from_count, 10u);
    EXPECT_EQ(c->allowed_from[9].addr, htonl(0x0A00000A));

    EXPECT_FALSE(parse({"--allowed-from=" + eleven}));
    EXPECT_TRUE(refused_with_hint());
    EXPECT_TRUE(said("\"allowed-from\" limit(10) occured")) << err;
    EXPECT_EQ(c->allowed_from_count, 10u) << "refused list replaced the old one";

    EXPECT_FALSE(parse({"--allowed-from=127.0.0.1,300.1.1.1"}));
    EXPECT_FALSE(parse({"--allowed-from="}));
    EXPECT_TRUE(said("empty \"allowed-from\" value")) << err;
    EXPECT_FALSE(parse({"--allowed-from= ,;"}));
    EXPECT_EQ(c->allowed_from_count, 10u);
}

TEST_F(OptionsTest, AlarmMessagesLimitLengthAndKeptTexts)
{
    write_conf("alarm-msgs \" was alarms ; CASE OPENED ; BATTERY LOW \"\n");
    EXPECT_TRUE(parse({}));
    EXPECT_STREQ(c->alarm_msgs[0], "was alarms");
    EXPECT_STREQ(c->alarm_msgs[1], "CASE OPENED");
    EXPECT_STREQ(c->alarm_msgs[2], "BATTERY LOW");
    EXPECT_STREQ(c->alarm_msgs[3], "");

    // Fewer messages leave the later ones as they were.
    write_conf("");
    EXPECT_TRUE(parse({"--alarm-msgs=door open"}));
    EXPECT_STREQ(c->alarm_msgs[0], "door open");
    EXPECT_STREQ(c->alarm_msgs[1], "CASE OPENED");

    EXPECT_TRUE(parse({"--alarm-msgs=a;b;c;" + std::string(40, 'd')}));
    EXPECT_EQ(std::string(c->alarm_msgs[3]), std::string(32, 'd'));

    // Cyrillic letters are two bytes: a cut keeps whole letters.
    std::string word;
    for (int i = 0; i < 20; i++)
        word += "Ж";
    EXPECT_TRUE(parse({"--alarm-msgs=" + word}));
    EXPECT_EQ(strlen(c->alarm_msgs[0]), 32u);
    EXPECT_TRUE(g_utf8_validate(c->alarm_msgs[0], -1, nullptr));
    EXPECT_TRUE(parse({"--alarm-msgs=x" + word}));
    EXPECT_EQ(strlen(c->alarm_msgs[0]), 31u);
    EXPECT_TRUE(g_utf8_validate(c->alarm_msgs[0], -1, nullptr));

    EXPECT_FALSE(parse({"--alarm-msgs=1;2;3;4;5"}));
    EXPECT_TRUE(refused_with_hint());
    EXPECT_TRUE(said("\"alarm-msgs\" messages number limit(4) occured")) << err;
    EXPECT_EQ(std::string(c->alarm_msgs[0]), "x" + word.substr(0, 30))
        << "refused list changed messages";
    EXPECT_STREQ(c->alarm_msgs[1], "b");
    EXPECT_FALSE(parse({"--alarm-msgs="}));
    EXPECT_TRUE(said("empty \"alarm-msgs\" value")) << err;
}

TEST_F(OptionsTest, SnapshotDirectoryMustBeWritable)
{
    EXPECT_TRUE(parse({"--shot-dir=" + dir.path()}));
    EXPECT_EQ(c->shot_dir, dir.path());
    EXPECT_FALSE(parse({"--shot-dir=" + dir.file("none")}));
    EXPECT_TRUE(refused_with_hint());
    EXPECT_EQ(c->shot_dir, dir.path());
}

TEST_F(OptionsTest, EventCollectorMustBeARunnableFile)
{
    std::string script = dir.file("collector.sh");
    write_file(script, "#!/bin/sh\ncat >/dev/null\n", 0755);
    std::string plain = dir.file("plain.txt");
    write_file(plain, "text\n", 0644);

    EXPECT_TRUE(parse({"-e", script}));
    EXPECT_EQ(c->event_collector, script);

    if (geteuid() != 0) { // root may run anything
        EXPECT_FALSE(parse({"-e", plain}));
        EXPECT_TRUE(said("event-collector path \"" + plain +
                           "\" value is invalid (#13 ")) << err;
    }
    EXPECT_FALSE(parse({"-e", dir.file("absent")}));
    EXPECT_TRUE(refused_with_hint());
    EXPECT_TRUE(said("event-collector path \"" + dir.file("absent") +
                       "\" value is invalid (#2 ")) << err;
    EXPECT_FALSE(parse({"-e", dir.path()})) << "a directory cannot be run";
    EXPECT_EQ(c->event_collector, script);
}

TEST_F(OptionsTest, HelpAndVersionComeAfterAllOtherChecks)
{
    EXPECT_FALSE(parse({"--help", "-R", "0"}));
    EXPECT_TRUE(refused_with_hint());
    EXPECT_EQ(out, "");

    write_conf("framerate 99\n");
    EXPECT_FALSE(parse({"-h"}));
    EXPECT_EQ(out, "");

    write_conf("");
    EXPECT_FALSE(parse({"-h", "-V"}));
    EXPECT_EQ(result, 0);
    EXPECT_NE(out.find("\nusage: tirsk-mon [OPTIONS]\n"), std::string::npos);
    EXPECT_EQ(out.find("build date"), out.rfind("build date")) << "banner twice";

    c->help = 0;
    EXPECT_FALSE(parse({"-V"}));
    EXPECT_EQ(result, 0);
    EXPECT_EQ(out.find("\ntirsk-mon-" TIRSK_VERSION " build date "), 0u) << out;
}
