// The package-manager script's lists: empty or not, mandatory first, and the
// display form with dashes for the markers.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "installer/packages.h"

namespace {

TEST(PackageList, EmptyMeansNoLetterOrDigit) {
    EXPECT_EQ(check_list_empty(nullptr), 1);
    const std::vector<std::pair<std::string, int>> cases = {
        {"", 1}, {" \n\t\n", 1}, {"-\n", 1}, {"o foo\n", 0}, {"\n\n1", 0}, {"  m x", 0},
    };
    for (const auto& [list, expected] : cases) {
        SCOPED_TRACE(list);
        EXPECT_EQ(check_list_empty(list.c_str()), expected);
    }
}

TEST(PackageList, MandatoryOnlyByTheFirstCharacter) {
    EXPECT_EQ(check_list_for_mandatory_packages(nullptr), 0);
    const std::vector<std::pair<std::string, int>> cases = {
        {"m foo\n", 1}, {"m foo\no bar\n", 1}, {"mfoo", 1},
        {"o bar\nm foo\n", 0}, {" m foo\n", 0}, {"", 0},
    };
    for (const auto& [list, expected] : cases) {
        SCOPED_TRACE(list);
        EXPECT_EQ(check_list_for_mandatory_packages(list.c_str()), expected);
    }
}

TEST(PackageList, DisplayFormDashesTheFirstMarkerOfEachLine) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"m foo\no bar\n", "- foo\n- bar\n"},
        {"o moo o\n", "- moo o\n"},            // only the first marker of a line
        {"xo foo\n", "x- foo\n"},              // wherever it stands
        {"mo foo\n", "m- foo\n"},              // a marker needs a blank after it
        {"foo\n", "foo\n"},
        {"m foo\n\no bar", "- foo\n\n- bar"},
        {"m %s%n\no 100%\n", "- %s%n\n- 100%\n"},
        {"m", "m"},
        {"", ""},
    };
    for (const auto& [in, out] : cases) {
        SCOPED_TRACE(in);
        std::string buf = in;
        prepare_output_message(buf.data());
        EXPECT_EQ(buf, out);
    }
    prepare_output_message(nullptr);
}

}  // namespace
