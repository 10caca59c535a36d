// Throughput of the text layer beside memchr, memcpy and memmem over the same buffers.
#include "text/Encoding.h"
#include "text/Matching.h"
#include "text/RegexObject.h"
#include "text/TextLoader.h"
#include "text/TextSearch.h"

#include <benchmark/benchmark.h>
#include <cstring>
#include <random>
#include <string.h>
#include <zlib.h>

using namespace karv;

namespace {

constexpr std::size_t kLarge = 100'000'000;
constexpr std::size_t kHtmlSize = 10'000'000;

/// Chinese prose in UTF-8: common characters, full-width punctuation, a line break now and then.
const std::string& chineseUtf8() {
    static const std::string text = [] {
        const char* words[] = {"文件", "筛选", "内容", "报告", "目录", "时间",
                               "长度", "重复", "编码", "，",   "。",   "\r\n"};
        std::mt19937 random(1);
        std::string out;
        out.reserve(kLarge + 16);
        while (out.size() < kLarge)
            out += words[random() % 12];
        return out;
    }();
    return text;
}

const std::string& chineseGb18030() {
    static const std::string text = convertCharset(chineseUtf8(), "UTF-8", "GB18030", std::size_t{1} << 30);
    return text;
}

const std::string& chineseUtf16Le() {
    static const std::string text = convertCharset(chineseUtf8(), "UTF-8", "UTF-16LE", std::size_t{1} << 30);
    return text;
}

const std::string& mixedText() {
    static const std::string text = [] {
        const char* words[] = {"The ",    "file ", "filter ",  "报告", "目录",
                               "Report ", "2018 ", "content ", "\r\n"};
        std::mt19937 random(2);
        std::string out;
        out.reserve(kLarge + 16);
        while (out.size() < kLarge)
            out += words[random() % 9];
        return out;
    }();
    return text;
}

const std::string& html() {
    static const std::string text = [] {
        std::string out;
        while (out.size() < kHtmlSize)
            out +=
                "<div class=\"row\"><a href=\"/p/1\">文件筛选</a> plain text <b>报告</b>\r\n<br/></div>\r\n";
        return out;
    }();
    return text;
}

const std::string& gzipped() {
    static const std::string data = [] {
        const std::string& source = mixedText();
        uLongf size = compressBound(source.size()) + 64;
        std::string out(size, '\0');
        z_stream stream{};
        deflateInit2(&stream, 6, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY);
        stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(source.data()));
        stream.avail_in = static_cast<uInt>(source.size());
        stream.next_out = reinterpret_cast<Bytef*>(out.data());
        stream.avail_out = static_cast<uInt>(out.size());
        deflate(&stream, Z_FINISH);
        out.resize(stream.total_out);
        deflateEnd(&stream);
        return out;
    }();
    return data;
}

void setBytes(benchmark::State& state, std::size_t size) {
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(size));
}

void Memchr(benchmark::State& state) {
    const std::string& text = chineseUtf8();
    for (auto _ : state)
        benchmark::DoNotOptimize(std::memchr(text.data(), '\x01', text.size()));
    setBytes(state, text.size());
}

void Memcpy(benchmark::State& state) {
    const std::string& text = chineseUtf8();
    std::string copy(text.size(), '\0');
    for (auto _ : state) {
        std::memcpy(copy.data(), text.data(), text.size());
        benchmark::ClobberMemory();
    }
    setBytes(state, text.size());
}

void LooksLikeUtf8(benchmark::State& state) {
    const std::string& text = chineseUtf8();
    for (auto _ : state)
        benchmark::DoNotOptimize(looksLikeUtf8(text));
    setBytes(state, text.size());
}

void Gb18030ToUtf8(benchmark::State& state) {
    const std::string& text = chineseGb18030();
    for (auto _ : state)
        benchmark::DoNotOptimize(convertCharset(text, "GB18030", "UTF-8", std::size_t{1} << 30));
    setBytes(state, text.size());
}

void LoadAnsiFromMemory(benchmark::State& state) {
    const std::string& text = chineseGb18030();
    for (auto _ : state)
        benchmark::DoNotOptimize(loadTextFromBytes(text));
    setBytes(state, text.size());
}

void Utf16LeToUtf8Loader(benchmark::State& state) {
    const std::string data = "\xFF\xFE" + chineseUtf16Le();
    for (auto _ : state)
        benchmark::DoNotOptimize(loadTextFromBytes(data));
    setBytes(state, data.size());
}

void Utf16LeToUtf8Iconv(benchmark::State& state) {
    const std::string& data = chineseUtf16Le();
    for (auto _ : state)
        benchmark::DoNotOptimize(convertCharset(data, "UTF-16LE", "UTF-8", std::size_t{1} << 30));
    setBytes(state, data.size());
}

void Gunzip(benchmark::State& state) {
    const std::string& data = gzipped();
    std::size_t produced = 0;
    for (auto _ : state) {
        const std::string out = gunzipBytes(data, std::size_t{1} << 30);
        produced = out.size();
        benchmark::DoNotOptimize(out.data());
    }
    setBytes(state, produced); // decompressed bytes
}

void PlainTermIgnoreCase(benchmark::State& state, const char* needle) {
    const std::string& text = mixedText();
    for (auto _ : state)
        benchmark::DoNotOptimize(findIgnoreAsciiCase(text, needle));
    setBytes(state, text.size());
}

void Memmem(benchmark::State& state, const char* needle) {
    const std::string& text = mixedText();
    for (auto _ : state)
        benchmark::DoNotOptimize(::memmem(text.data(), text.size(), needle, std::strlen(needle)));
    setBytes(state, text.size());
}

void PlainTermMatchAbsent(benchmark::State& state) {
    const std::string& text = mixedText();
    const std::vector<std::string> terms = splitContentTerms("Karv Tessil");
    for (auto _ : state)
        benchmark::DoNotOptimize(plainTermMatch(text, terms));
    setBytes(state, text.size());
}

void RegexTagSearch(benchmark::State& state) {
    const std::string& text = html();
    RegexObject tags;
    tags.compile("<[\\s\\S]+?>", true, true, true);
    for (auto _ : state)
        benchmark::DoNotOptimize(tags.execute(text));
    setBytes(state, text.size());
}

/// An ordinary expression over 100 MB, every match collected (the fast engine's throughput).
void RegexSearchAll(benchmark::State& state, const char* pattern) {
    const std::string& text = mixedText();
    RegexObject re;
    re.compile(pattern, true, true, true);
    for (auto _ : state)
        benchmark::DoNotOptimize(re.execute(text));
    state.counters["matches"] = re.matchCount();
    setBytes(state, text.size());
}

/// Expressions that backtrack without bound over one long line: each run must end at the limit.
void RegexRunaway(benchmark::State& state, const char* pattern) {
    static const std::string line = [] {
        std::string out;
        while (out.size() < 4'000'000)
            out += "abc中文def ";
        return out;
    }();
    RegexObject re;
    re.compile(pattern, true, true, false);
    for (auto _ : state)
        benchmark::DoNotOptimize(re.execute(line));
    state.counters["limit"] = re.limitReached();
    setBytes(state, line.size());
}

void MemchrHtml(benchmark::State& state) {
    const std::string& text = html();
    for (auto _ : state)
        benchmark::DoNotOptimize(std::memchr(text.data(), '\x01', text.size()));
    setBytes(state, text.size());
}

} // namespace

BENCHMARK(Memchr)->Unit(benchmark::kMillisecond);
BENCHMARK(Memcpy)->Unit(benchmark::kMillisecond);
BENCHMARK(LooksLikeUtf8)->Unit(benchmark::kMillisecond);
BENCHMARK(Gb18030ToUtf8)->Unit(benchmark::kMillisecond);
BENCHMARK(LoadAnsiFromMemory)->Unit(benchmark::kMillisecond);
BENCHMARK(Utf16LeToUtf8Loader)->Unit(benchmark::kMillisecond);
BENCHMARK(Utf16LeToUtf8Iconv)->Unit(benchmark::kMillisecond);
BENCHMARK(Gunzip)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(PlainTermIgnoreCase, ascii, "Karv Tessil")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Memmem, ascii, "Karv Tessil")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(PlainTermIgnoreCase, chinese, "筛选结果")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Memmem, chinese, "筛选结果")->Unit(benchmark::kMillisecond);
BENCHMARK(PlainTermMatchAbsent)->Unit(benchmark::kMillisecond);
BENCHMARK(RegexTagSearch)->Unit(benchmark::kMillisecond);
BENCHMARK(MemchrHtml)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(RegexSearchAll, literal, "invoice")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(RegexSearchAll, greedy, "报告.*2018")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(RegexSearchAll, classes, "filter\\s+报告")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(RegexSearchAll, groups, "(report|content) \\d+")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(RegexRunaway, greedy, "a.*e.*X")->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK_CAPTURE(RegexRunaway, wildcard, "a.*e.*TAIL")->Unit(benchmark::kMillisecond)->Iterations(1);

BENCHMARK_MAIN();
