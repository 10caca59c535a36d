// The loader, the UTF-8 checks and the case-insensitive search take shortcuts on common input
// (text kept as read, rare-byte prefilters). These tests hold them against straightforward
// byte-by-byte versions over random and hostile input.
#include "support/TempTree.h"
#include "support/TextFixtures.h"
#include "text/Encoding.h"
#include "text/TextBuffers.h"
#include "text/TextLoader.h"
#include "text/TextSearch.h"
#include "values/ValueText.h"

#include <cstring>
#include <gtest/gtest.h>
#include <random>

using namespace karv;
using karv::test::TempTree;

namespace {

/// Bytes drawn from pieces that stress the checks: ASCII, zero, well-formed sequences of every
/// length, long forms, surrogates, stray continuation bytes, bytes that never occur in UTF-8,
/// GBK pairs, marks and charset declarations; sometimes cut at an arbitrary byte.
std::string hostileBytes(std::mt19937& rng) {
    static const std::vector<std::string> pieces = {"a",
                                                    "Invoice ",
                                                    "INVO",
                                                    "ice",
                                                    "\r\n",
                                                    "\n",
                                                    std::string(1, '\0'),
                                                    "\xC3\xA9",
                                                    "\xE4\xB8\xAD",
                                                    "\xED\x9F\xBF",
                                                    "\xEF\xBF\xBD",
                                                    "\xF0\x9F\x98\x80",
                                                    "\xF4\x8F\xBF\xBF",
                                                    "\xC0\xAF",
                                                    "\xC1\xBF",
                                                    "\xE0\x80\xAF",
                                                    "\xED\xA0\x80",
                                                    "\xF0\x80\x80\xAF",
                                                    "\xF4\x90\x80\x80",
                                                    "\xF5\x80\x80\x80",
                                                    "\x80",
                                                    "\xBF",
                                                    "\xFE",
                                                    "\xFF",
                                                    "\xE4\xB8",
                                                    "\xF0\x9F\x98",
                                                    "\xD6\xD0\xCE\xC4",
                                                    "\x81\x30\x81\x30",
                                                    std::string(40, 'x'),
                                                    "\xE6\x8A\xA5\xE5\x91\x8A"};
    return test::randomContent(rng, pieces, 24);
}

/// UTF-8 made well-formed one byte at a time: each byte outside a whole sequence becomes U+FFFD.
std::string plainSanitize(std::string_view bytes) {
    std::string out;
    const auto* b = reinterpret_cast<const unsigned char*>(bytes.data());
    for (std::size_t i = 0; i < bytes.size();) {
        const int length = utf8SequenceLength(b, bytes.size(), i);
        if (length > 0) {
            out.append(bytes.substr(i, static_cast<std::size_t>(length)));
            i += static_cast<std::size_t>(length);
        } else {
            out += "\xEF\xBF\xBD";
            ++i;
        }
    }
    return out;
}

std::size_t plainFind(std::string_view haystack, std::string_view needle, std::size_t from) {
    const auto fold = [](char c) {
        return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
    };
    for (std::size_t i = from; i + needle.size() <= haystack.size(); ++i) {
        std::size_t k = 0;
        while (k < needle.size() && fold(haystack[i + k]) == fold(needle[k]))
            ++k;
        if (k == needle.size())
            return i;
    }
    return std::string_view::npos;
}

} // namespace

TEST(FastPathAgreement, LoadingAgreesWithThePlainDecoders) {
    std::mt19937 rng(14);
    TempTree tree;
    std::string previous;
    for (int round = 0; round < 400; ++round) {
        const std::string bytes = hostileBytes(rng);
        SCOPED_TRACE(testing::PrintToString(bytes));
        // The previous text's buffer is handed back as a run does, so a kept buffer with old
        // content in it is what the next load starts from.
        keepSpareBuffer(std::move(previous));
        const LoadedText fast = loadFileText(tree.file("f" + std::to_string(round % 8), bytes));
        const LoadedText plain = loadTextFromBytes(bytes);
        EXPECT_EQ(fast.text, plain.text);
        EXPECT_EQ(fast.encodingCode, plain.encodingCode);
        EXPECT_FALSE(fast.truncated);

        // Detection as the plain test decides it, and UTF-8 text as the plain sanitizer makes it.
        const MarkDetection mark = detectByMarks(bytes);
        const std::string_view beforeZero(bytes.data(), std::min(bytes.size(), std::strlen(bytes.c_str())));
        int code = mark.code;
        if (code == kEncodingNone) {
            const int declared = detectHtmlCharset(beforeZero);
            if (declared == 1 || (declared == 0 && looksLikeUtf8(bytes)))
                code = kEncodingUtf8;
            else if (declared != 0)
                code = kEncodingBig5; // decoded by iconv either way
        }
        if (code == kEncodingUtf8) {
            const std::string body = plainSanitize(beforeZero.substr(mark.markLength));
            if (!body.empty()) {
                EXPECT_EQ(fast.encodingCode, kEncodingUtf8);
                EXPECT_EQ(fast.text, body);
            }
        } else if (code == kEncodingNone) {
            EXPECT_EQ(fast.encodingCode, kEncodingAnsi);
        }
        previous = fast.text;
        previous.append(std::string(100000, 'Z')); // large enough to be kept
    }
    releaseSpareBuffers();
}

TEST(FastPathAgreement, Utf8ChecksAgreeWithStepwiseDecoding) {
    std::mt19937 rng(7);
    for (int round = 0; round < 3000; ++round) {
        std::string bytes = hostileBytes(rng);
        if (round % 3 == 0)
            bytes = std::string(rng() % 70, 'q') + bytes; // moves the faults across 16-byte blocks
        SCOPED_TRACE(testing::PrintToString(bytes));
        const auto* b = reinterpret_cast<const unsigned char*>(bytes.data());
        std::size_t valid = 0;
        bool nonAscii = false;
        bool fourByte = false;
        while (valid < bytes.size()) {
            const int length = utf8SequenceLength(b, bytes.size(), valid);
            if (length <= 0)
                break;
            nonAscii = nonAscii || length > 1;
            fourByte = fourByte || length == 4;
            valid += static_cast<std::size_t>(length);
        }
        const Utf8Check check = checkUtf8(bytes);
        EXPECT_EQ(check.valid, valid);
        EXPECT_EQ(check.nonAscii, nonAscii);
        EXPECT_EQ(check.fourByte, fourByte);
        std::size_t ascii = 0;
        while (ascii < bytes.size() && b[ascii] < 0x80)
            ++ascii;
        EXPECT_EQ(asciiPrefix(bytes), ascii);
        // Detection relies on these: well-formed text without four-byte sequences passes the
        // structural test, all-ASCII text fails it.
        if (valid == bytes.size() && !fourByte) {
            EXPECT_EQ(looksLikeUtf8(bytes), nonAscii);
        }
    }
}

TEST(FastPathAgreement, FoldedSearchAgreesWithComparingEveryOffset) {
    std::mt19937 rng(3);
    const std::string alphabet = "invoiceINVOICE vz\xE4\xB8\xAD";
    for (int round = 0; round < 4000; ++round) {
        std::string haystack;
        const std::size_t size = rng() % 90;
        for (std::size_t i = 0; i < size; ++i)
            haystack.push_back(alphabet[rng() % alphabet.size()]);
        std::string needle;
        if (size > 0 && rng() % 2 == 0) {
            const std::size_t at = rng() % size;
            needle = haystack.substr(at, 1 + rng() % 12);
            for (char& c : needle) {
                if (rng() % 3 == 0 && c >= 'a' && c <= 'z')
                    c = static_cast<char>(c - 32);
            }
        } else {
            const std::size_t length = 1 + rng() % 9;
            for (std::size_t i = 0; i < length; ++i)
                needle.push_back(alphabet[rng() % alphabet.size()]);
        }
        const std::size_t from = rng() % (size + 2);
        SCOPED_TRACE(haystack + " / " + needle + " / " + std::to_string(from));
        EXPECT_EQ(findIgnoreAsciiCase(haystack, needle, from), plainFind(haystack, needle, from));
    }
}
