#include "register/customer_search.h"

#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <iterator>
#include <limits>
#include <optional>
#include <stdexcept>
#include <unordered_map>

#include "register/customer_fields.h"

namespace clivara::customers {

namespace {

// Closes every folded field in the index; folded text never holds it (controls fold to a
// space), so neither does a folded word.
constexpr char kFieldEnd = '\x1f';
constexpr std::size_t kSample = 64;
// The estimate may be far off (long notes in the sample, rows of formatting only below): it
// never reserves more than this at once.
constexpr std::size_t kMostReserved = std::size_t{64} << 20;

// Folds one character at a time: plain ASCII directly, every other character through ICU
// once, then from a cache. Folding characters one by one gives the same result as folding
// the whole text would, as the marks that could compose with a letter are removed anyway.
class Folder {
  public:
    Folder() {
        UErrorCode status = U_ZERO_ERROR;
        compatibilityCaseFold_ = icu::Normalizer2::getNFKCCasefoldInstance(status);
        if (U_FAILURE(status)) compatibilityCaseFold_ = nullptr;
        status = U_ZERO_ERROR;
        decompose_ = icu::Normalizer2::getNFDInstance(status);
        if (U_FAILURE(status)) decompose_ = nullptr;
    }

    void append(std::string_view text, std::string& out) {
        if (text.size() > static_cast<std::size_t>(std::numeric_limits<int32_t>::max())) {
            throw std::length_error("text too long to fold");
        }
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
        const auto length = static_cast<int32_t>(text.size());
        int32_t i = 0;
        while (i < length) {
            if (bytes[i] < 0x80) {
                int32_t end = i + 1;
                while (end < length && bytes[end] < 0x80) ++end;
                const std::size_t at = out.size();
                out.append(text.data() + i, static_cast<std::size_t>(end - i));
                for (std::size_t k = at; k < out.size(); ++k) {
                    out[k] = foldAscii(static_cast<std::uint8_t>(out[k]));
                }
                i = end;
                continue;
            }
            UChar32 c = 0;
            U8_NEXT(bytes, i, length, c);
            if (c < 0) c = 0xFFFD;
            out += folded(c);
        }
    }

  private:
    static char foldAscii(std::uint8_t byte) {
        if (byte >= 'A' && byte <= 'Z') return static_cast<char>(byte - 'A' + 'a');
        if (byte < 0x20 || byte == 0x7F) return ' ';
        return static_cast<char>(byte);
    }

    const std::string& folded(UChar32 c) {
        auto found = cache_.find(c);
        if (found != cache_.end()) return found->second;
        return cache_.emplace(c, fold(c)).first->second;
    }

    std::string fold(UChar32 c) const {
        icu::UnicodeString text(c);
        UErrorCode status = U_ZERO_ERROR;
        if (compatibilityCaseFold_ != nullptr) {
            text = compatibilityCaseFold_->normalize(text, status);
        }
        if (decompose_ != nullptr && U_SUCCESS(status)) {
            text = decompose_->normalize(text, status);
        }
        if (U_FAILURE(status)) text = icu::UnicodeString(u_foldCase(c, U_FOLD_CASE_DEFAULT));
        icu::UnicodeString kept;
        for (int32_t k = 0; k < text.length();) {
            const UChar32 part = text.char32At(k);
            k += U16_LENGTH(part);
            if (u_charType(part) == U_NON_SPACING_MARK) continue;
            kept.append(u_isUWhiteSpace(part) || u_iscntrl(part) ? UChar32(' ') : part);
        }
        std::string out;
        kept.toUTF8String(out);
        return out;
    }

    const icu::Normalizer2* compatibilityCaseFold_ = nullptr;
    const icu::Normalizer2* decompose_ = nullptr;
    std::unordered_map<UChar32, std::string> cache_;
};

Folder& folder() {
    thread_local Folder instance;
    return instance;
}

std::vector<std::string_view> wordsOf(std::string_view folded) {
    std::vector<std::string_view> words;
    std::size_t at = 0;
    while (at < folded.size()) {
        const std::size_t end = std::min(folded.find(' ', at), folded.size());
        if (end > at) words.push_back(folded.substr(at, end - at));
        at = end + 1;
    }
    return words;
}

// A word is found by its own folded form, and a word of telephone digits and separators by
// its digits too.
std::vector<std::string> needlesOf(std::string_view word) {
    std::vector<std::string> needles{std::string(word)};
    std::string digits = phoneDigits(word);
    if (!digits.empty() && digits != word) needles.push_back(std::move(digits));
    return needles;
}

std::vector<std::size_t> mergeUnique(std::vector<std::size_t> a,
                                     const std::vector<std::size_t>& b) {
    if (b.empty()) return a;
    const std::size_t middle = a.size();
    a.insert(a.end(), b.begin(), b.end());
    std::inplace_merge(a.begin(), a.begin() + static_cast<std::ptrdiff_t>(middle), a.end());
    a.erase(std::unique(a.begin(), a.end()), a.end());
    return a;
}

}  // namespace

std::string foldForSearch(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    folder().append(text, out);
    return out;
}

std::string phoneDigits(std::string_view text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) return {};
    text = text.substr(first, text.find_last_not_of(' ') - first + 1);
    const bool international = text.front() == '+';
    if (international) text.remove_prefix(1);
    std::string digits;
    for (const char c : text) {
        if (c >= '0' && c <= '9') {
            digits.push_back(c);
        } else if (std::strchr(" .-/()", c) == nullptr || c == '\0') {
            return {};
        }
    }
    if (international && digits.starts_with("39")) {
        digits.erase(0, 2);
    } else if (!international && digits.starts_with("0039") && text.starts_with("00")) {
        digits.erase(0, 4);
    }
    return digits;
}

CustomerSearchIndex::CustomerSearchIndex(const archive::Sheet& clienti)
    : built_(true), revision_(clienti.revision()) {
    Folder& fold = folder();
    const int last = clienti.lastUsedRow();
    std::string converted;
    std::vector<std::string> phones;
    auto cellText = [&](int row, int column) -> std::string_view {
        if (const std::optional<std::string_view> stored = clienti.storedText(row, column)) {
            return *stored;
        }
        converted = clienti.text(row, column);
        return converted;
    };
    for (int row = kFirstCustomerRow; row <= last; ++row) {
        if (clienti.isEmpty(row, kNameColumn)) continue;
        // After a first sample of customers, room for the rest in one allocation rather than
        // a copy of the whole text at every doubling.
        if (customers_.size() == kSample) {
            const auto rest = static_cast<std::size_t>(last - row + 1);
            auto roomFor = [&](const std::string& sample) {
                return sample.size() +
                       std::min(sample.size() / kSample * rest * 5 / 4, kMostReserved);
            };
            text_.reserve(roomFor(text_));
            shown_.reserve(roomFor(shown_));
            customers_.reserve(customers_.size() + rest);
            shownEnds_.reserve(4 * (customers_.size() + rest));
        }
        customers_.push_back({row, text_.size(), shown_.size()});
        phones.clear();
        for (int column = 1; column <= kFieldCount; ++column) {
            const std::size_t start = text_.size();
            fold.append(cellText(row, column), text_);
            std::string digits =
                phoneDigits(std::string_view(text_).substr(start, text_.size() - start));
            if (!digits.empty() && digits.size() != text_.size() - start) {
                phones.push_back(std::move(digits));
            }
            text_.push_back(kFieldEnd);
        }
        for (const std::string& digits : phones) {
            text_ += digits;
            text_.push_back(kFieldEnd);
        }
        for (const int column : {kNameColumn, 6, kIdColumn}) {
            shown_ += cellText(row, column);
            shownEnds_.push_back(shown_.size());
        }
        const std::string_view taxCode = cellText(row, kTaxCodeColumn);
        shown_ += taxCode.empty() ? cellText(row, kVatNumberColumn) : taxCode;
        shownEnds_.push_back(shown_.size());
    }
    for (const char c : text_) ++byteCounts_[static_cast<std::uint8_t>(c)];
}

std::string_view CustomerSearchIndex::shown(std::size_t i, Shown what) const {
    const auto k = static_cast<std::size_t>(what);
    const std::size_t begin = k == 0 ? customers_.at(i).shownBegin : shownEnds_.at(4 * i + k - 1);
    return std::string_view(shown_).substr(begin, shownEnds_.at(4 * i + k) - begin);
}

std::size_t CustomerSearchIndex::textEnd(std::size_t i) const {
    return i + 1 < customers_.size() ? customers_[i + 1].textBegin : text_.size();
}

CustomerSearchIndex::Needle CustomerSearchIndex::needle(std::string_view text) const {
    Needle out{std::string(text), 0};
    for (std::size_t k = 1; k < text.size(); ++k) {
        if (byteCounts_[static_cast<std::uint8_t>(text[k])] <
            byteCounts_[static_cast<std::uint8_t>(text[out.anchor])]) {
            out.anchor = k;
        }
    }
    return out;
}

// One customer's text is short: the needle's rarest byte is looked for, and the needle
// compared where it stands, rather than setting up memmem for each customer or comparing at
// every digit of a needle of digits.
bool CustomerSearchIndex::Needle::in(std::string_view haystack) const {
    const char rare = text[anchor];
    for (std::size_t from = anchor; from < haystack.size();) {
        const void* hit = std::memchr(haystack.data() + from, rare, haystack.size() - from);
        if (hit == nullptr) return false;
        const auto at = static_cast<std::size_t>(static_cast<const char*>(hit) - haystack.data());
        const std::size_t start = at - anchor;
        if (start + text.size() <= haystack.size() &&
            std::memcmp(haystack.data() + start, text.data(), text.size()) == 0) {
            return true;
        }
        from = at + 1;
    }
    return false;
}

std::vector<CustomerSearchIndex::Needle> CustomerSearchIndex::needles(
    const std::vector<std::string>& texts) const {
    std::vector<Needle> out;
    for (const std::string& text : texts) {
        if (!text.empty()) out.push_back(needle(text));
    }
    return out;
}

bool CustomerSearchIndex::holdsAny(std::size_t i, const std::vector<Needle>& needles) const {
    const std::string_view text = textOf(i);
    return std::any_of(needles.begin(), needles.end(),
                       [&](const Needle& needle) { return needle.in(text); });
}

std::vector<std::size_t> CustomerSearchIndex::scanAll(const std::vector<std::string>& texts) const {
    const std::vector<Needle> wanted = needles(texts);
    std::vector<std::size_t> found;
    for (std::size_t i = 0; i < customers_.size(); ++i) {
        if (holdsAny(i, wanted)) found.push_back(i);
    }
    return found;
}

void CustomerSearchIndex::keepHolding(std::vector<std::size_t>& found,
                                      const std::vector<std::string>& texts) const {
    const std::vector<Needle> wanted = needles(texts);
    std::erase_if(found, [&](std::size_t i) { return !holdsAny(i, wanted); });
}

std::string_view CustomerSearchIndex::textOf(std::size_t i) const {
    const std::size_t begin = customers_[i].textBegin;
    return std::string_view(text_).substr(begin, textEnd(i) - begin);
}

std::vector<std::size_t> CustomerSearchIndex::find(std::string_view query) const {
    const std::string folded = foldForSearch(query);
    const std::vector<std::string_view> words = wordsOf(folded);
    if (words.empty() || customers_.empty()) return {};
    for (auto kept = answers_.begin(); kept != answers_.end(); ++kept) {
        if (kept->folded != folded) continue;
        std::rotate(kept, kept + 1, answers_.end());  // the most recent last
        return answers_.back().found;
    }
    std::vector<std::vector<std::string>> needles;
    needles.reserve(words.size());
    bool asTyped = true;  // every word is found only as typed, not by its digits
    bool separatorsOnly = false;
    for (const std::string_view word : words) {
        needles.push_back(needlesOf(word));
        asTyped = asTyped && needles.back().size() == 1;
        separatorsOnly = separatorsOnly || word.find_first_of("0123456789") == word.npos;
    }
    // A telephone number typed with spaces ("+39 06 1656160") is also one number. Its digits
    // find more than the words only where a word is not found by its own digits: the prefix
    // in front, or a word of separators alone ("06 - 1656160").
    std::string number;
    if (words.size() > 1 &&
        (words.front().starts_with('+') || words.front().starts_with("00") || separatorsOnly)) {
        number = phoneDigits(folded);
    }
    asTyped = asTyped && number.empty();

    // A query that extends a kept one, and whose words are all found as typed, can only find
    // fewer: each of its words either is one of that query's words, or holds the last of them
    // (typed on), or is new. The longest such query found the fewest; only its customers are
    // looked at, and where it too was found as typed, only for the words it did not have.
    const Answer* from = nullptr;
    if (asTyped) {
        for (const Answer& kept : answers_) {
            if (folded.starts_with(kept.folded) &&
                (from == nullptr || kept.folded.size() > from->folded.size())) {
                from = &kept;
            }
        }
    }
    std::vector<std::string_view> known;
    if (from != nullptr && from->asTyped) known = wordsOf(from->folded);
    std::vector<std::vector<std::string>> wanted;
    wanted.reserve(needles.size());
    for (std::size_t w = 0; w < needles.size(); ++w) {
        if (std::find(known.begin(), known.end(), words[w]) == known.end()) {
            wanted.push_back(std::move(needles[w]));
        }
    }
    // The longest word finds the fewest customers: it scans the whole index, the others look
    // only at the customers it found.
    std::stable_sort(wanted.begin(), wanted.end(), [](const auto& a, const auto& b) {
        return a.front().size() > b.front().size();
    });
    std::vector<std::size_t> found;
    std::size_t w = 0;
    if (from != nullptr) {
        found = from->found;
    } else {
        found = scanAll(wanted.front());
        w = 1;
    }
    for (; w < wanted.size(); ++w) keepHolding(found, wanted[w]);
    if (!number.empty()) found = mergeUnique(std::move(found), scanAll({number}));
    if (answers_.size() == kAnswersKept) answers_.erase(answers_.begin());
    answers_.push_back({folded, asTyped, found});
    return found;
}

}  // namespace clivara::customers
