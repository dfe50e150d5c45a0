#include "projects/SplitRebase.h"

#include <gtest/gtest.h>

namespace {

struct Case
{
    const char* what;
    QString written;
    std::vector<SplitRebase::Seg> made;
    QString latest;
    int cursor;
    std::vector<SplitRebase::Edit> edits;
    int focusSegId;
    int focusCursor;
};

} // namespace

TEST(SplitRebase, KeysTypedWhileASplitWasWrittenFollowTheirLines)
{
    const std::vector<SplitRebase::Seg> helloWorld{{1, "Hello"}, {2, "world"}};
    const Case cases[] = {
        {"cursor at the end", "Hello\nworld", helloWorld, "Hello\nworld", 11, {}, 2, 5},
        {"cursor on the first line", "Hello!\nworld", {{1, "Hello!"}, {2, "world"}}, "Hello!\nworld", 6, {}, 1, 6},
        {"key on the first line meanwhile", "Hello\nworld", helloWorld, "Hello!\nworld", 6, {{1, "Hello!", 6}}, 1, 6},
        {"typing went on", "Hello\nwo", {{1, "Hello"}, {2, "wo"}}, "Hello\nworld", 11, {{2, "world", 5}}, 2, 5},
        {"typing after a blank last line", "Hello\nwo\n", {{1, "Hello"}, {2, "wo"}}, "Hello\nwo\nx", 10,
         {{2, "wo\nx", 4}}, 2, 4},
        {"cursor in the trimmed blanks", "  Hello\n\nworld", helloWorld, "  Hello\n\nworld", 1, {}, 1, 0},
        {"cursor on a dropped blank line", "  Hello\n\nworld", helloWorld, "  Hello\n\nworld", 8, {}, 1, 5},
        {"user elsewhere", "a\nb", {{1, "a"}, {2, "b"}}, "a\nb", -1, {}, 0, 0},
        {"first text, typed on", "x", {{1, "x"}}, "xyz", 3, {{1, "xyz", 3}}, 1, 3},
        {"a line deleted meanwhile", "A\nB\nC", {{1, "A"}, {2, "B"}, {3, "C"}}, "A\nC", 3, {{2, "", -1}}, 3, 1},
        {"blanks only", "   \n", {{1, ""}}, "   \n", 0, {}, 1, 0},
    };
    for (const Case& c : cases) {
        const SplitRebase r = SplitRebase::of(c.written, c.made, c.latest, c.cursor);
        ASSERT_EQ(r.edits.size(), c.edits.size()) << c.what;
        for (size_t i = 0; i < c.edits.size(); ++i) {
            EXPECT_EQ(r.edits[i].segId, c.edits[i].segId) << c.what;
            EXPECT_EQ(r.edits[i].text, c.edits[i].text) << c.what;
            EXPECT_EQ(r.edits[i].cursor, c.edits[i].cursor) << c.what;
        }
        EXPECT_EQ(r.focusSegId, c.focusSegId) << c.what;
        if (c.focusSegId != 0) {
            EXPECT_EQ(r.focusCursor, c.focusCursor) << c.what;
        }
    }
}
