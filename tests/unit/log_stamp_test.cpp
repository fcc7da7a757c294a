// The time stamp written from the exit-signal handler, which cannot use
// localtime_r: the date arithmetic across leap days, year ends and offsets,
// and the raw entry as a whole.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>

#include "exec/log.h"
#include "installer/state.h"

namespace {

TEST(LogStamp, CivilDateAndOffset) {
    struct Case {
        long long t;
        long gmtoff;
        const char* expected;
    };
    const Case cases[] = {
        {0, 0, "1970-01-01T00:00:00+0000"},
        {-1, 0, "1969-12-31T23:59:59+0000"},
        {951782400, 0, "2000-02-29T00:00:00+0000"},
        {951868799, 0, "2000-02-29T23:59:59+0000"},
        // The offset moves the date across a year end, and back over a leap day.
        {1704067199, 3600, "2024-01-01T00:59:59+0100"},
        {951782400, -18000, "2000-02-28T19:00:00-0500"},
        // Offsets with minutes.
        {1709596022, 19800, "2024-03-05T05:17:02+0530"},
        {1709596022, -34200, "2024-03-04T14:17:02-0930"},
        {2147483647, 0, "2038-01-19T03:14:07+0000"},
        {4102444800, 0, "2100-01-01T00:00:00+0000"},
    };
    for (const Case& c : cases) {
        char out[64];
        const std::size_t n = format_log_stamp(out, c.t, c.gmtoff);
        EXPECT_EQ(std::string(out), c.expected) << c.t << " " << c.gmtoff;
        EXPECT_EQ(n, std::string(c.expected).size());
    }
}

TEST(LogStamp, RawEntryMatchesTheStampOfGetDate) {
    char tmpl[] = "/tmp/kel-stamp.XXXXXX";
    const std::filesystem::path dir = mkdtemp(tmpl);
    std::string path = (dir / "install.log").string();
    log_path = path.data();
    // A zone with an offset, so that a stamp taken without it would differ.
    const char* old_tz = std::getenv("TZ");
    const std::string saved = old_tz ? old_tz : "";
    setenv("TZ", "XST-5:30", 1);
    tzset();

    char date[64];
    get_date(date, sizeof date);
    write_log_raw("Exiting with code 143\n");

    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    std::smatch m;
    const std::string entry = text.str();
    ASSERT_TRUE(std::regex_match(entry, m, std::regex(R"((\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d)(\+0530): Exiting with code 143\n)")))
        << entry;
    // The same minute as get_date's stamp (the second may have turned).
    EXPECT_EQ(m[1].str().substr(0, 16), std::string(date).substr(0, 16));

    if (old_tz)
        setenv("TZ", saved.c_str(), 1);
    else
        unsetenv("TZ");
    tzset();
    log_path = nullptr;
    std::filesystem::remove_all(dir);
}

}  // namespace
