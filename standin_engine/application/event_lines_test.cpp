#include "event_lines.h"

#include <gtest/gtest.h>

namespace standin {
namespace {

TEST(EventLinesTest, WritesEachEventInItsFormat) {
  const uint8_t success[] = {0x00, 0x00};
  EXPECT_EQ(FrameLine(1, false), "frame 1 visible 0");
  EXPECT_EQ(FrameLine(12, true), "frame 12 visible 1");
  EXPECT_EQ(ReplyLine("quillmere/window", success, sizeof(success)), "reply quillmere/window 0000");
  EXPECT_EQ(ReplyLine("quillmere/window", nullptr, 0), "reply quillmere/window -");
  EXPECT_EQ(RefusedLine("a/b"), "refused a/b");
  EXPECT_EQ(TitleLine("Hello"), "title Hello");
  EXPECT_EQ(TitleLine(""), "title ");
  EXPECT_EQ(VisibleLine(true), "visible 1");
  EXPECT_EQ(ErrorLine("frob 1"), "error frob 1");
}

}  // namespace
}  // namespace standin
