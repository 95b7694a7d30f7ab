#include "register/postcode.h"

#include <algorithm>

namespace clivara::customers {

namespace {

bool abroad(std::string_view province) {
    return province.size() == 2 && (province[0] == 'E' || province[0] == 'e') &&
           (province[1] == 'E' || province[1] == 'e');
}

}  // namespace

std::string postcodeHint(std::string_view postcode, std::string_view province) {
    if (postcode.empty() || abroad(province)) {
        return {};
    }
    const bool digits =
        std::all_of(postcode.begin(), postcode.end(), [](char c) { return c >= '0' && c <= '9'; });
    if (!digits || postcode.size() != 5) {
        return "Il C.A.P. deve avere 5 cifre";
    }
    return {};
}

}  // namespace clivara::customers
