// Texts from the bundle's tools printed in unattended mode: a terminal gets
// them with their control characters defused, anything else byte for byte.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "exec/text.h"

namespace {

TEST(TerminalText, ControlCharactersBecomeQuestionMarks) {
    struct Case {
        std::string in;
        std::string out;
    };
    const Case cases[] = {
        {"- kel-runtime\n- kel-doc\n", "- kel-runtime\n- kel-doc\n"},
        {"tab\tand\nbreak", "tab\tand\nbreak"},
        {"\x1b[?1049h\x1b(0", "?[?1049h?(0"},
        {std::string("nul\0cr\rbs\b\x0e\x07", 12), "nul?cr?bs???"},
        {"del\x7f", "del?"},
        // UTF-8: letters stay, C1 controls (here an 8-bit CSI) do not.
        {"\xc3\xa9t\xc3\xa9 \xc2\xa0", "\xc3\xa9t\xc3\xa9 \xc2\xa0"},
        {"\xc2\x9b" "2J", "?2J"},
        {"cut at the end \xc2", "cut at the end \xc2"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(terminal_safe(c.in), c.out) << c.in;
}

std::string readAll(int fd) {
    std::string text;
    char buf[256];
    for (ssize_t n; (n = read(fd, buf, sizeof buf)) > 0;)
        text.append(buf, static_cast<std::size_t>(n));
    return text;
}

TEST(TerminalText, PrintLineDefusesOnlyForATerminal) {
    const char* text = "m \x1b[31mred\x1b[0m\n";

    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    FILE* pipeEnd = fdopen(fds[1], "w");
    print_line(pipeEnd, text);
    std::fclose(pipeEnd);
    EXPECT_EQ(readAll(fds[0]), std::string(text) + "\n");
    close(fds[0]);

    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    const int slave = open(ptsname(master), O_RDWR | O_NOCTTY);
    ASSERT_GE(slave, 0);
    FILE* tty = fdopen(slave, "w");
    print_line(tty, text);
    std::fclose(tty);
    char buf[256];
    const ssize_t n = read(master, buf, sizeof buf);
    ASSERT_GT(n, 0);
    // The terminal turns line breaks into CR LF itself.
    EXPECT_EQ(std::string(buf, static_cast<std::size_t>(n)), "m ?[31mred?[0m\r\n\r\n");
    close(master);
}

}  // namespace
