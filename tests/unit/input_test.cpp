// Input dialogs without a screen: the password filter, the text transform
// of the file text box, and what each dialog does in an unattended run.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "exec/host.h"
#include "installer/state.h"
#include "screens/input.h"

namespace {

TEST(PasswdFilter, MasksPrintableCharactersInTheFirst31Positions) {
    const struct {
        int ch;
        int cursor;
        int answer;
        bool stored;
    } cases[] = {
        {'a', 0, '*', true},
        {'~', 30, '*', true},
        {' ', 7, '*', true},
        {'a', 31, 'a', false},
        {'a', -1, 'a', false},
        {'\t', 5, '\t', false},
        {'\r', 5, '\r', false},
        {127, 5, 127, false},
        {0x8001, 5, 0x8001, false},  // a special key of the widget library
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "ch " << c.ch << " at " << c.cursor);
        char buf[33];
        std::memset(buf, '.', sizeof buf);
        EXPECT_EQ(passwdfilter(nullptr, buf, c.ch, c.cursor), c.answer);
        for (int i = 0; i < static_cast<int>(sizeof buf); ++i)
            EXPECT_EQ(buf[i], c.stored && i == c.cursor ? static_cast<char>(c.ch) : '.') << "at " << i;
    }
}

TEST(JoinDoubledNewlines, EachRunOfNewlinesKeepsOnlyItsLast) {
    const struct {
        const char* in;
        const char* out;
    } cases[] = {
        {"a\n\nb\n\n", "a \nb \n"},
        {"\n\n\n", "  \n"},
        {"a\n\n\n\nb", "a   \nb"},
        {"a\nb\n", "a\nb\n"},
        {"", ""},
        {"no newline", "no newline"},
    };
    for (const auto& c : cases) {
        std::string text = c.in;
        joinDoubledNewlines(text.data());
        EXPECT_EQ(text, c.out) << "from " << testing::PrintToString(std::string(c.in));
    }
    joinDoubledNewlines(nullptr);
}

struct Unattended : ::testing::Test {
    void SetUp() override { innewt = 0; }
};

TEST_F(Unattended, FileTextIsPrintedWithABlankBeforeEachLineEnd) {
    FILE* f = openTemp();
    std::fputs("  first line\n\tsecond line\n\nafter a blank line", f);
    testing::internal::CaptureStdout();
    EXPECT_EQ(layoutTextFromFile(f), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "first line \nsecond line   \nafter a blank line\n");

    int retry = 7;
    testing::internal::CaptureStdout();
    EXPECT_EQ(depDialog(f, &retry), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "first line \nsecond line   \nafter a blank line\n");
    EXPECT_EQ(retry, 7);
    std::fclose(f);
}

TEST_F(Unattended, MissingPackagesGoToStandardErrorOnePerLine) {
    const char* lines[] = {"kel-a", "kel b", "", nullptr};
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    missedPackages(lines);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "missedPackages[0]:kel-a\nmissedPackages[1]:kel b\nmissedPackages[2]:\n");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");

    const char* none[] = {nullptr};
    testing::internal::CaptureStderr();
    missedPackages(none);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST_F(Unattended, ProxyDialogsTakeTheirNoInputAnswers) {
    auth_pair pair;
    std::strcpy(pair.userName, "before");
    std::strcpy(pair.userPassword, "before too");
    EXPECT_EQ(getProxyUserPassInput("Proxy", &pair), -1);
    EXPECT_STREQ(pair.userName, "before");
    EXPECT_STREQ(pair.userPassword, "before too");
    // Go on without downloading.
    EXPECT_EQ(WrongProxyCredentialsMessage(), 1);
}

}  // namespace
