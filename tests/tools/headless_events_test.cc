#include <gtest/gtest.h>

#include "platform/headless/headless_events.h"

namespace {

TEST(HeadlessEventsTest, ScriptReadsEveryKindAndRefusesNonsense) {
  HeadlessEvent e[8];
  int n = 0;
  const char* error = nullptr;
  ASSERT_TRUE(ParseHeadlessEvents("100:key SPACE; 150:key ENTER;200:key q;300:move -5 7;;400:focus off;"
                                  "500:click;600:close",
                                  e, 8, &n, &error));
  ASSERT_EQ(n, 7);
  EXPECT_EQ(e[0].ms, 100u);
  EXPECT_EQ(e[0].a, 32);
  EXPECT_EQ(e[1].a, 13);
  EXPECT_EQ(e[2].a, 'q');
  EXPECT_EQ(e[3].kind, HeadlessEventKind::kMove);
  EXPECT_EQ(e[3].a, -5);
  EXPECT_EQ(e[3].b, 7);
  EXPECT_EQ(e[4].kind, HeadlessEventKind::kFocus);
  EXPECT_EQ(e[4].a, 0);
  EXPECT_EQ(e[6].kind, HeadlessEventKind::kClose);
  for (const char* bad : {"key SPACE", "10:key", "10:key SPACEBAR", "10:focus maybe", "10:move 1", "x:click"})
    EXPECT_FALSE(ParseHeadlessEvents(bad, e, 8, &n, &error)) << bad;
  EXPECT_FALSE(ParseHeadlessEvents("1:click;2:click", e, 1, &n, &error));
}

}  // namespace
