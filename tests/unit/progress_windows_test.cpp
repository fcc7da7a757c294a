// The progress windows outside full-screen mode: what each prints, what it
// returns, and which dispatch codes reach an operation at all.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "installer/state.h"
#include "screens/progress.h"

namespace {

std::string printed(const std::function<void()>& run) {
    ::testing::internal::CaptureStdout();
    run();
    return ::testing::internal::GetCapturedStdout();
}

TEST(ProgressWindowsPlain, PrintTitlesNamesAndTexts) {
    innewt = 0;
    const std::string longText(2500, 'w');
    struct {
        const char* name;
        std::function<void()> run;
        std::string out;
    } cases[] = {
        {"prepStart", [] { prepStart(100, "installing"); }, "installing\n"},
        {"prepUpdate", [] { prepUpdate(40); }, ""},
        {"prepStop", [] { prepStop(); }, ""},
        {"winSimpleProgress", [] { EXPECT_EQ(winSimpleProgress("Simple title"), nullptr); }, "Simple title\n"},
        {"winSimpleProgress without title", [] { EXPECT_EQ(winSimpleProgress(nullptr), nullptr); }, ""},
        {"winStatus", [] { winStatus(50, 5, "title", "%s %s", "Checking", "/"); }, "Checking /"},
        {"winStatus longer than its first buffer", [&] { winStatus(50, 5, nullptr, "[%s]", longText.c_str()); },
         "[" + longText + "]"},
        {"winStatusStop", [] { winStatusStop(); }, "Done\n"},
        {"winProgress", [] { EXPECT_EQ(winProgress("Packages"), nullptr); }, "Packages\n"},
        {"winProgressUpdate", [] { winProgressUpdate(nullptr, 10, "pkg-name", "10 KB", "summary"); }, "pkg-name\n"},
        {"winProgressUpdatePkg", [] { winProgressUpdatePkg(nullptr, 5, 10); }, ""},
        {"winProgressStop", [] { winProgressStop(nullptr); }, ""},
        {"createScaleBar",
         [] {
             newtComponent scale = reinterpret_cast<newtComponent>(&scale);
             newtComponent label = reinterpret_cast<newtComponent>(&label);
             EXPECT_EQ(createScaleBar("Overall progress", 60, &scale, &label), nullptr);
             EXPECT_EQ(scale, reinterpret_cast<newtComponent>(&scale)) << "out-arguments are left alone";
             EXPECT_EQ(label, reinterpret_cast<newtComponent>(&label));
         },
         "Overall progress\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(printed(c.run), c.out);
    }
}

TEST(ProgressWindowsPlain, ShowProgressDispatchesKnownTypesOnly) {
    innewt = 0;
    struct {
        int type;
        std::string out;
    } cases[] = {
        {1, "Preparing to install\n"}, {2, ""}, {3, ""}, {4, "next-package\n"}, {5, ""},
        {0, ""},  {6, ""},  {-1, ""}, {1000, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.type);
        EXPECT_EQ(printed([&] { showProgress(c.type, nullptr, 3, 10, 10, "next-package", "1 KB", "text"); }), c.out);
    }
}

}  // namespace
