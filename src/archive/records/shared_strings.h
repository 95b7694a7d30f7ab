#pragma once

#include <cstdint>
#include <future>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace clivara::archive {

// The workbook's shared string table (SST). Strings keep their indexes for ever: the table
// only grows (new strings are appended), so every LABELSST of the file stays valid.
// Rich-text runs and phonetic blocks of existing strings are kept and written back.
class SharedStrings {
  public:
    SharedStrings() = default;
    // Copies and moves wait for a lookup being built in the background, as does the end.
    SharedStrings(const SharedStrings& other);
    SharedStrings& operator=(const SharedStrings& other);
    SharedStrings(SharedStrings&& other) noexcept;
    SharedStrings& operator=(SharedStrings&& other) noexcept;
    ~SharedStrings();

    // Parses the body of the SST record followed by the bodies of the CONTINUE records that
    // follow it, in order. Raises FormatViolation on anything malformed.
    static SharedStrings parse(std::span<const std::span<const std::uint8_t>> bodies);

    std::uint32_t size() const;
    // UTF-8; the view stays valid until the next add(). An index past the end raises
    // FormatViolation (it can only come from a damaged cell).
    std::string_view text(std::uint32_t index) const;
    // Starts fetching from memory, without waiting for it, the position of string `index` in
    // the table (stage 0) or its characters (stage 1, once the position is at hand), for a
    // text() soon after. Does nothing for an index past the end.
    void prefetch(std::uint32_t index, int stage) const {
        if (index >= size()) {
            return;
        }
        if (stage == 0) {
            __builtin_prefetch(&offsets_[index]);
        } else {
            __builtin_prefetch(arena_.data() + offsets_[index]);
        }
    }
    // The index of an existing plain string with this text, or of a newly appended one.
    std::uint32_t add(std::string_view utf8);
    // Builds add()'s lookup of the strings on another thread, so that the first add() finds it
    // ready (or waits only for the rest of it). Reading the strings meanwhile is safe; add(),
    // truncate(), a copy, a move and the end wait for it.
    void buildLookupInBackground();

    // Forgets every string from index `count` on: the strings appended since the table had
    // that size. Going back to an earlier state needs no copy of the table, as it only grows.
    void truncate(std::uint32_t count);

    // The SST record (with CONTINUE records as needed, no record over 8,224 bytes) followed by
    // the EXTSST record. totalReferences is cstTotal; streamOffset is the absolute position
    // in the workbook stream where the SST record's header will stand (for EXTSST).
    std::vector<std::uint8_t> serialize(std::uint32_t totalReferences,
                                        std::uint64_t streamOffset) const;
    // The same records appended to `out`, where the workbook stream is being written: the SST
    // record's header stands at out.size(), which is its position in the stream.
    void appendTo(std::vector<std::uint8_t>& out, std::uint32_t totalReferences) const;

  private:
    // Runs and phonetic block of one string, kept as the bytes that follow its characters.
    struct Extra {
        std::uint32_t index = 0;   // the string's index
        std::uint32_t offset = 0;  // into extraBytes_: runs (4 bytes each), then phonetic
        std::uint32_t phoneticSize = 0;
        std::uint16_t runCount = 0;
        std::uint8_t flags = 0;  // the option byte's rich-text (08) and phonetic (04) bits
    };

    void write(std::vector<std::uint8_t>& out, std::uint32_t totalReferences,
               std::uint64_t streamOffset) const;
    void buildLookup();
    void waitForLookup() const;
    void insertLookup(std::uint32_t index);
    void growLookup();

    std::string arena_;                      // UTF-8 texts back to back
    std::vector<std::uint32_t> offsets_{0};  // size() + 1 entries into arena_
    std::vector<Extra> extras_;              // sorted by index; only strings that have them
    std::vector<std::uint8_t> extraBytes_;
    // Open-addressing table of indexes + 1 (0 = free slot) over plain strings, built on the
    // first add().
    std::vector<std::uint32_t> lookup_;
    std::size_t lookupUsed_ = 0;
    mutable std::future<void> building_;  // the lookup being built in the background, if so
};

}  // namespace clivara::archive
