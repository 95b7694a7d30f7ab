#include "register/provinces.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace clivara::customers {

namespace {

// The text of provinces.txt, compiled in.
constexpr std::string_view kProvinceList =
#include "register/province_list.inc"
    ;

char upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

using Entry = std::pair<std::string_view, std::string_view>;  // abbreviation, name

// The lines "XX Name" of the list, sorted by abbreviation; comments and blank lines skipped.
std::vector<Entry> parseList() {
    std::vector<Entry> entries;
    std::string_view rest = kProvinceList;
    while (!rest.empty()) {
        const std::size_t end = rest.find('\n');
        std::string_view line = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        if (line.size() < 2 || line[0] == '#') {
            continue;
        }
        const std::size_t space = line.find(' ');
        std::string_view name =
            space == std::string_view::npos ? std::string_view() : line.substr(space + 1);
        entries.emplace_back(line.substr(0, std::min(space, line.size())), name);
    }
    std::sort(entries.begin(), entries.end());
    return entries;
}

const std::vector<Entry>& entries() {
    static const std::vector<Entry> list = parseList();
    return list;
}

}  // namespace

std::string_view provinceName(std::string_view abbreviation) {
    if (abbreviation.size() != 2) {
        return {};
    }
    const char key[2] = {upper(abbreviation[0]), upper(abbreviation[1])};
    const std::string_view wanted(key, 2);
    const auto& list = entries();
    const auto found = std::lower_bound(
        list.begin(), list.end(), wanted,
        [](const Entry& entry, std::string_view value) { return entry.first < value; });
    if (found == list.end() || found->first != wanted) {
        return {};
    }
    return found->second;
}

std::string provinceAsStored(std::string_view text) {
    if (provinceName(text).empty()) return std::string(text);
    return {upper(text[0]), upper(text[1])};
}

std::string provinceHint(std::string_view text) {
    if (text.empty() || !provinceName(text).empty()) {
        return {};
    }
    if (text.size() != 2) {
        return "La provincia va indicata con la sigla di due lettere (EE per l'estero)";
    }
    return "Sigla di provincia sconosciuta: " + std::string(text);
}

}  // namespace clivara::customers
