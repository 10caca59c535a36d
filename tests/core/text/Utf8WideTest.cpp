// The UTF-8 test 32 bytes at a time must give, to the byte, the answer of the test a byte at a
// time: on random bytes, and on well-formed and malformed sequences placed across every block edge.
#include "text/Encoding.h"

#include <gtest/gtest.h>
#include <random>

using namespace karv;

namespace {

void expectSame(const std::string& bytes) {
    const Utf8Check wide = checkUtf8Wide(bytes);
    const Utf8Check scalar = checkUtf8Scalar(bytes);
    ASSERT_EQ(wide.valid, scalar.valid) << testing::PrintToString(bytes);
    ASSERT_EQ(wide.nonAscii, scalar.nonAscii) << testing::PrintToString(bytes);
    ASSERT_EQ(wide.fourByte, scalar.fourByte) << testing::PrintToString(bytes);
}

} // namespace

TEST(Utf8Wide, AgreesWithTheByteTestOnRandomAndHostileBytes) {
    if (!wideUtf8Check())
        GTEST_SKIP() << "no AVX2 on this processor";
    static const std::vector<std::string> pieces = {
        "a", "0123456789abcdef", std::string(1, '\0'), "\xC3\xA9", "\xE4\xB8\xAD", "\xF0\x9F\x98\x80",
        "\xF4\x8F\xBF\xBF", "\xEF\xBF\xBF", "\xE0\xA0\x80", "\xED\x9F\xBF", "\xC2\x80",
        // malformed: long forms, surrogates, above U+10FFFF, lone or missing continuations
        "\xC0\xAF", "\xC1\xBF", "\xE0\x80\x80", "\xE0\x9F\xBF", "\xED\xA0\x80", "\xF0\x80\x80\x80",
        "\xF0\x8F\xBF\xBF", "\xF4\x90\x80\x80", "\xF5\x80\x80\x80", "\xFF", "\xFE", "\x80", "\xBF",
        "\xE4\xB8", "\xF0\x9F\x98", "\xC3", "\xD6\xD0\xCE\xC4"};
    std::mt19937 rng(88);
    for (int round = 0; round < 20000; ++round) {
        std::string bytes;
        if (round % 4 == 0) {
            // Random bytes, mostly ASCII.
            bytes.resize(rng() % 200);
            for (char& c : bytes)
                c = static_cast<char>(rng() % 3 == 0 ? rng() % 256 : rng() % 128);
        } else {
            // One piece at any offset of a well-formed run, so faults fall on every block edge.
            const std::string filler = round % 3 == 0 ? "\xE4\xB8\xAD" : "x";
            while (bytes.size() < rng() % 160)
                bytes += pieces[rng() % 14];
            bytes += pieces[rng() % pieces.size()];
            for (std::size_t k = rng() % 100; k > 0; --k)
                bytes += filler;
        }
        expectSame(bytes);
    }
    // A long well-formed text with one fault near its end.
    std::string text;
    for (int i = 0; i < 5000; ++i)
        text += pieces[static_cast<std::size_t>(i) % 11];
    expectSame(text);
    expectSame(text + "\xED\xA0\x80" + text);
}
