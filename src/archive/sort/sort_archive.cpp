#include "archive/sort/sort_archive.h"

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
#include <unordered_map>

namespace clivara::archive {
namespace {

constexpr int kLastCustomerColumn = 13;  // column M

// Rank of a value kind in the ascending order.
enum class Rank : std::uint8_t { Number, Text, Boolean, Error, Empty };

// The value of a key cell, read once.
struct KeyValue {
    Rank rank = Rank::Empty;
    double number = 0;            // numbers and booleans
    std::string_view text;        // UTF-8, texts only; the sheet does not change while it is used
    bool mayHaveIgnored = false;  // the text may hold characters ignored at first
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

    // A byte string whose plain order is the collation order (for sorting many rows).
    std::string key(std::string_view utf8) const {
        const icu::UnicodeString text = icu::UnicodeString::fromUTF8(
            icu::StringPiece(utf8.data(), static_cast<std::int32_t>(utf8.size())));
        if (!collator_) {
            return std::string(utf8);
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

    // Negative, zero or positive (for comparing a few rows without building keys).
    int compare(std::string_view a, std::string_view b) const {
        if (!collator_) {
            return a.compare(b);
        }
        UErrorCode status = U_ZERO_ERROR;
        const UCollationResult result = collator_->compareUTF8(
            icu::StringPiece(a.data(), static_cast<std::int32_t>(a.size())),
            icu::StringPiece(b.data(), static_cast<std::int32_t>(b.size())), status);
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

// False when the text surely holds none of the characters ignored at first (apostrophes and
// hyphens, ASCII or typographic: the typographic ones all begin with the byte E2 in UTF-8).
bool mayHaveIgnored(std::string_view text) {
    return std::any_of(text.begin(), text.end(),
                       [](char c) { return c == '\'' || c == '-' || c == '\xE2'; });
}

// The text without the characters ignored at first, built in `scratch` when there are some;
// the text itself otherwise.
std::string_view withoutIgnored(std::string_view text, std::string& scratch) {
    if (!mayHaveIgnored(text)) {
        return text;
    }
    const icu::UnicodeString whole = icu::UnicodeString::fromUTF8(
        icu::StringPiece(text.data(), static_cast<std::int32_t>(text.size())));
    icu::UnicodeString kept;
    for (std::int32_t i = 0; i < whole.length(); ++i) {
        if (!isIgnoredAtFirst(whole.charAt(i))) {
            kept.append(whole.charAt(i));
        }
    }
    scratch.clear();
    kept.toUTF8String(scratch);
    return scratch;
}

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
            value.text = sheet.storedText(row, column).value_or(std::string_view());
            if (!value.text.empty()) {
                value.rank = Rank::Text;  // an empty string sorts with the empty cells
                value.mayHaveIgnored = mayHaveIgnored(value.text);
            }
            break;
        case CellKind::Empty:
            break;
    }
    return value;
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
        case Rank::Text: {
            if (!a.mayHaveIgnored && !b.mayHaveIgnored) {
                // Nothing to leave out: the first comparison is already the whole one.
                return collator().compare(a.text, b.text);
            }
            std::string scratchA;
            std::string scratchB;
            const std::string_view primaryA =
                a.mayHaveIgnored ? withoutIgnored(a.text, scratchA) : a.text;
            const std::string_view primaryB =
                b.mayHaveIgnored ? withoutIgnored(b.text, scratchB) : b.text;
            const int primary = collator().compare(primaryA, primaryB);
            return primary != 0 ? primary : collator().compare(a.text, b.text);
        }
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

// The full stable sort. Each distinct text is given its collation keys once and a rank among
// the other texts (equal keys, equal rank); the rows then compare by rank. A column of a few
// towns asks the collator a few times rather than once a row.
std::vector<int> stableOrder(const std::vector<KeyValue>& values) {
    std::unordered_map<std::string_view, std::uint32_t> distinct;
    std::vector<std::string_view> texts;
    std::vector<std::uint32_t> textOf(values.size(), 0);
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (values[i].rank != Rank::Text) continue;
        const auto [at, added] =
            distinct.try_emplace(values[i].text, static_cast<std::uint32_t>(texts.size()));
        if (added) texts.push_back(values[i].text);
        textOf[i] = at->second;
    }
    struct Key {
        std::string primary;
        std::string secondary;
    };
    std::vector<Key> keys(texts.size());
    for (std::size_t t = 0; t < texts.size(); ++t) {
        std::string scratch;
        const std::string_view primary = withoutIgnored(texts[t], scratch);
        keys[t].primary = collator().key(primary);
        // Without characters to leave out, both keys are of the same text.
        keys[t].secondary =
            primary.data() == texts[t].data() ? keys[t].primary : collator().key(texts[t]);
    }
    const auto keyLess = [&keys](std::uint32_t a, std::uint32_t b) {
        const Key& ka = keys[a];
        const Key& kb = keys[b];
        return ka.primary != kb.primary ? ka.primary < kb.primary : ka.secondary < kb.secondary;
    };
    std::vector<std::uint32_t> byKey(texts.size());
    std::iota(byKey.begin(), byKey.end(), 0u);
    std::sort(byKey.begin(), byKey.end(), keyLess);
    std::vector<std::uint32_t> rankOfText(texts.size(), 0);
    for (std::size_t k = 1; k < byKey.size(); ++k) {
        rankOfText[byKey[k]] =
            rankOfText[byKey[k - 1]] + (keyLess(byKey[k - 1], byKey[k]) ? 1u : 0u);
    }

    std::vector<int> order(values.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](int ia, int ib) {
        const KeyValue& a = values[static_cast<std::size_t>(ia)];
        const KeyValue& b = values[static_cast<std::size_t>(ib)];
        if (a.rank != b.rank) {
            return a.rank < b.rank;
        }
        if (a.rank == Rank::Number || a.rank == Rank::Boolean) {
            return a.number < b.number;
        }
        if (a.rank != Rank::Text) {
            return false;
        }
        return rankOfText[textOf[static_cast<std::size_t>(ia)]] <
               rankOfText[textOf[static_cast<std::size_t>(ib)]];
    });
    return order;
}

}  // namespace

SortRange customerSortRange(const Sheet& clienti) {
    return SortRange{2, clienti.endDown(2, 1)};
}

std::vector<int> ascendingRowOrder(const Sheet& sheet, int firstRow, int lastRow, int column,
                                   bool allowShortcut) {
    std::vector<KeyValue> values;
    if (lastRow >= firstRow) {
        values.reserve(static_cast<std::size_t>(lastRow - firstRow + 1));
    }
    for (int row = firstRow; row <= lastRow; ++row) {
        sheet.readAhead(row, column);
        values.push_back(valueOf(sheet, row, column));
    }
    if (allowShortcut) {
        if (auto order = orderWithAtMostOneRowOutOfPlace(values)) {
            return *order;
        }
    }
    return stableOrder(values);
}

AppliedSort sortCustomerRows(Sheet& clienti) {
    const SortRange range = customerSortRange(clienti);
    // Rows past the last used one are empty in every column and stay where they are, so the
    // range need not reach further than that.
    const int lastRow = std::min(range.lastRow, std::max(clienti.lastUsedRow(), range.firstRow));
    std::vector<int> order = ascendingRowOrder(clienti, range.firstRow, lastRow, 1);
    bool unchanged = true;
    for (std::size_t i = 0; i < order.size(); ++i) {
        if (order[i] != static_cast<int>(i)) {
            unchanged = false;
            break;
        }
    }
    if (unchanged) {
        return {range.firstRow, {}};
    }
    clienti.permuteRows(range.firstRow, 1, kLastCustomerColumn, order);
    return {range.firstRow, std::move(order)};
}

}  // namespace clivara::archive
