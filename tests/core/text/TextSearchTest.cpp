#include "text/TextSearch.h"

#include <gtest/gtest.h>

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
