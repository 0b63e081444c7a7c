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
  EXPECT_EQ(ArgumentsLine({0, true, {}}), "arguments 0 null");
  EXPECT_EQ(ArgumentsLine({3, false, {"ab", "", "\xC3\xA9"}}), "arguments 3 6162 - C3A9");
  EXPECT_EQ(StatsLine({4096, 512, 12, 2, 3, 7, 250}),
            "stats private 4096 heap 512 handles 12 windows 2 user 3 gdi 7 ms 250");
}

}  // namespace
}  // namespace standin
