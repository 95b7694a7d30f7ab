#pragma once

#include <string>
#include <string_view>

namespace clivara::tool {

// Appends utf8 as a JSON string literal: quotes, backslashes and control characters escaped,
// everything else (UTF-8 included) as it is.
void appendJsonString(std::string& out, std::string_view utf8);

}  // namespace clivara::tool
