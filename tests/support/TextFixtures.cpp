#include "support/TextFixtures.h"

#include <zlib.h>

namespace karv::test {

std::string gzipOf(std::string_view data) {
    z_stream stream{};
    deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, 15 + 16, 9, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&stream, static_cast<uLong>(data.size())) + 64, '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    stream.avail_in = static_cast<uInt>(data.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

std::string randomContent(std::mt19937& rng, const std::vector<std::string>& pieces, std::size_t maxPieces) {
    static const std::vector<std::string> openings = {
        "", "", "", "\xEF\xBB\xBF", "\xFF\xFE", "\xFE\xFF", "<meta charset=utf-8>", "<meta charset=big5>"};
    std::string bytes = openings[rng() % openings.size()];
    const std::size_t count = rng() % maxPieces;
    for (std::size_t i = 0; i < count; ++i)
        bytes += pieces[rng() % pieces.size()];
    if (!bytes.empty() && rng() % 4 == 0)
        bytes.resize(rng() % bytes.size());
    return bytes;
}

std::string replacedMatches(RegexObject& re, std::string_view subject, std::string_view replacement) {
    std::vector<std::size_t> starts;
    for (std::size_t k = 0; k < subject.size(); ++k) {
        if ((static_cast<unsigned char>(subject[k]) & 0xC0) != 0x80)
            starts.push_back(k);
    }
    const int count = re.execute(subject);
    std::string out;
    std::size_t copied = 0;
    for (int i = 1; i <= count; ++i) {
        std::int64_t position = 0;
        const std::string match = re.matchTextAt(i, position);
        const std::size_t at = starts.at(static_cast<std::size_t>(position));
        out.append(subject.substr(copied, at - copied));
        out.append(replacement);
        copied = at + match.size();
    }
    out.append(subject.substr(copied));
    return out;
}

} // namespace karv::test
