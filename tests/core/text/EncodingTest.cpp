#include "text/Encoding.h"

#include <gtest/gtest.h>
#include <random>

using namespace karv;

namespace {

/// The UTF-8 test written the plain sequential way, to check the bulk implementation against.
bool referenceLooksLikeUtf8(std::string_view s) {
    const auto* b = reinterpret_cast<const unsigned char*>(s.data());
    const std::size_t n = s.size();
    std::size_t ascii = 0;
    std::size_t i = 0;
    while (i < n) {
        if (b[i] < 0x80) {
            ++ascii;
            ++i;
        } else if (i + 1 < n && (b[i] & 0xE0) == 0xC0 && (b[i + 1] & 0xC0) == 0x80) {
            i += 2;
        } else if (i + 2 < n && (b[i] & 0xF0) == 0xE0 && (b[i + 1] & 0xC0) == 0x80 &&
                   (b[i + 2] & 0xC0) == 0x80) {
            i += 3;
        } else if (i + 3 < n && b[i] >= 0xF0 && b[i] <= 0xF4 && (b[i + 1] & 0xC0) == 0x80 &&
                   (b[i + 2] & 0xC0) == 0x80 && (b[i + 3] & 0xC0) == 0x80) {
            i += 4;
        } else {
            return false;
        }
    }
    return ascii != n;
}

std::string repeat(std::string_view piece, std::size_t times) {
    std::string out;
    for (std::size_t i = 0; i < times; ++i)
        out += piece;
    return out;
}

} // namespace

TEST(EncodingNames, DisplayAndCharsetNames) {
    EXPECT_EQ(encodingDisplayName(1), "ANSI");
    EXPECT_EQ(encodingDisplayName(2), "UTF-8");
    EXPECT_EQ(encodingDisplayName(3), "Unicode");
    EXPECT_EQ(encodingDisplayName(4), "Unicode BE");
    EXPECT_EQ(encodingDisplayName(5), "Big5");
    EXPECT_EQ(encodingDisplayName(6), "Big5-HKSCS");
    // Anything outside 1..6, the unread 0 included, shows as ANSI.
    EXPECT_EQ(encodingDisplayName(0), "ANSI");
    EXPECT_EQ(encodingDisplayName(7), "ANSI");
    EXPECT_EQ(encodingDisplayName(-1), "ANSI");
    EXPECT_EQ(encodingCharsetName(3), "UTF-16LE");
    EXPECT_EQ(encodingCharsetName(6), "BIG5-HKSCS");
    EXPECT_EQ(encodingCharsetName(1), "");
}

TEST(DetectByMarks, MarksInOrder) {
    EXPECT_EQ(detectByMarks("\xEF\xBB\xBFx").code, kEncodingUtf8);
    EXPECT_EQ(detectByMarks("\xEF\xBB\xBF").markLength, 3u);
    EXPECT_EQ(detectByMarks("\xFF\xFE").code, kEncodingUtf16Le);
    EXPECT_EQ(detectByMarks("\xFF\xFE\x00\x00").markLength, 2u);
    EXPECT_EQ(detectByMarks("\xFE\xFFx").code, kEncodingUtf16Be);
    EXPECT_EQ(detectByMarks("\xEF\xBB").code, kEncodingNone); // a cut-off mark is no mark
    EXPECT_EQ(detectByMarks("\xFF").code, kEncodingNone);
    EXPECT_EQ(detectByMarks("").code, kEncodingNone);
    EXPECT_EQ(detectByMarks("abc").markLength, 0u);
}

TEST(LooksLikeUtf8, CasesOfTheDefinition) {
    EXPECT_TRUE(looksLikeUtf8("\xE4\xB8\xAD")); // one UTF-8 character
    EXPECT_FALSE(looksLikeUtf8("\xD6\xD0"));    // one GBK character
    EXPECT_FALSE(looksLikeUtf8("abc\xE4"));     // cut off at the end
    EXPECT_FALSE(looksLikeUtf8("abc\xE4\xB8")); // cut off at the end
    // Four-byte sequences (an emoji) are UTF-8; a lead above F4 or a short one is not.
    EXPECT_TRUE(looksLikeUtf8("\xE4\xB8\xAD \xF0\x9F\x98\x80"));
    EXPECT_FALSE(looksLikeUtf8("\xF5\x80\x80\x80"));
    EXPECT_FALSE(looksLikeUtf8("\xF0\x9F\x98z"));
    EXPECT_FALSE(looksLikeUtf8("plain ascii text")); // ASCII only is not UTF-8
    EXPECT_FALSE(looksLikeUtf8(""));
    EXPECT_FALSE(looksLikeUtf8("\x80"));        // a lone continuation byte
    EXPECT_TRUE(looksLikeUtf8("\xC0\x80"));     // overlong forms pass by bit pattern
    EXPECT_TRUE(looksLikeUtf8("\xED\xA0\x80")); // so do surrogates
    EXPECT_TRUE(looksLikeUtf8("a\xC3\xA9z"));
    EXPECT_FALSE(looksLikeUtf8("\xC3\xA9\xA9")); // one continuation too many
}

TEST(LooksLikeUtf8, LongBuffersAtEveryBlockPosition) {
    // A fault is placed at each offset across several 16- and 64-byte blocks, so the bulk path and
    // the tails are all exercised.
    const std::string chinese = repeat("\xE4\xB8\xAD\xE6\x96\x87 ", 60); // 420 bytes
    ASSERT_TRUE(looksLikeUtf8(chinese));
    for (std::size_t pos = 0; pos < 200; ++pos) {
        std::string withEmoji = chinese;
        withEmoji.insert(pos, "\xF0\x9F\x98\x80");
        EXPECT_EQ(looksLikeUtf8(withEmoji), referenceLooksLikeUtf8(withEmoji)) << pos;
        std::string withGbk = chinese;
        withGbk[pos] = '\xD6';
        EXPECT_EQ(looksLikeUtf8(withGbk), referenceLooksLikeUtf8(withGbk)) << pos;
    }
    // One non-ASCII character after a long ASCII run still makes it UTF-8.
    EXPECT_TRUE(looksLikeUtf8(std::string(1000, 'a') + "\xC3\xA9"));
    EXPECT_FALSE(looksLikeUtf8(std::string(1000, 'a')));
}

TEST(LooksLikeUtf8, AgreesWithTheSequentialRuleOnRandomInput) {
    std::mt19937 random(7);
    const std::string_view alphabet[] = {
        "a", "\xE4\xB8\xAD", "\xF0\x9F\x98\x80", "\x80", "\xE4", "\xC3", "\xF0", "\xF5", "\n"};
    for (int round = 0; round < 3000; ++round) {
        std::string s;
        const int pieces = static_cast<int>(random() % 90);
        for (int i = 0; i < pieces; ++i) {
            // Mostly valid pieces, so that long valid stretches reach the bulk path.
            const std::size_t k = random() % 20 < 17 ? random() % 3 : random() % 9;
            s += alphabet[k];
        }
        ASSERT_EQ(looksLikeUtf8(s), referenceLooksLikeUtf8(s)) << round;
    }
}

TEST(DetectHtmlCharset, MetaForms) {
    // Capital markers, lower-case charset name.
    EXPECT_EQ(detectHtmlCharset("<HTML><HEAD><META http-equiv=\"Content-Type\" content=\"text/html; "
                                "charset=utf-8\"></HEAD><BODY></BODY></HTML>"),
              1);
    EXPECT_EQ(detectHtmlCharset("<head><meta charset=\"UTF-8\"></head>"), 1);
    EXPECT_EQ(detectHtmlCharset("<head><meta charset='big5'></head>"), 2);
    // Unquoted Big5-HKSCS contains charset=Big5 and is taken as Big5; the quoted forms are HKSCS.
    EXPECT_EQ(detectHtmlCharset("<head><meta charset=Big5-HKSCS></head>"), 2);
    EXPECT_EQ(detectHtmlCharset("<head><meta charset=\"Big5-HKSCS\"></head>"), 3);
    EXPECT_EQ(detectHtmlCharset("<head><meta charset='Big5-HKSCS'></head>"), 3);
    EXPECT_EQ(detectHtmlCharset("<head><meta charset=gb2312></head>"), 0);
    EXPECT_EQ(detectHtmlCharset(""), 0);
}

TEST(DetectHtmlCharset, WhereTheScanLooks) {
    // The head, when present and not empty, is the only place searched.
    EXPECT_EQ(detectHtmlCharset("<head><title>x</title></head><body><meta charset=utf-8></body>"), 0);
    // Without a head element (or with an empty one) the whole text is searched.
    EXPECT_EQ(detectHtmlCharset("<html><meta charset=utf-8>"), 1);
    EXPECT_EQ(detectHtmlCharset("<head></head><meta charset=utf-8>"), 1);
    // Later meta tags are tested in turn.
    EXPECT_EQ(detectHtmlCharset("<head><meta name=a><meta name=b><meta charset=big5></head>"), 2);
    // A meta tag with nothing before its ">" ends the scan.
    EXPECT_EQ(detectHtmlCharset("<head><meta><meta charset=utf-8></head>"), 0);
    // A meta tag that is never closed.
    EXPECT_EQ(detectHtmlCharset("<head><meta charset=utf-8"), 0);
}

TEST(DetectHtmlCharset, MegabytesOfHeadWithoutMeta) {
    std::string page = "<html><head>" + repeat("<link rel=x href=y> <!-- meta -->\n", 200000) + "</head>";
    EXPECT_EQ(detectHtmlCharset(page), 0);
    page = "<html><head>" + repeat("<meta name=a content=b>", 200000) + "<meta charset=utf-8></head>";
    EXPECT_EQ(detectHtmlCharset(page), 1);
}
