// Internal to the text library: the plain whole-text UTF-8 to GBK path, which
// utf8ToAnsi's run-splitting fast path must always agree with.
#pragma once

#include <string>
#include <string_view>

namespace quillmoss::detail {

std::string utf8ToGbkWhole(std::string_view utf8);

}  // namespace quillmoss::detail
