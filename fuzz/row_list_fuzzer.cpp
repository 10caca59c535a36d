// The saved-list reader from arbitrary bytes: never a crash, and whatever it accepts is written
// back and read again as the same rows.
#include "scan/RowList.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using namespace karv;

namespace {

void check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "row list fuzzer: %s\n", what);
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    std::vector<ResultRow> rows;
    RowListError error;
    if (!readRowList(input, rows, error)) {
        check(rows.empty() && error.line > 0 && !error.message.empty(),
              "a refused list keeps rows or no line");
    } else {
        std::string written;
        for (const ResultRow& row : rows)
            written += rowListLine(row);
        std::vector<ResultRow> again;
        check(readRowList(written, again, error), "a written list is refused");
        check(again.size() == rows.size(), "rows lost in the round trip");
        for (std::size_t i = 0; i < rows.size(); ++i) {
            check(again[i].path() == rows[i].path(), "a path changed in the round trip");
            check(again[i].group == rows[i].group, "a group changed in the round trip");
            check(again[i].stamp.known == rows[i].stamp.known &&
                      again[i].stamp.inode == rows[i].stamp.inode &&
                      again[i].stamp.modifiedNs == rows[i].stamp.modifiedNs &&
                      again[i].stamp.folderKnown == rows[i].stamp.folderKnown,
                  "a stamp changed in the round trip");
        }
    }
    std::string bytes;
    if (base64Decode(input, bytes))
        check(base64Encode(bytes) == input, "base64 has two spellings of one byte sequence");
    return 0;
}
