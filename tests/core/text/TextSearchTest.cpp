#include "text/TextSearch.h"

#include <gtest/gtest.h>
#include <random>

using namespace karv;

TEST(ContainsAnyOf, AnyAllAndEmpty) {
    EXPECT_TRUE(containsAnyOf("charset=\"UTF-8\"", "charset=UTF-8[fg]charset=\"utf-8\""));
    EXPECT_FALSE(containsAnyOf("charset=gbk", "charset=UTF-8[fg]charset=big5"));
    EXPECT_TRUE(containsAnyOf("abc", "A[fg]c", TermMode::All));
    EXPECT_FALSE(containsAnyOf("abc", "A[fg]x", TermMode::All));
    EXPECT_FALSE(containsAnyOf("abc", "", TermMode::Any));
    EXPECT_TRUE(containsAnyOf("abc", "", TermMode::All));
    // An empty alternative is found in any non-empty text.
    EXPECT_TRUE(containsAnyOf("abc", "x[fg]"));
    EXPECT_FALSE(containsAnyOf("", "x[fg]"));
}

TEST(FindExact, AgreesWithABytewiseFindForTermsWithAndWithoutLetters) {
    // Terms without ASCII letters take the folded scan: letters, and bytes next to them in the
    // table ('@', '[', '`', '{'), must still be told apart exactly.
    const std::string alphabet("aAzZ@[`{\xB1\xA8\xE6\x8A\0", 13);
    std::mt19937 rng(17);
    for (int round = 0; round < 3000; ++round) {
        std::string haystack(rng() % 90, ' ');
        for (char& c : haystack)
            c = alphabet[rng() % alphabet.size()];
        std::string needle(1 + rng() % 4, ' ');
        for (char& c : needle)
            c = alphabet[rng() % alphabet.size()];
        const std::size_t from = rng() % (haystack.size() + 2);
        SCOPED_TRACE(testing::PrintToString(haystack) + " / " + testing::PrintToString(needle));
        const std::size_t expected =
            from > haystack.size() ? std::string_view::npos : std::string_view(haystack).find(needle, from);
        EXPECT_EQ(findExact(haystack, needle, from), expected);
    }
}
