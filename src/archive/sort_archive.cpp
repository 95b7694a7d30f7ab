#include "archive/sort_archive.h"

#include <unicode/coll.h>
#include <unicode/locid.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <numeric>
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

}  // namespace

SortRange customerSortRange(const Sheet& clienti) {
    return SortRange{2, clienti.endDown(2, 1)};
}

std::vector<int> ascendingRowOrder(const Sheet& sheet, int firstRow, int lastRow, int column) {
    const int count = lastRow >= firstRow ? lastRow - firstRow + 1 : 0;
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
