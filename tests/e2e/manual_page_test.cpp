// The manual page: it renders without warnings, fits a standard terminal,
// and documents every option the program accepts.
#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "harness.h"

namespace {

const std::string kPage = std::string(KEL_SOURCE_DIR) + "/doc/kelvarin-install.8";

// Columns of a UTF-8 line: one per character (the page has no wide ones).
std::size_t columns(const std::string& line) {
    std::size_t n = 0;
    for (unsigned char c : line)
        n += (c & 0xC0) != 0x80;
    return n;
}

RunResult render() {
    return runProcess({"man", "-l", kPage}, {"MANWIDTH=80", "MANPAGER=cat", "LC_ALL=C.UTF-8"});
}

// The text of a section of the rendered page, up to the next heading.
std::string section(const std::string& page, const std::string& name) {
    const std::size_t start = page.find("\n" + name + "\n");
    if (start == std::string::npos)
        return "";
    static const std::regex heading("\n[A-Z][A-Z ]+\n");
    std::smatch next;
    const std::string rest = page.substr(start + name.size() + 1);
    return std::regex_search(rest, next, heading) ? rest.substr(0, static_cast<std::size_t>(next.position(0))) : rest;
}

TEST(ManualPage, RendersWithoutWarningsWithin80Columns) {
    const RunResult groff = runProcess({"groff", "-man", "-Tutf8", "-ww", "-z", kPage});
    EXPECT_EQ(groff.status, 0);
    EXPECT_EQ(groff.err, "");

    const RunResult man = render();
    EXPECT_EQ(man.status, 0);
    EXPECT_EQ(man.err, "");
    for (const char* name : {"NAME", "SYNOPSIS", "DESCRIPTION", "OPTIONS", "UNATTENDED USE", "EXIT STATUS", "LOG",
                             "BUNDLE LAYOUT", "ENVIRONMENT", "EXAMPLES"})
        EXPECT_NE(section(man.out, name), "") << name;
    std::istringstream lines(man.out);
    std::string line;
    while (std::getline(lines, line))
        EXPECT_LE(columns(line), 80u) << line;
}

TEST(ManualPage, DocumentsEveryOptionExitStatusAndVariable) {
    const std::string page = render().out;
    // The program's own list of options, plus the one its usage text leaves out.
    const RunResult help = runProcess({kInstaller, "--help"}, {"LC_ALL=C", "LANGUAGE="});
    ASSERT_EQ(help.status, 0);
    std::set<std::string> options = {"--log-path"};
    const std::regex option(R"((-[a-z]),(--[a-z-]+))");
    for (std::sregex_iterator it(help.err.begin(), help.err.end(), option), end; it != end; ++it) {
        options.insert((*it)[1]);
        options.insert((*it)[2]);
    }
    ASSERT_EQ(options.size(), 11u) << help.err;
    const std::string documented = section(page, "OPTIONS");
    for (const auto& opt : options) {
        // Each option leads an entry: "-i, --install" or "--log-path=file".
        const std::regex entry("\n {7}(-[a-z], )?" + opt + "[,=\n]");
        EXPECT_TRUE(std::regex_search(documented, entry)) << opt << " has no entry under OPTIONS:\n" << documented;
    }
    const std::string statuses = section(page, "EXIT STATUS");
    for (const char* status : {"0", "1", "2", "10"})
        EXPECT_TRUE(std::regex_search(statuses, std::regex(std::string("\n {7}") + status + " +[A-Z]")))
            << "exit status " << status << ":\n" << statuses;
    const std::string environment = section(page, "ENVIRONMENT");
    for (const char* variable : {"HLC_WRAPPER_LIBREPO", "LANGUAGE", "LC_ALL", "LANG"})
        EXPECT_NE(environment.find(variable), std::string::npos) << variable;
}

}  // namespace
