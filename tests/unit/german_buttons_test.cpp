// Button rows under the German catalogue of the built bundle: the labels are
// translated where the row is made, and the first button's pad shrinks by
// the bytes the translations add.
#include <gtest/gtest.h>
#include <libintl.h>

#include <clocale>
#include <functional>
#include <string>
#include <vector>

#include "installer/state.h"
#include "screens/buttons.h"

namespace {

struct GermanRows : ::testing::Test {
    void SetUp() override {
        ASSERT_NE(std::setlocale(LC_ALL, "de_DE.UTF-8"), nullptr)
            << "the de_DE.UTF-8 locale is missing: run tools/bootstrap.sh";
        bindtextdomain("install", KEL_CATALOGUE_DIR);
        textdomain("install");
        innewt = 1;  // finishButtons builds nothing otherwise; no screen is needed to lay a row out
    }
    void TearDown() override {
        innewt = 0;
        std::setlocale(LC_ALL, "C");
    }
};

struct Placed {
    int x;
    int width;
};

// Lays the row out at column 0 and reads back each button's place and label.
std::vector<Placed> layOut(newtGrid row, const std::vector<newtComponent>& buttons) {
    int w = 0;
    int h = 0;
    newtGridGetSize(row, &w, &h);
    newtGridPlace(row, 0, 0);
    std::vector<Placed> out;
    for (newtComponent b : buttons) {
        int x = 0;
        int y = 0;
        newtComponentGetPosition(b, &x, &y);
        newtComponentGetSize(b, &w, &h);
        out.push_back({x, w});
    }
    newtGridFree(row, 1);
    for (newtComponent b : buttons)
        newtComponentDestroy(b);
    return out;
}

TEST_F(GermanRows, FirstButtonPadFollowsTheTranslatedLabelsInBytes) {
    struct Case {
        const char* name;
        std::function<std::vector<newtComponent>(newtGrid*)> build;
        std::vector<const char*> labels;  // as the catalogue gives them
        int pad;
    };
    const std::vector<Case> cases = {
        // 60 - 8 - 9 - 12; the English labels give 36.
        {"installButtons",
         [](newtGrid* g) {
             newtComponent a, b;
             *g = installButtons(60, &a, &b);
             return std::vector{a, b};
         },
         {"Weiter >", "Abbrechen"}, 31},
        // " Überspringen " is 15 bytes but 14 columns: the pad counts bytes.
        {"installButtons2",
         [](newtGrid* g) {
             newtComponent a, b;
             *g = installButtons2(60, &a, &b);
             return std::vector{a, b};
         },
         {"Installieren", " Überspringen "}, 21},
        {"licenseButtons",
         [](newtGrid* g) {
             newtComponent a, b;
             *g = licenseButtons(60, &a, &b);
             return std::vector{a, b};
         },
         {" Annehmen ", " Ablehnen "}, 28},
        {"finishButtons without Reboot",
         [](newtGrid* g) {
             newtComponent reboot, exit;
             *g = finishButtons(60, &reboot, &exit, 0);
             return std::vector{exit};
         },
         {" Beenden "}, 39},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        newtGrid row = nullptr;
        const auto buttons = c.build(&row);
        ASSERT_EQ(buttons.size(), c.labels.size());
        const auto at = layOut(row, buttons);
        EXPECT_EQ(at[0].x, c.pad);
        // The buttons carry the German labels: each is as wide as its label in
        // columns plus newt's frame and shadow.
        for (std::size_t i = 0; i < at.size(); ++i) {
            std::size_t cols = 0;
            for (const char* p = c.labels[i]; *p; ++p)
                cols += (static_cast<unsigned char>(*p) & 0xC0) != 0x80;
            EXPECT_EQ(at[i].width, static_cast<int>(cols) + 5) << c.labels[i];
        }
        if (at.size() == 2) {
            EXPECT_EQ(at[1].x, at[0].x + at[0].width + 1);
        }
    }
}

}  // namespace
