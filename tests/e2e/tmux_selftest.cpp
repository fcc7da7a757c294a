// The terminal driver itself: size, keys, bounded waits and exit status.
#include <gtest/gtest.h>

#include "tmux.h"

TEST(TmuxDriver, ReadsScreenSendsKeysAndReportsExit) {
    Tmux term("printf 'ready\\n'; read line; echo \"got:$line\"; exit 7", 50, 12);
    ASSERT_TRUE(term.waitFor("ready")) << term.screen();
    EXPECT_EQ(term.row(0), "ready") << term.screen();
    term.send({"hello", "Enter"});
    ASSERT_TRUE(term.waitFor("got:hello")) << term.screen();
    EXPECT_EQ(term.waitExit(), 7);
    EXPECT_FALSE(term.waitFor("never shown", std::chrono::milliseconds(200)));
}
