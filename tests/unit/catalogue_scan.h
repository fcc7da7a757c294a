// Reading texts for the catalogue checks: the string literals of a C++ source
// with the calls they are passed to, and the entries of a PO file.
#pragma once

#include <string>
#include <vector>

struct SourceLiteral {
    int line = 0;
    std::string text;  // escapes decoded, adjacent literals joined
    // Enclosing calls, innermost first; "" for a bracket, brace or unnamed
    // parenthesis. Empty for a literal outside any bracket.
    std::vector<std::string> calls;

    // Passed straight to _() or N_().
    bool marked() const { return !calls.empty() && (calls[0] == "_" || calls[0] == "N_"); }
};

// Every string literal outside comments and #include lines.
std::vector<SourceLiteral> scanLiterals(const std::string& source);

struct PoEntry {
    std::string msgctxt;
    std::string msgid;
    std::string msgid_plural;
    std::vector<std::string> msgstr;  // msgstr, or msgstr[0..n]
    std::vector<std::string> flags;   // from "#," lines
    bool fuzzy() const;
    bool cFormat() const;
};

// The live entries of a PO or POT file (the header and obsolete "#~" entries
// left out); strings decoded.
std::vector<PoEntry> readPo(const std::string& text);

// The printf conversions of a format, in order ("%s", "%d", "%%" left out).
std::vector<std::string> conversions(const std::string& format);
