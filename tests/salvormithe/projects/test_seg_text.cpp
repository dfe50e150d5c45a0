#include "projects/SegText.h"

#include <gtest/gtest.h>

TEST(SegText, TrimsBlanksAtBothEndsOnly)
{
    EXPECT_EQ(trimSegText(" \t\r\nhello  world\r\n "), "hello  world");
    EXPECT_EQ(trimSegText("\xE3\x80\x80\xE3\x80\x80text\xE3\x80\x80"), "text");
    EXPECT_EQ(trimSegText("a\n b"), "a\n b");
    EXPECT_EQ(trimSegText(""), "");
    EXPECT_EQ(trimSegText(" \t\xE3\x80\x80\r\n"), "");
}

TEST(SegText, NeverCutsOtherCharacters)
{
    // U+3000 then U+3042 (E3 81 82): the Japanese character stays whole.
    EXPECT_EQ(trimSegText("\xE3\x80\x80\xE3\x81\x82"), "\xE3\x81\x82");
    // U+8000 ends in the byte 0x80, U+3001 begins like U+3000.
    EXPECT_EQ(trimSegText("a\xE8\x80\x80"), "a\xE8\x80\x80");
    EXPECT_EQ(trimSegText("\xE3\x80\x81x"), "\xE3\x80\x81x");
    EXPECT_EQ(trimSegText("x\xC2\x80 "), "x\xC2\x80");
    EXPECT_EQ(trimSegText("\xE3\x80 x"), "\xE3\x80 x");
}
