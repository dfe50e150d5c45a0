#include "projects/SentenceSplit.h"

#include <gtest/gtest.h>

#include <unicode/ubrk.h>

using Pieces = std::vector<std::string>;

TEST(SentenceSplit, EnglishSentencesKeepTheirTrailingBlanks)
{
    EXPECT_EQ(splitSentences("Hello there. How are you?"), (Pieces{"Hello there. ", "How are you?"}));
    EXPECT_EQ(splitSentences("One!\nTwo.\n"), (Pieces{"One!\n", "Two.\n"}));
    EXPECT_EQ(splitSentences("It costs 3.50 dollars. Fine."), (Pieces{"It costs 3.50 dollars. ", "Fine."}));
}

TEST(SentenceSplit, BlankTextsAndLoneWhiteSpace)
{
    EXPECT_TRUE(splitSentences("").empty());
    EXPECT_TRUE(splitSentences(" ").empty());
    EXPECT_EQ(splitSentences("  "), (Pieces{"  "}));
    // The text ends at its first NUL byte.
    EXPECT_EQ(splitSentences(std::string("Ok.\0Hidden. More.", 17)), (Pieces{"Ok."}));
}

TEST(SentenceSplit, ChineseAndCharactersBeyondTheBmp)
{
    EXPECT_EQ(splitSentences("今天天气很好。我们去公园吧！"), (Pieces{"今天天气很好。", "我们去公园吧！"}));
    // A lone character of two UTF-16 units is kept.
    EXPECT_EQ(splitSentences("😀"), (Pieces{"😀"}));
    EXPECT_EQ(splitSentences("I like 𝄞 music. 𠀋 is rare."), (Pieces{"I like 𝄞 music. ", "𠀋 is rare."}));
    std::string joined;
    for (const auto& p : splitSentences("A 😀. B 🎵! C 𠀋?"))
        joined += p;
    EXPECT_EQ(joined, "A 😀. B 🎵! C 𠀋?");
}

TEST(SentenceSplit, OtherBreakTypes)
{
    EXPECT_EQ(splitText("red fox", UBRK_WORD), (Pieces{"red", "fox"}));
}
