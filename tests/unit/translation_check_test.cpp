// A translation is used only when its printf conversions are the message's
// own: a table of pairs, and every translation the German catalogue ships.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "catalogue_scan.h"
#include "exec/text.h"

namespace {

TEST(TranslationCheck, ConversionsMustMatchInKindAndOrder) {
    struct Case {
        const char* msgid;
        const char* translation;
        bool used;
    };
    const std::vector<Case> cases = {
        {"%s installer %s\n", "%s-Installationsprogramm %s\n", true},
        {"Plain text", "Schlichter Text", true},
        {"%d%% done, %s left", "%d %% erledigt, %s übrig", true},
        {"%5.2f MB", "%.1f MB", true},  // flags, width and precision take no argument
        {"%-10s|", "%s|", true},
        {"%zu bytes", "%zu Bytes", true},
        {"%m", "Fehler: %m", true},
        {"%s and %d", "%d und %s", false},  // another order
        {"%s", "%s %s", false},             // one more argument read
        {"%s", "", false},                  // one fewer: still not the message's
        {"Plain text", "%s", false},
        {"%s", "%d", false},
        {"%ld", "%d", false},
        {"%zu", "%u", false},
        {"%s", "%*s", false},  // a width from an argument
        {"%s %s", "%2$s %1$s", false},
        {"%s", "%s%n", false},  // writes memory
        {"%s", "%hhn%s", false},
        {"%s", "%s %y", false},  // no conversion at all
        {"100%", "100 %", true},
        {"%s", "%s%", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.msgid) + " -> " + c.translation);
        EXPECT_EQ(same_conversions(c.msgid, c.translation), c.used);
    }
    // A message is never accepted with "%n", not even its own.
    EXPECT_FALSE(same_conversions("%n", "%n"));
}

TEST(TranslationCheck, EveryGermanTranslationIsUsed) {
    std::ifstream in(std::string(KEL_SOURCE_DIR) + "/po/de.po");
    std::stringstream text;
    text << in.rdbuf();
    const auto entries = readPo(text.str());
    ASSERT_FALSE(entries.empty());
    for (const auto& e : entries)
        for (const auto& tr : e.msgstr)
            EXPECT_TRUE(tr.empty() || same_conversions(e.msgid.c_str(), tr.c_str())) << e.msgid << " -> " << tr;
}

}  // namespace
