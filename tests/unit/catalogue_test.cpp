// The message catalogues: every text the installer shows or prints to a person
// is marked for translation and in the template, and the German catalogue
// translates every text of the template.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "catalogue_scan.h"

namespace {

namespace fs = std::filesystem;

std::string slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::string printable(std::string text) {
    std::string out;
    for (char c : text)
        out += c == '\n' ? std::string("\\n") : c == '\t' ? std::string("\\t") : std::string(1, c);
    return "\"" + out + "\"";
}

// Texts that stay as they are in every language, each with the reason.
const std::map<std::string, const char*> kUntranslated = {
    {"Kelvarin", "product name"},
    {"Kelvarin for Linux", "product name"},
    {"kel", "product code name handed to the package-manager script"},
    {"installing", "gerund; callers put it into translated formats"},
    {"upgrading", "gerund"},
    {"removing", "gerund"},
    {"downloading", "gerund"},
    {"unknown", "gerund of an unknown action"},
    {"Upgrade", "action list entry"},
    {"Remove", "action list entry"},
    {"Migrate the entire server", "Xen list entry"},
    {"Migrate Xen virtual machines only", "Xen list entry"},
    {"There is not enough space on the disk.", "disk-space fallback when the check prints nothing"},
    {"LICENSE", "bundle file name"},
    {"Manifest", "bundle file name handed to the installation tool"},
    {"install", "option name, context and text domain"},
    {"remove", "option name"},
    {"force", "option name"},
    {"help", "option name"},
    {"version", "option name"},
    {"(not found)", "stands for a missing probe in a log line"},
    {"ENV", "environment variable dropped before the first command"},
    {"IFS", "environment variable dropped before the first command"},
    {"CDPATH", "environment variable dropped before the first command"},
    {"LOCPATH", "environment variable dropped before the first command"},
    {"SHELLOPTS", "environment variable dropped before the first command"},
    {"BASHOPTS", "environment variable dropped before the first command"},
    {"LANGUAGE", "locale variable name"},
    {"LANG", "locale variable name"},
};

// Calls whose text arguments never reach a person: the log, command lines,
// and library calls that take names, modes or patterns.
const std::set<std::string> kSinks = {
    "write_log",  "execCmd",  "execCmd2", "execCmd3", "exec_with_progress", "system",
    "popen",      "fopen",    "fdopen",   "open",     "access",             "stat",
    "lstat",      "statfs",   "unlink",   "chdir",    "setenv",             "getenv",
    "strcmp",     "strncmp",  "strstr",   "strchr",   "strrchr",            "strpbrk",
    "strcspn",    "strspn",   "strtok",   "strtok_r", "sscanf",             "fscanf",
    "strftime",   "setlocale", "bindtextdomain", "textdomain", "poptGetContext", "unsetenv",
    "get_filename", "find_file_up", "check_file", "check_dir", "find_tool",
    "terminal_lost",  // its reason goes to the log
};

// Printf conversions removed: what words are left.
std::string withoutConversions(const std::string& text) {
    static const std::regex conv(R"(%[0-9$#+ '.*-]*[hlLqjzt]*[a-zA-Z%])");
    return std::regex_replace(text, conv, "");
}

// A shell command line or tool arguments: options after a command, a leading
// option, a bundle or system program, or shell plumbing.
bool isCommandLine(const std::string& text) {
    static const std::regex command(
        R"(^\(?\s*(-{1,2}[a-zA-Z]|[./\w-]+ +-{1,2}[a-zA-Z]|(\./|/bin/|/sbin/|/usr/s?bin/)\S+ ))"
        R"(|2>&1|>\s*/dev/null|2>/dev/null| \| )");
    return std::regex_search(text, command);
}

// No words for a person: formats, paths, file and option names, identifiers.
bool isTechnical(const std::string& text) {
    const std::string rest = withoutConversions(text);
    static const std::regex word("[A-Za-z]{2,}");
    if (!std::regex_search(rest, word))
        return true;
    // A single plain word ("Done", "Upgrade") is a text; a single token with
    // digits or symbols inside ("/proc/mounts", "x86_64", "--force") is not.
    static const std::regex plainWord(R"(^\s*[A-Za-z]+[.!?:]?\s*$)");
    return rest.find(' ') == std::string::npos && !std::regex_match(rest, plainWord);
}

enum class Verdict { Marked, Technical, Command, Sink, Untranslated, Unmarked };

Verdict judge(const SourceLiteral& lit) {
    if (lit.marked())
        return Verdict::Marked;
    if (lit.text.empty() || isTechnical(lit.text))
        return Verdict::Technical;
    for (const auto& call : lit.calls)
        if (kSinks.count(call))
            return Verdict::Sink;
    if (kUntranslated.count(lit.text))
        return Verdict::Untranslated;
    if (isCommandLine(lit.text))
        return Verdict::Command;
    return Verdict::Unmarked;
}

struct SourceFile {
    std::string name;  // relative to the source tree
    std::vector<SourceLiteral> literals;
};

std::vector<SourceFile> programSources() {
    std::vector<SourceFile> files;
    const fs::path root = KEL_SOURCE_DIR;
    for (const auto& e : fs::recursive_directory_iterator(root / "src")) {
        const auto ext = e.path().extension();
        if (e.is_regular_file() && (ext == ".cpp" || ext == ".h"))
            files.push_back({fs::relative(e.path(), root).string(), scanLiterals(slurp(e.path()))});
    }
    return files;
}

std::map<std::string, PoEntry> byMsgid(const std::vector<PoEntry>& entries) {
    std::map<std::string, PoEntry> out;
    for (const auto& e : entries)
        out[e.msgctxt + '\x04' + e.msgid] = e;
    return out;
}

// Whether a translation keeps the blanks and line breaks around a text, which
// pad buttons and lay texts out: the leading ones as they are, the trailing
// ones at the end. A translation may add trailing blanks to line a label up.
bool keepsEdges(const std::string& msgid, const std::string& tr) {
    auto lead = [](const std::string& t) { return t.substr(0, t.find_first_not_of(" \n")); };
    auto trail = [](const std::string& t) {
        const auto last = t.find_last_not_of(" \n");
        return last == std::string::npos ? t : t.substr(last + 1);
    };
    const std::string want = trail(msgid);
    const std::string got = trail(tr);
    return lead(tr) == lead(msgid) && got.size() >= want.size() &&
        got.compare(got.size() - want.size(), want.size(), want) == 0 &&
        std::count(got.begin(), got.end(), '\n') == std::count(want.begin(), want.end(), '\n');
}

TEST(Catalogue, ScannerSeesEachKindOfLiteral) {
    struct Case {
        const char* source;
        std::string text;
        Verdict verdict;
    };
    const std::vector<Case> cases = {
        {R"(newtButton(-1, -1, "Go on");)", "Go on", Verdict::Unmarked},
        {R"(newtButton(-1, -1, _("Go on"));)", "Go on", Verdict::Marked},
        {R"(const list_s items[] = {{N_("Upgrade"), 1}, {nullptr, 0}};)", "Upgrade", Verdict::Marked},
        {R"(const list_s items[] = {{"Keep it", 1}, {nullptr, 0}};)", "Keep it", Verdict::Unmarked},
        {R"(std::printf("Done\n");)", "Done\n", Verdict::Unmarked},
        {"show_message(\"Split \"\n   \"in two\", b);", "Split in two", Verdict::Unmarked},
        {R"(show_message(bfmt(TEXT_BUF, "%s is gone", p).c_str(), b);)", "%s is gone", Verdict::Unmarked},
        {R"(write_log("%s done, %d left\n", a, n);)", "%s done, %d left\n", Verdict::Sink},
        {R"(execCmd(bfmt(TEXT_BUF, "probe %s", x).c_str(), 0);)", "probe %s", Verdict::Sink},
        {R"(run(strfmt("rpm -q --qf '%{version}' %s", p));)", "rpm -q --qf '%{version}' %s", Verdict::Command},
        {R"(run(strfmt("cd %s; tar -zxf %s 2>/dev/null", a, b));)", "cd %s; tar -zxf %s 2>/dev/null",
         Verdict::Command},
        {R"(read_table("/proc/mounts");)", "/proc/mounts", Verdict::Technical},
        {R"(std::printf("%s\n", text);)", "%s\n", Verdict::Technical},
        {R"(label = newtLabel(-1, -1, "  0%");)", "  0%", Verdict::Technical},
        {R"(#define GREETING "Hello there")", "Hello there", Verdict::Unmarked},
        {R"(return "upgrading";)", "upgrading", Verdict::Untranslated},
    };
    for (const auto& c : cases) {
        const auto found = scanLiterals(c.source);
        ASSERT_EQ(found.size(), 1u) << c.source;
        EXPECT_EQ(found[0].text, c.text) << c.source;
        EXPECT_EQ(judge(found[0]), c.verdict) << c.source;
    }

    // Comments, character literals and #include lines hold no texts.
    const auto quiet =
        scanLiterals("#include \"screens/screen.h\"\n// \"a comment\"\n/* \"another\" */\nchar q = '\"';\n");
    EXPECT_TRUE(quiet.empty());
    // Line numbers survive comments and joined literals; raw strings count.
    const auto lines = scanLiterals("/* one\n two */\nf(\"a\"\n  \"b\");\ng(R\"(x\ny)\");\nh(\"z\");\n");
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].line, 3);
    EXPECT_EQ(lines[1].text, "x\ny");
    EXPECT_EQ(lines[2].line, 7);
}

TEST(Catalogue, EveryTextForAPersonIsMarkedAndInTheTemplate) {
    const auto pot = byMsgid(readPo(slurp(KEL_POT_FILE)));
    ASSERT_FALSE(pot.empty()) << KEL_POT_FILE;
    std::set<std::string> untranslatedSeen;
    for (const auto& file : programSources()) {
        for (const auto& lit : file.literals) {
            const std::string where = file.name + ":" + std::to_string(lit.line) + ": " + printable(lit.text);
            switch (judge(lit)) {
            case Verdict::Marked:
                EXPECT_TRUE(pot.count(std::string("\x04") + lit.text)) << where << " is marked but not in the template";
                break;
            case Verdict::Unmarked:
                ADD_FAILURE() << where << " is shown to a person but not marked with _() or N_(); "
                              << "if it must stay as it is, add it to kUntranslated with the reason";
                break;
            case Verdict::Untranslated:
                untranslatedSeen.insert(lit.text);
                break;
            default:
                break;
            }
        }
    }
    // The list stays honest: every entry still names a text of the program.
    for (const auto& [text, why] : kUntranslated)
        EXPECT_TRUE(untranslatedSeen.count(text)) << printable(text) << " (" << why << ") is no longer in src/";
}

TEST(Catalogue, GermanTranslatesEveryTextOfTheTemplate) {
    const auto pot = readPo(slurp(KEL_POT_FILE));
    const auto de = byMsgid(readPo(slurp(std::string(KEL_SOURCE_DIR) + "/po/de.po")));
    ASSERT_FALSE(pot.empty());
    for (const auto& want : pot) {
        const auto it = de.find(want.msgctxt + '\x04' + want.msgid);
        const std::string shown = printable(want.msgid);
        if (it == de.end()) {
            ADD_FAILURE() << shown << " is missing from po/de.po (cmake --build build --target update-po)";
            continue;
        }
        const PoEntry& got = it->second;
        EXPECT_FALSE(got.fuzzy()) << shown << " is fuzzy";
        ASSERT_FALSE(got.msgstr.empty()) << shown;
        for (const auto& tr : got.msgstr) {
            EXPECT_FALSE(tr.empty()) << shown << " is untranslated";
            if (tr.empty())
                continue;
            EXPECT_EQ(conversions(tr), conversions(want.msgid)) << shown << " -> " << printable(tr);
            EXPECT_TRUE(keepsEdges(want.msgid, tr))
                << shown << " -> " << printable(tr) << ": keep the leading and trailing blanks and line breaks";
        }
    }
}

}  // namespace
