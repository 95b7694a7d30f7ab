#include "archive/sort_archive.h"

#include <unicode/coll.h>
#include <unicode/locid.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <numeric>
#include <optional>
#include <string>
#include <string_view>

namespace clivara::archive {
namespace {

constexpr int kLastCustomerColumn = 13;  // column M

// Rank of a value kind in the ascending order.
enum class Rank : std::uint8_t { Number, Text, Boolean, Error, Empty };

struct SortKey {
    Rank rank = Rank::Empty;
    double number = 0;      // numbers and booleans
    std::string primary;    // collation key of the text without apostrophes and hyphens
    std::string secondary;  // collation key of the whole text
};

// One Italian collator at secondary strength: case is ignored, accents count after the
// base letters.
class TextCollator {
  public:
    TextCollator() {
        UErrorCode status = U_ZERO_ERROR;
        collator_.reset(icu::Collator::createInstance(icu::Locale("it", "IT"), status));
        if (U_FAILURE(status) || !collator_) {
            status = U_ZERO_ERROR;
            collator_.reset(icu::Collator::createInstance(icu::Locale::getRoot(), status));
        }
        if (collator_) {
            collator_->setStrength(icu::Collator::SECONDARY);
        }
    }

    std::string key(const icu::UnicodeString& text) const {
        if (!collator_) {
            std::string bytes;
            text.toUTF8String(bytes);
            return bytes;
        }
        std::string bytes(64, '\0');
        for (;;) {
            const std::int32_t needed =
                collator_->getSortKey(text, reinterpret_cast<std::uint8_t*>(bytes.data()),
                                      static_cast<std::int32_t>(bytes.size()));
            if (needed <= static_cast<std::int32_t>(bytes.size())) {
                bytes.resize(needed > 0 ? static_cast<std::size_t>(needed - 1) : 0);  // no NUL
                return bytes;
            }
            bytes.resize(static_cast<std::size_t>(needed));
        }
    }

    int compare(const std::string& a, const std::string& b) const {
        if (!collator_) {
            return a.compare(b);
        }
        UErrorCode status = U_ZERO_ERROR;
        const UCollationResult result = collator_->compareUTF8(a, b, status);
        return U_FAILURE(status) ? a.compare(b) : static_cast<int>(result);
    }

  private:
    std::unique_ptr<icu::Collator> collator_;
};

const TextCollator& collator() {
    static const TextCollator instance;
    return instance;
}

bool isIgnoredAtFirst(char16_t c) {
    return c == u'\'' || c == u'-' || c == u'\u2019' || c == u'\u2010' || c == u'\u2011';
}

SortKey keyOf(const Sheet& sheet, int row, int column) {
    SortKey key;
    switch (sheet.kind(row, column)) {
        case CellKind::Number:
            key.rank = Rank::Number;
            key.number = sheet.number(row, column);
            break;
        case CellKind::Boolean:
            key.rank = Rank::Boolean;
            key.number = sheet.number(row, column);
            break;
        case CellKind::Error:
            key.rank = Rank::Error;
            break;
        case CellKind::Text: {
            const std::string text = sheet.text(row, column);
            if (text.empty()) {
                break;  // an empty string sorts with the empty cells
            }
            key.rank = Rank::Text;
            const icu::UnicodeString whole = icu::UnicodeString::fromUTF8(text);
            icu::UnicodeString stripped;
            for (std::int32_t i = 0; i < whole.length(); ++i) {
                if (!isIgnoredAtFirst(whole.charAt(i))) {
                    stripped.append(whole.charAt(i));
                }
            }
            key.primary = collator().key(stripped);
            key.secondary = collator().key(whole);
            break;
        }
        case CellKind::Empty:
            break;
    }
    return key;
}

bool comesBefore(const SortKey& a, const SortKey& b) {
    if (a.rank != b.rank) {
        return a.rank < b.rank;
    }
    switch (a.rank) {
        case Rank::Number:
        case Rank::Boolean:
            return a.number < b.number;
        case Rank::Text:
            if (a.primary != b.primary) {
                return a.primary < b.primary;
            }
            return a.secondary < b.secondary;
        case Rank::Error:
        case Rank::Empty:
            return false;
    }
    return false;
}

// The value of a key cell as read once for a comparison-based check of the order.
struct KeyValue {
    Rank rank = Rank::Empty;
    double number = 0;
    std::string text;  // UTF-8, texts only
};

KeyValue valueOf(const Sheet& sheet, int row, int column) {
    KeyValue value;
    switch (sheet.kind(row, column)) {
        case CellKind::Number:
            value.rank = Rank::Number;
            value.number = sheet.number(row, column);
            break;
        case CellKind::Boolean:
            value.rank = Rank::Boolean;
            value.number = sheet.number(row, column);
            break;
        case CellKind::Error:
            value.rank = Rank::Error;
            break;
        case CellKind::Text:
            value.text = sheet.text(row, column);
            if (!value.text.empty()) {
                value.rank = Rank::Text;
            }
            break;
        case CellKind::Empty:
            break;
    }
    return value;
}

// Puts into `stripped` the text without the characters ignored at first (apostrophes and
// hyphens, ASCII or typographic); false, and nothing done, when it holds none of them.
bool stripIgnored(const std::string& text, std::string& stripped) {
    if (text.find_first_of("'-\xE2") == std::string::npos) {
        return false;
    }
    const icu::UnicodeString whole = icu::UnicodeString::fromUTF8(text);
    icu::UnicodeString kept;
    for (std::int32_t i = 0; i < whole.length(); ++i) {
        if (!isIgnoredAtFirst(whole.charAt(i))) {
            kept.append(whole.charAt(i));
        }
    }
    stripped.clear();
    kept.toUTF8String(stripped);
    return true;
}

int compareTexts(const std::string& a, const std::string& b) {
    std::string strippedA;
    std::string strippedB;
    const std::string& primaryA = stripIgnored(a, strippedA) ? strippedA : a;
    const std::string& primaryB = stripIgnored(b, strippedB) ? strippedB : b;
    const int primary = collator().compare(primaryA, primaryB);
    return primary != 0 ? primary : collator().compare(a, b);
}

// Negative, zero or positive as a sorts before, with, or after b.
int compareValues(const KeyValue& a, const KeyValue& b) {
    if (a.rank != b.rank) {
        return a.rank < b.rank ? -1 : 1;
    }
    switch (a.rank) {
        case Rank::Number:
        case Rank::Boolean:
            return a.number < b.number ? -1 : (b.number < a.number ? 1 : 0);
        case Rank::Text:
            return compareTexts(a.text, b.text);
        case Rank::Error:
        case Rank::Empty:
            return 0;
    }
    return 0;
}

// The common cases after one customer was added or changed: the rows are already in order,
// or one row stands out of place among rows that are. Returns the order when one of these
// holds, nothing otherwise. The result equals the stable sort's: rows compare by key, then
// by their original place.
std::optional<std::vector<int>> orderWithAtMostOneRowOutOfPlace(
    const std::vector<KeyValue>& values) {
    const int count = static_cast<int>(values.size());
    const auto at = [&values](int i) -> const KeyValue& {
        return values[static_cast<std::size_t>(i)];
    };
    std::vector<int> violations;  // i where row i sorts after row i + 1
    for (int i = 0; i + 1 < count; ++i) {
        if (compareValues(at(i), at(i + 1)) > 0) {
            violations.push_back(i);
            if (violations.size() > 2) {
                return std::nullopt;
            }
        }
    }
    std::vector<int> order(static_cast<std::size_t>(count));
    std::iota(order.begin(), order.end(), 0);
    if (violations.empty()) {
        return order;
    }
    for (const int candidate : {violations.front(), violations.front() + 1}) {
        bool explained = true;
        for (const int v : violations) {
            explained = explained && (v == candidate - 1 || v == candidate);
        }
        if (!explained || (candidate > 0 && candidate + 1 < count &&
                           compareValues(at(candidate - 1), at(candidate + 1)) > 0)) {
            continue;
        }
        // The other rows are in order; put the candidate where the stable sort would.
        std::vector<int> rest;
        rest.reserve(static_cast<std::size_t>(count - 1));
        for (int i = 0; i < count; ++i) {
            if (i != candidate) {
                rest.push_back(i);
            }
        }
        const auto place = std::partition_point(rest.begin(), rest.end(), [&](int other) {
            const int c = compareValues(at(other), at(candidate));
            return c < 0 || (c == 0 && other < candidate);
        });
        rest.insert(place, candidate);
        return rest;
    }
    return std::nullopt;
}

}  // namespace

SortRange customerSortRange(const Sheet& clienti) {
    return SortRange{2, clienti.endDown(2, 1)};
}

std::vector<int> ascendingRowOrder(const Sheet& sheet, int firstRow, int lastRow, int column,
                                   bool allowShortcut) {
    const int count = lastRow >= firstRow ? lastRow - firstRow + 1 : 0;
    if (allowShortcut) {
        std::vector<KeyValue> values;
        values.reserve(static_cast<std::size_t>(count));
        for (int row = firstRow; row <= lastRow; ++row) {
            values.push_back(valueOf(sheet, row, column));
        }
        if (auto order = orderWithAtMostOneRowOutOfPlace(values)) {
            return *order;
        }
    }
    std::vector<SortKey> keys;
    keys.reserve(static_cast<std::size_t>(count));
    for (int row = firstRow; row <= lastRow; ++row) {
        keys.push_back(keyOf(sheet, row, column));
    }
    std::vector<int> order(static_cast<std::size_t>(count));
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&keys](int a, int b) {
        return comesBefore(keys[static_cast<std::size_t>(a)], keys[static_cast<std::size_t>(b)]);
    });
    return order;
}

void sortCustomerRows(Sheet& clienti) {
    const SortRange range = customerSortRange(clienti);
    // Rows past the last used one are empty in every column and stay where they are, so the
    // range need not reach further than that.
    const int lastRow = std::min(range.lastRow, std::max(clienti.lastUsedRow(), range.firstRow));
    const std::vector<int> order = ascendingRowOrder(clienti, range.firstRow, lastRow, 1);
    bool unchanged = true;
    for (std::size_t i = 0; i < order.size(); ++i) {
        if (order[i] != static_cast<int>(i)) {
            unchanged = false;
            break;
        }
    }
    if (!unchanged) {
        clienti.permuteRows(range.firstRow, 1, kLastCustomerColumn, order);
    }
}

}  // namespace clivara::archive
