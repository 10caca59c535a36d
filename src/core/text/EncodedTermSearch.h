#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace karv {

/// Whether any non-empty term occurs in the text that `body` decodes to (code 1, 3 or 4, bytes as
/// `TextConsumer::judgeEncoded` gets them), found by searching the terms' encoded bytes and
/// checking that a hit starts on a character: 1 or 0, or -1 when that cannot be told soundly (a
/// term with ASCII letters or with a character of several encoded forms, an unclear character
/// start) and the decoded text must be searched.
int findTermsEncoded(int code, std::string_view body, const std::vector<std::string>& terms);

} // namespace karv
