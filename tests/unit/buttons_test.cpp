// Button rows: where each button lands when a row is laid out, and the pad
// arithmetic behind it (bytes, not columns; never clamped).
#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "installer/state.h"
#include "screens/buttons.h"

namespace {

struct Placed {
    int x;
    int width;
};

Placed placed(newtComponent co) {
    int x = 0;
    int y = 0;
    int w = 0;
    int h = 0;
    newtComponentGetPosition(co, &x, &y);
    newtComponentGetSize(co, &w, &h);
    return {x, w};
}

// Lays a row out at column 0 and reads back its buttons, left to right.
std::vector<Placed> layOut(newtGrid row, const std::vector<newtComponent>& buttons) {
    int w = 0;
    int h = 0;
    newtGridGetSize(row, &w, &h);
    newtGridPlace(row, 0, 0);
    std::vector<Placed> out;
    for (newtComponent b : buttons)
        out.push_back(placed(b));
    newtGridFree(row, 1);
    for (newtComponent b : buttons)
        newtComponentDestroy(b);
    return out;
}

// finishButtons builds nothing outside full-screen mode; no screen is needed
// to lay a row out, so the flag alone is raised here.
struct FullScreenFlag {
    FullScreenFlag() { innewt = 1; }
    ~FullScreenFlag() { innewt = 0; }
};

struct RowCase {
    const char* name;
    std::function<std::vector<newtComponent>(newtGrid*)> build;
    int pad;  // where the first button starts; INT_MIN: left of the row's start
    std::vector<int> gaps;  // columns between a button and the next
};

TEST(ButtonRows, FirstButtonSitsAtThePadAndTheOthersFollow) {
    FullScreenFlag full;
    const std::vector<RowCase> cases = {
        {"installButtons",
         [](newtGrid* g) {
             newtComponent a, b;
             *g = installButtons(60, &a, &b);
             return std::vector{a, b};
         },
         36, {1}},
        {"installButtons2",
         [](newtGrid* g) {
             newtComponent a, b;
             *g = installButtons2(60, &a, &b);
             return std::vector{a, b};
         },
         35, {1}},
        {"installButtonsWithTxt Retry/Cancel",
         [](newtGrid* g) {
             newtComponent a, b;
             *g = installButtonsWithTxt(60, &a, &b, "Retry", "Cancel");
             return std::vector{a, b};
         },
         37, {1}},
        {"installButtonsWithTxt OK/Cancel at 50",
         [](newtGrid* g) {
             newtComponent a, b;
             *g = installButtonsWithTxt(50, &a, &b, "OK", "Cancel");
             return std::vector{a, b};
         },
         30, {1}},
        {"installButtonsNextSkipCancel",
         [](newtGrid* g) {
             newtComponent a, b, c;
             *g = installButtonsNextSkipCancel(60, &a, &b, &c, "Next", "Skip", "Cancel");
             return std::vector{a, b, c};
         },
         34, {1, 1}},
        {"installButtons3",
         [](newtGrid* g) {
             newtComponent a, b;
             *g = installButtons3(60, &a, "Left", &b, "Right side");
             return std::vector{a, b};
         },
         34, {1}},
        {"licenseButtons",
         [](newtGrid* g) {
             newtComponent a, b;
             *g = licenseButtons(60, &a, &b);
             return std::vector{a, b};
         },
         31, {1}},
        {"cepButtons",
         [](newtGrid* g) {
             newtComponent a, b;
             *g = cepButtons(60, &a, &b);
             return std::vector{a, b};
         },
         31, {1}},
        {"finishButtons with Reboot",
         [](newtGrid* g) {
             newtComponent reboot, exit;
             *g = finishButtons(60, &reboot, &exit, 1);
             return std::vector{exit, reboot};
         },
         36, {0}},
        {"finishButtons without Reboot",
         [](newtGrid* g) {
             newtComponent reboot, exit;
             *g = finishButtons(60, &reboot, &exit, 0);
             EXPECT_EQ(reboot, nullptr);
             return std::vector{exit};
         },
         42, {}},
        {"labels longer than the row",
         [](newtGrid* g) {
             newtComponent a, b;
             *g = installButtonsWithTxt(20, &a, &b, "Continue anyway", "Abort installation");
             return std::vector{a, b};
         },
         INT_MIN, {1}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        newtGrid row = nullptr;
        const std::vector<newtComponent> buttons = c.build(&row);
        ASSERT_NE(row, nullptr);
        const std::vector<Placed> at = layOut(row, buttons);
        ASSERT_EQ(at.size(), c.gaps.size() + 1);
        // A clamped pad would keep the first button inside the row.
        if (c.pad == INT_MIN)
            EXPECT_LT(at[0].x, 0);
        else
            EXPECT_EQ(at[0].x, c.pad);
        for (std::size_t i = 0; i < c.gaps.size(); ++i)
            EXPECT_EQ(at[i + 1].x, at[i].x + at[i].width + c.gaps[i]) << "button " << i + 1;
    }
}

TEST(ButtonRows, CancelAloneHasAPadOfOne) {
    newtComponent cancel = nullptr;
    newtGrid row = installButtons(60, nullptr, &cancel);
    ASSERT_NE(cancel, nullptr);
    int w = 0;
    int h = 0;
    newtGridGetSize(row, &w, &h);
    const std::vector<Placed> at = layOut(row, {cancel});
    EXPECT_EQ(at[0].x, 1);
    EXPECT_EQ(w, 1 + at[0].width);
}

TEST(ButtonRows, FinishRowIsNotBuiltOutsideFullScreen) {
    newtComponent reboot = reinterpret_cast<newtComponent>(&reboot);
    newtComponent exit = reinterpret_cast<newtComponent>(&exit);
    EXPECT_EQ(finishButtons(60, &reboot, &exit, 1), nullptr);
    EXPECT_EQ(reboot, nullptr);
    EXPECT_EQ(exit, nullptr);
}

TEST(ButtonRows, PadCountsBytesAndIsNotClamped) {
    struct PadCase {
        int width;
        std::vector<const char*> labels;
        int pad;
    };
    // "Далее >" is 12 bytes and 7 columns, "Отмена" 12 bytes and 6 columns.
    const std::vector<PadCase> cases = {
        {60, {"Next >", "Cancel"}, 36},
        {60, {"\xd0\x94\xd0\xb0\xd0\xbb\xd0\xb5\xd0\xb5 >", "\xd0\x9e\xd1\x82\xd0\xbc\xd0\xb5\xd0\xbd\xd0\xb0"}, 24},
        {60, {"A label made much longer by a translation", "Cancel"}, 1},
        {60, {"A label made much longer by a translation.", "Cancel", "!"}, -1},
        {20, {"Continue anyway", "Abort installation"}, -25},
        {0, {}, -12},
    };
    for (const auto& c : cases) {
        int pad = 0;
        switch (c.labels.size()) {
        case 0: pad = buttonPad(c.width, {}); break;
        case 2: pad = buttonPad(c.width, {c.labels[0], c.labels[1]}); break;
        default: pad = buttonPad(c.width, {c.labels[0], c.labels[1], c.labels[2]}); break;
        }
        EXPECT_EQ(pad, c.pad) << c.labels.size() << " labels at width " << c.width;
    }
}

TEST(CompactButtonRows, EveryPairGetsACompactButtonOneColumnApart) {
    newtComponent only = nullptr;
    newtGrid single = newtCompactButtonBar("Only", &only, nullptr);
    int w = 0;
    int h = 0;
    newtGridGetSize(single, &w, &h);
    const std::vector<Placed> one = layOut(single, {only});
    EXPECT_EQ(one[0].x, 1);
    EXPECT_EQ(w, 1 + one[0].width);

    newtComponent a = nullptr, b = nullptr, c = nullptr;
    newtGrid three = newtCompactButtonBar("Yes", &a, "No", &b, "Maybe later", &c, nullptr);
    const std::vector<Placed> at = layOut(three, {a, b, c});
    EXPECT_EQ(at[0].x, 1);
    EXPECT_EQ(at[1].x, at[0].x + at[0].width + 1);
    EXPECT_EQ(at[2].x, at[1].x + at[1].width + 1);
}

TEST(CompactButtonRows, MoreThanFiftyButtonsAreAllMade) {
    newtComponent comps[60] = {};
    newtGrid row = newtCompactButtonBar(
        "1", &comps[0], "2", &comps[1], "3", &comps[2], "4", &comps[3], "5", &comps[4], "6", &comps[5], "7",
        &comps[6], "8", &comps[7], "9", &comps[8], "10", &comps[9], "11", &comps[10], "12", &comps[11], "13",
        &comps[12], "14", &comps[13], "15", &comps[14], "16", &comps[15], "17", &comps[16], "18", &comps[17], "19",
        &comps[18], "20", &comps[19], "21", &comps[20], "22", &comps[21], "23", &comps[22], "24", &comps[23], "25",
        &comps[24], "26", &comps[25], "27", &comps[26], "28", &comps[27], "29", &comps[28], "30", &comps[29], "31",
        &comps[30], "32", &comps[31], "33", &comps[32], "34", &comps[33], "35", &comps[34], "36", &comps[35], "37",
        &comps[36], "38", &comps[37], "39", &comps[38], "40", &comps[39], "41", &comps[40], "42", &comps[41], "43",
        &comps[42], "44", &comps[43], "45", &comps[44], "46", &comps[45], "47", &comps[46], "48", &comps[47], "49",
        &comps[48], "50", &comps[49], "51", &comps[50], "52", &comps[51], "53", &comps[52], "54", &comps[53], "55",
        &comps[54], "56", &comps[55], "57", &comps[56], "58", &comps[57], "59", &comps[58], "60", &comps[59],
        nullptr);
    const std::set<newtComponent> distinct(std::begin(comps), std::end(comps));
    EXPECT_EQ(distinct.size(), 60u);
    EXPECT_EQ(distinct.count(nullptr), 0u);
    const std::vector<Placed> at = layOut(row, std::vector<newtComponent>(std::begin(comps), std::end(comps)));
    for (std::size_t i = 1; i < at.size(); ++i)
        EXPECT_EQ(at[i].x, at[i - 1].x + at[i - 1].width + 1) << "button " << i;
}

}  // namespace
