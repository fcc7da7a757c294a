// Version comparison against the platform and kernel minimums, the kernel
// list rule, and the refusal text chosen for each check result.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "installer/restrictions.h"
#include "installer/version_check.h"

namespace {

int sign(int v) {
    return (v > 0) - (v < 0);
}

struct VersionCase {
    std::string version;
    const _ver_elem* table;
    int expected;  // the sign, except -2 which is exact
};

TEST(CompareVersion, AgainstTheMinimumTables) {
    const std::vector<VersionCase> cases = {
        // Platform 4.0.0-464.
        {"4.0.0.464", hqcMin, 0},
        {"4.0.0-464", hqcMin, 0},
        {"4.0.0.463", hqcMin, -1},
        {"3.9.9.999", hqcMin, -1},
        {"4.0.1.1", hqcMin, 1},
        {"4.6.0.1", hqcMin, 1},
        {"5.0.0.1", hqcMin, 1},
        {"4.0.0.464.1", hqcMin, 1},  // a component beyond the table
        {"4.0.0", hqcMin, -1},       // stops early
        {"04.00.0.0464", hqcMin, 0},  // leading zeros do not count in numbers
        {"4.0.0.464abc", hqcMin, 0},  // a number stops at its first non-digit
        {" +4.0.0.464", hqcMin, 0},
        {"-4..0.0--464-", hqcMin, 0},  // separator runs and ends make no empty parts
        {"corvane-release-4.0.0-464.noarch", hqcMin, -1},  // a word reads as 0
        // Kernel 2.6.18-028stab060.1.
        {"2.6.18-028stab060.1", cvkernelMin, 0},
        {"2.6.18-028stab091.1", cvkernelMin, 1},
        {"2.6.18-028stab059.1", cvkernelMin, -1},
        {"2.6.18-28stab060.1", cvkernelMin, 1},  // text order: '2' after '0'
        {"2.6.32-042stab123.1", cvkernelMin, 1},
        {"2.6.18-028stab060", cvkernelMin, -1},
        {"2.6.18-028stab060.1.el5", cvkernelMin, 1},
        {"2.6.18-028stab060.0", cvkernelMin, -1},
        {"3.10.0-327.36.1.el7", cvkernelMin, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.version);
        std::string buf = c.version;
        EXPECT_EQ(sign(compare_version(buf.data(), c.table)), c.expected);
    }
}

TEST(CompareVersion, NoComponentIsMinusTwo) {
    for (std::string text : {"", ".", "-..-"}) {
        SCOPED_TRACE(text);
        EXPECT_EQ(compare_version(text.data(), hqcMin), -2);
    }
}

TEST(CompareVersion, SplitsTheCallersTextInPlace) {
    // What is left is the first component: a later query that prints nothing
    // is judged on it.
    char text[] = "4.0.0.464";
    EXPECT_EQ(compare_version(text, hqcMin), 0);
    EXPECT_STREQ(text, "4");
}

struct ListCase {
    std::string versions;
    int expected;
};

TEST(CompareCvkernelVersion, AnyStabLineAtTheMinimumPasses) {
    const std::vector<ListCase> cases = {
        {"2.6.18-028stab059.1\n2.6.18-028stab060.1\n", 0},
        {"2.6.18-028stab060.1", 0},
        {"\n\n2.6.18-028stab060.1\n\n", 0},
        {"2.6.32-042stab123.1\n", 1},
        {"2.6.18-028stab060.1.el5\n", 1},
        {"2.6.18-028stab060\n", -1},
        {"2.6.18-028stab059.1\n", -1},
        {"3.10.0-327.36.1.el7\n", -1},  // newer, but not of the stab family
        {"5.0.0-1\n2.6.18-028stab059.1\n", -1},
        {"4", -1},  // a platform version left in the capture
        {"", -2},
        {"\n\n", -2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.versions);
        std::string buf = c.versions;
        EXPECT_EQ(compare_cvkernel_version(buf.data()), c.expected);
    }
}

TEST(HqcRefusal, EachResultHasItsMessage) {
    EXPECT_EQ(hqc_refusal_message(0), nullptr);
    const std::vector<std::pair<int, std::string>> cases = {
        {1, "There is no Corvane Virozevovo installed on the system."},
        {2, "QC verion is not supported"},
        {3, "currently installed kernels are not supported"},
        {4, "currently loaded kernel is not supported"},
    };
    for (const auto& [result, phrase] : cases) {
        SCOPED_TRACE(result);
        const char* text = hqc_refusal_message(result);
        ASSERT_NE(text, nullptr);
        EXPECT_EQ(std::string(text).rfind("Installation can not be continued.\n", 0), 0u);
        EXPECT_NE(std::strstr(text, phrase.c_str()), nullptr) << text;
    }
    for (int other : {-2, -1, 5, 100}) {
        SCOPED_TRACE(other);
        EXPECT_STREQ(hqc_refusal_message(other), "Installation can not be continued.\nFailed to detect installed QC.");
    }
}

}  // namespace
