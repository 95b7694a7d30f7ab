#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "archive/workbook.h"

namespace clivara::customers {

// The text as the search compares it (UTF-8 in, UTF-8 out): compatibility forms unfolded,
// letter case folded (ß as ss, final sigma as sigma), accents and other combining marks
// removed (à as a, Ç as c, Ά as α), every space, tab, line break or other control character
// as one plain space. Invalid UTF-8 reads as U+FFFD.
std::string foldForSearch(std::string_view text);

// The digits of a text made only of digits and the separators of telephone numbers (spaces,
// dots, dashes, slashes, brackets, a leading +), without the Italian prefix +39 or 0039 in
// front; empty for any other text. "+39 06/165.61-60" gives "061656160".
std::string phoneDigits(std::string_view text);

// The customers of "Clienti" prepared for searching over their thirteen fields: built once
// from the sheet after each change, then asked at every keystroke.
//
// A query is split into words at spaces; a customer matches when every word, folded as
// above, is found somewhere in one of its thirteen fields (any field, any position). A field
// of telephone digits and separators is also found by its digits alone, and a word of digits
// and separators by its digits alone, so that 061656160, 06-1656160 and +39 06 1656160 all
// find "06 1656160". A query without words matches nothing.
//
// The customers are the rows from row 2 down to the last row that holds a cell, in sheet
// order, leaving out the rows whose name (column A) reads as empty text.
class CustomerSearchIndex {
  public:
    // What the search window and the tool show of each customer.
    enum class Shown { Name, Town, Id, TaxOrVatNumber };

    CustomerSearchIndex() = default;
    explicit CustomerSearchIndex(const archive::Sheet& clienti);

    // True when the index was built from this sheet as it is now (Sheet::revision()).
    bool isCurrentFor(const archive::Sheet& clienti) const {
        return built_ && revision_ == clienti.revision();
    }

    std::size_t size() const { return customers_.size(); }
    // The sheet row of the customer at position i (0 .. size() - 1, in sheet order).
    int row(std::size_t i) const { return customers_.at(i).row; }
    // "Ragione Sociale", "Località", "ID", and "Codice Fiscale" or, where that is empty,
    // "Partita IVA", as the sheet gave them when the index was built.
    std::string_view shown(std::size_t i, Shown what) const;

    // The positions of the matching customers, in sheet order. The last few answers are kept:
    // a query asked again (the user deletes back) is answered from them, and a query that
    // extends one of them (the user types on) only looks at the customers that one found. So
    // one index serves one thread.
    std::vector<std::size_t> find(std::string_view query) const;

  private:
    struct Customer {
        int row = 0;
        std::size_t textBegin = 0;   // in text_, up to the next customer's textBegin
        std::size_t shownBegin = 0;  // in shown_: four texts, ends in shownEnds_
    };
    // A text looked for in the customers' texts, from its byte that they hold the fewest
    // times.
    struct Needle {
        std::string text;
        std::size_t anchor = 0;
        bool in(std::string_view haystack) const;
    };
    Needle needle(std::string_view text) const;
    std::vector<Needle> needles(const std::vector<std::string>& texts) const;
    std::size_t textEnd(std::size_t i) const;
    std::string_view textOf(std::size_t i) const;
    // Positions of the customers whose folded text holds any of the texts.
    std::vector<std::size_t> scanAll(const std::vector<std::string>& texts) const;
    bool holdsAny(std::size_t i, const std::vector<Needle>& needles) const;
    // Keeps of the customers found (in sheet order) those whose text holds any of the texts.
    void keepHolding(std::vector<std::size_t>& found, const std::vector<std::string>& texts) const;

    bool built_ = false;
    std::uint64_t revision_ = 0;
    std::vector<Customer> customers_;
    // Every customer's folded fields, one after the other, each field closed by a separator
    // that no folded word contains, so that no match runs from one field into the next.
    std::string text_;
    std::string shown_;
    std::vector<std::size_t> shownEnds_;           // four per customer
    std::array<std::uint32_t, 256> byteCounts_{};  // how often each byte stands in text_
    // An answer kept, for the folded query that asked it. `asTyped`: every word was looked for
    // only as typed (no digits of a telephone), so what it found holds each of its words.
    struct Answer {
        std::string folded;
        bool asTyped = false;
        std::vector<std::size_t> found;
    };
    static constexpr std::size_t kAnswersKept = 8;
    mutable std::vector<Answer> answers_;  // the most recent last
};

}  // namespace clivara::customers
