#include "archive/container/compound_file.h"

#include <gsf/gsf-outfile-msole.h>
#include <gsf/gsf-outfile.h>
#include <gsf/gsf-output-memory.h>
#include <gsf/gsf-output.h>
#include <gsf/gsf-utils.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

#include "archive/container/format_violation.h"
#include "archive/container/large_buffer.h"

namespace clivara::archive {

namespace {

constexpr std::array<std::uint8_t, 8> kSignature = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
constexpr std::size_t kHeaderSize = 512;
constexpr std::uint32_t kMaxRegularSector = 0xFFFFFFFA;
constexpr std::uint32_t kEndOfChain = 0xFFFFFFFE;
constexpr std::uint32_t kNoEntry = 0xFFFFFFFF;
constexpr std::size_t kHeaderFatEntries = 109;
constexpr std::size_t kDirectoryEntrySize = 128;
constexpr std::uint32_t kMiniSectorSize = 64;
constexpr std::uint32_t kMiniStreamCutoff = 4096;
// Storages inside storages: a workbook has one or two levels; anything deeper is not ours.
constexpr int kMaxStorageDepth = 32;
// Links followed from the root to any directory entry (siblings and children together). A
// balanced directory of thousands of entries stays far below; the bound keeps libgsf's
// recursive directory walk on a short stack.
constexpr int kMaxDirectoryDepth = 1024;

enum EntryType : std::uint8_t { kUnused = 0, kStorage = 1, kStream = 2, kRoot = 5 };

std::uint16_t le16(std::span<const std::uint8_t> b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}

std::uint32_t le32(std::span<const std::uint8_t> b, std::size_t at) {
    return static_cast<std::uint32_t>(b[at]) | (static_cast<std::uint32_t>(b[at + 1]) << 8) |
           (static_cast<std::uint32_t>(b[at + 2]) << 16) |
           (static_cast<std::uint32_t>(b[at + 3]) << 24);
}

std::uint64_t le64(std::span<const std::uint8_t> b, std::size_t at) {
    return static_cast<std::uint64_t>(le32(b, at)) |
           (static_cast<std::uint64_t>(le32(b, at + 4)) << 32);
}

[[noreturn]] void damaged(const std::string& detail) {
    throw FormatViolation("compound file: " + detail);
}

// ---------------------------------------------------------------------------------------------
// Reading. The container is read here, not by libgsf: libgsf copes with many faults only by
// logging a warning and handing back short data, and refuses some slack that every other
// reader passes over (a file ending inside its last sector, a mini stream whose size the
// root entry leaves at 0). Reading the tables ourselves lets both be told apart: a fault
// that touches the data being read (a chain that loops or leaves the file, a stream longer
// than its chain, a size that cannot be) refuses the file; slack that no stream uses is
// passed over.
//
// Tolerated, as the common readers do:
// - the file ends inside its last sector: the missing tail reads as zeros where nothing needs
//   it (unused directory entries, allocation entries of sectors beyond the end); a stream,
//   a directory entry in use or an allocation entry that reaches into it is damage;
// - allocation sectors listed beyond the end of the file, or never listed, when every sector
//   they would describe lies beyond the end too (a header counting more of them than the
//   file needs);
// - a mini stream or mini allocation table that no stream uses, whatever it holds; a root
//   entry giving the mini stream a size of 0 (its sector chain is read to its end), and a
//   mini allocation table longer or shorter than the header counts;
// - directory entries that the directory tree does not reach, whatever they hold.

struct DirectoryEntry {
    std::uint8_t type = kUnused;
    std::uint16_t nameBytes = 0;
    std::uint32_t left = kNoEntry;
    std::uint32_t right = kNoEntry;
    std::uint32_t child = kNoEntry;
    std::uint32_t start = 0;
    std::uint64_t size = 0;
    ClassId classId{};
    std::size_t rawOffset = 0;  // position of the entry in its directory sector
    std::uint32_t rawSector = 0;
};

// The sort order of a compound file's directory: shorter names first, then by upper-cased
// characters. Children are handed out in this order whatever shape the tree has.
bool directoryOrder(const CompoundEntry& a, const CompoundEntry& b) {
    const auto units = [](const std::string& name) {
        std::size_t count = 0;
        for (const char ch : name) {
            const auto c = static_cast<unsigned char>(ch);
            if ((c & 0xC0) != 0x80) count += c >= 0xF0 ? 2 : 1;
        }
        return count;
    };
    const std::size_t ua = units(a.name), ub = units(b.name);
    if (ua != ub) return ua < ub;
    return std::lexicographical_compare(
        a.name.begin(), a.name.end(), b.name.begin(), b.name.end(), [](char x, char y) {
            const auto upper = [](char c) {
                return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
            };
            return upper(x) < upper(y);
        });
}

// A directory entry's name, UTF-16 in the file, as UTF-8. Empty when it is not valid UTF-16.
std::string entryName(std::span<const std::uint8_t> raw, std::uint16_t nameBytes) {
    std::string out;
    const std::size_t units = nameBytes / 2;
    for (std::size_t i = 0; i < units; ++i) {
        std::uint32_t c = le16(raw, 2 * i);
        if (c == 0) break;
        if (c >= 0xDC00 && c <= 0xDFFF) return {};
        if (c >= 0xD800 && c <= 0xDBFF) {
            if (i + 1 >= units) return {};
            const std::uint32_t low = le16(raw, 2 * (i + 1));
            if (low < 0xDC00 || low > 0xDFFF) return {};
            c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
            ++i;
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

bool isValidEntryName(const std::string& name);

class ContainerReader {
  public:
    explicit ContainerReader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

    CompoundFile run() {
        readHeader();
        readFat();
        readDirectory();
        CompoundFile file;
        file.rootClassId = entries_.front().classId;
        readTree(file.entries);
        return file;
    }

  private:
    void readHeader() {
        if (le16(bytes_, 28) != 0xFFFE) damaged("byte order mark is not FFFE");
        const std::uint16_t major = le16(bytes_, 26);
        const std::uint16_t shift = le16(bytes_, 30);
        if (!((major == 3 && shift == 9) || (major == 4 && shift == 12))) {
            damaged("unsupported version " + std::to_string(major) + " with sector shift " +
                    std::to_string(shift));
        }
        version_ = major;
        sectorSize_ = std::size_t{1} << shift;
        if (le16(bytes_, 32) != 6) damaged("mini sector shift is not 6");
        if (le32(bytes_, 56) != kMiniStreamCutoff) damaged("mini stream cutoff is not 4096");
        if (bytes_.size() < sectorSize_) damaged("file shorter than its header");
        // A last sector cut short still counts: its missing tail reads as zeros.
        sectorCount_ = (bytes_.size() - sectorSize_ + sectorSize_ - 1) / sectorSize_;
        if (sectorCount_ > kMaxRegularSector) damaged("file too large");
        const std::size_t whole = (bytes_.size() - sectorSize_) / sectorSize_;
        if (whole < sectorCount_) {
            const auto tail = bytes_.subspan(sectorSize_ + whole * sectorSize_);
            lastSector_.assign(sectorSize_, 0);
            std::copy(tail.begin(), tail.end(), lastSector_.begin());
            presentInLast_ = tail.size();
        }

        fatSectorCount_ = le32(bytes_, 44);
        firstDirectorySector_ = le32(bytes_, 48);
        firstMiniFatSector_ = le32(bytes_, 60);
        miniFatSectorCount_ = le32(bytes_, 64);
        firstDifatSector_ = le32(bytes_, 68);
        difatSectorCount_ = le32(bytes_, 72);
        if (fatSectorCount_ == 0) damaged("no allocation table");
        if (fatSectorCount_ > sectorCount_) damaged("more allocation sectors than the file holds");
        if (difatSectorCount_ > sectorCount_) damaged("more DIFAT sectors than the file holds");
        if (miniFatSectorCount_ > sectorCount_) {
            damaged("more mini allocation sectors than the file holds");
        }
    }

    std::span<const std::uint8_t> sector(std::uint32_t id) const {
        // Callers have checked id < sectorCount_.
        if (!lastSector_.empty() && id + std::size_t{1} == sectorCount_) return lastSector_;
        return bytes_.subspan((static_cast<std::size_t>(id) + 1) * sectorSize_, sectorSize_);
    }

    // Refuses the file when bytes [from, from + length) of sector `id` lie past its end, in
    // the missing tail of a last sector cut short.
    void requirePresent(std::uint32_t id, std::size_t from, std::size_t length,
                        const char* what) const {
        if (!lastSector_.empty() && id + std::size_t{1} == sectorCount_ &&
            from + length > presentInLast_) {
            damaged(std::string(what) + " reaches past the end of the file");
        }
    }

    // True when the allocation sector at position `index` of the table would describe only
    // sectors beyond the end of the file: a missing one then changes nothing.
    bool describesOnlyBeyondTheFile(std::size_t index) const {
        return index * (sectorSize_ / 4) >= sectorCount_;
    }

    void readFat() {
        std::vector<std::uint32_t> fatSectors;
        fatSectors.reserve(fatSectorCount_);
        for (std::size_t i = 0; i < kHeaderFatEntries && fatSectors.size() < fatSectorCount_; ++i) {
            fatSectors.push_back(le32(bytes_, 76 + 4 * i));
        }
        const std::size_t perDifat = sectorSize_ / 4 - 1;
        std::vector<bool> seen(sectorCount_, false);
        std::uint32_t difat = firstDifatSector_;
        for (std::uint32_t n = 0; fatSectors.size() < fatSectorCount_; ++n) {
            if (describesOnlyBeyondTheFile(fatSectors.size())) break;
            if (n >= difatSectorCount_) damaged("DIFAT chain shorter than the allocation table");
            if (difat >= sectorCount_) damaged("DIFAT sector outside the file");
            if (seen[difat]) damaged("DIFAT chain loops");
            seen[difat] = true;
            requirePresent(difat, 0, sectorSize_, "DIFAT sector");
            const auto s = sector(difat);
            for (std::size_t i = 0; i < perDifat && fatSectors.size() < fatSectorCount_; ++i) {
                fatSectors.push_back(le32(s, 4 * i));
            }
            difat = le32(s, 4 * perDifat);
        }

        const std::size_t perSector = sectorSize_ / 4;
        fat_.reserve(fatSectors.size() * perSector);
        for (std::size_t index = 0; index < fatSectors.size(); ++index) {
            const std::uint32_t id = fatSectors[index];
            if (id >= sectorCount_) {
                if (!describesOnlyBeyondTheFile(index)) {
                    damaged("allocation sector outside the file");
                }
                fat_.insert(fat_.end(), perSector, kNoEntry);
                continue;
            }
            // Entries of sectors beyond the end of the file describe nothing: they may be
            // missing from a last sector cut short.
            const std::size_t described = std::min(perSector, sectorCount_ - index * perSector);
            requirePresent(id, 0, 4 * described, "allocation sector");
            const auto s = sector(id);
            for (std::size_t i = 0; i < perSector; ++i) fat_.push_back(le32(s, 4 * i));
        }
        fatStamp_.assign(fat_.size(), 0);
    }

    // The sectors of a chain of the allocation table, in order. Sector ids must lie inside
    // the file and the table, and no sector may come twice. At most `limitCount` sectors are
    // taken when the chain is longer.
    std::vector<std::uint32_t> chain(std::uint32_t start, const char* what,
                                     std::size_t limitCount = SIZE_MAX) {
        const std::size_t limit = std::min<std::size_t>(fat_.size(), sectorCount_);
        ++stamp_;
        std::vector<std::uint32_t> sectors;
        for (std::uint32_t id = start; id != kEndOfChain && sectors.size() < limitCount;
             id = fat_[id]) {
            if (id >= limit) damaged(std::string(what) + " chain leaves the file");
            if (fatStamp_[id] == stamp_) damaged(std::string(what) + " chain loops");
            fatStamp_[id] = stamp_;
            sectors.push_back(id);
        }
        return sectors;
    }

    void readDirectory() {
        const std::vector<std::uint32_t> sectors = chain(firstDirectorySector_, "directory");
        if (sectors.empty()) damaged("empty directory");
        const std::size_t perSector = sectorSize_ / kDirectoryEntrySize;
        entries_.reserve(sectors.size() * perSector);
        for (const std::uint32_t id : sectors) {
            const auto s = sector(id);
            for (std::size_t i = 0; i < perSector; ++i) {
                const auto raw = s.subspan(i * kDirectoryEntrySize, kDirectoryEntrySize);
                DirectoryEntry e;
                e.type = raw[66];
                e.nameBytes = le16(raw, 64);
                e.left = le32(raw, 68);
                e.right = le32(raw, 72);
                e.child = le32(raw, 76);
                std::copy_n(raw.begin() + 80, e.classId.size(), e.classId.begin());
                e.start = le32(raw, 116);
                // Version 3 files may leave garbage in the high half of the size.
                e.size = version_ == 3 ? le32(raw, 120) : le64(raw, 120);
                e.rawSector = id;
                e.rawOffset = i * kDirectoryEntrySize;
                entries_.push_back(e);
            }
        }
        if (entries_.front().type != kRoot) damaged("first directory entry is not the root");
        requirePresent(entries_.front().rawSector, 0, kDirectoryEntrySize, "root entry");
    }

    std::span<const std::uint8_t> rawEntry(const DirectoryEntry& e) const {
        return sector(e.rawSector).subspan(e.rawOffset, kDirectoryEntrySize);
    }

    // The mini stream and its allocation table, read the first time a small stream needs them.
    void readMiniStream() {
        if (miniStreamRead_) return;
        miniStreamRead_ = true;
        const DirectoryEntry& root = entries_.front();
        if (root.size > bytes_.size()) damaged("mini stream larger than the file");
        if (root.start != kEndOfChain && root.start != kNoEntry) {
            miniStreamSectors_ = chain(root.start, "mini stream");
        }
        // The root entry's size bounds the mini stream; a size of 0 beside a chain is taken as
        // an unset size, and the chain's length counts.
        const std::uint64_t chainBytes = miniStreamSectors_.size() * std::uint64_t{sectorSize_};
        miniStreamSize_ = root.size == 0 ? chainBytes : std::min(root.size, chainBytes);

        if (firstMiniFatSector_ != kEndOfChain && firstMiniFatSector_ != kNoEntry) {
            const std::vector<std::uint32_t> sectors =
                chain(firstMiniFatSector_, "mini allocation table");
            const std::size_t perSector = sectorSize_ / 4;
            const auto miniSectors =
                static_cast<std::size_t>((miniStreamSize_ + kMiniSectorSize - 1) / kMiniSectorSize);
            miniFat_.reserve(sectors.size() * perSector);
            for (const std::uint32_t id : sectors) {
                // Only the entries of mini sectors inside the mini stream must be there.
                if (miniFat_.size() < miniSectors) {
                    requirePresent(id, 0, 4 * std::min(perSector, miniSectors - miniFat_.size()),
                                   "mini allocation sector");
                }
                const auto s = sector(id);
                for (std::size_t i = 0; i < perSector; ++i) miniFat_.push_back(le32(s, 4 * i));
            }
        }
        miniFatStamp_.assign(miniFat_.size(), 0);
    }

    std::vector<std::uint8_t> readSmallStream(const DirectoryEntry& e) {
        readMiniStream();
        const std::size_t miniSectors =
            static_cast<std::size_t>((miniStreamSize_ + kMiniSectorSize - 1) / kMiniSectorSize);
        const std::size_t limit = std::min(miniFat_.size(), miniSectors);
        const auto size = static_cast<std::size_t>(e.size);
        std::vector<std::uint8_t> data;
        data.reserve(size);
        ++stamp_;
        for (std::uint32_t id = e.start; data.size() < size; id = miniFat_[id]) {
            if (id >= limit) damaged("stream mini chain leaves the mini stream");
            if (miniFatStamp_[id] == stamp_) damaged("stream mini chain loops");
            miniFatStamp_[id] = stamp_;
            const std::size_t offset = std::size_t{id} * kMiniSectorSize;
            const std::uint32_t holder = miniStreamSectors_[offset / sectorSize_];
            const auto s = sector(holder);
            const std::size_t take = std::min<std::size_t>(kMiniSectorSize, size - data.size());
            requirePresent(holder, offset % sectorSize_, take, "small stream");
            const auto piece = s.subspan(offset % sectorSize_, take);
            data.insert(data.end(), piece.begin(), piece.end());
        }
        miniBytes_ += size;
        if (miniBytes_ > miniStreamSize_) damaged("small streams larger than the mini stream");
        return data;
    }

    std::vector<std::uint8_t> readLargeStream(const DirectoryEntry& e) {
        const auto size = static_cast<std::size_t>(e.size);
        const std::size_t needed = (size + sectorSize_ - 1) / sectorSize_;
        const std::vector<std::uint32_t> sectors = chain(e.start, "stream", needed);
        if (sectors.size() < needed) damaged("stream chain too short");
        bigBytes_ += size;
        if (bigBytes_ > paddedSize()) damaged("streams larger than the file");
        // Filled by appending to reserved room: a zero-filled buffer of the stream's size
        // would cost a second pass over megabytes of memory.
        std::vector<std::uint8_t> data;
        data.reserve(size);
        prepareLargeBuffer(data.data(), data.capacity());
        for (const std::uint32_t id : sectors) {
            const auto s = sector(id);
            const std::size_t take = std::min(sectorSize_, size - data.size());
            requirePresent(id, 0, take, "stream");
            data.insert(data.end(), s.begin(), s.begin() + static_cast<std::ptrdiff_t>(take));
        }
        return data;
    }

    std::size_t paddedSize() const { return (sectorCount_ + 1) * sectorSize_; }

    CompoundEntry readEntry(const DirectoryEntry& e) {
        if (e.nameBytes > 64 || e.nameBytes % 2 != 0) {
            damaged("directory entry with a bad name length");
        }
        requirePresent(e.rawSector, e.rawOffset, kDirectoryEntrySize, "directory entry");
        CompoundEntry entry;
        entry.name = entryName(rawEntry(e).first(64), e.nameBytes);
        // A name that could not be written back would make the file impossible to save.
        if (!isValidEntryName(entry.name)) damaged("entry with an invalid name");
        entry.isStorage = e.type == kStorage;
        if (entry.isStorage) {
            entry.classId = e.classId;
        } else if (e.size > 0) {
            if (e.size > paddedSize()) damaged("stream larger than the file");
            entry.data = e.size < kMiniStreamCutoff ? readSmallStream(e) : readLargeStream(e);
        }
        return entry;
    }

    struct PendingEntry {
        std::uint32_t index;
        int depth;
        int storageDepth;
        std::vector<CompoundEntry>* siblings;
    };

    // The entry a directory link leads to, once only and of a kind a link may name.
    const DirectoryEntry& linkedEntry(const PendingEntry& p, std::vector<bool>& reached) {
        if (p.index >= entries_.size()) damaged("directory link out of range");
        if (reached[p.index]) damaged("directory links form a cycle");
        if (p.depth > kMaxDirectoryDepth) damaged("directory tree too deep");
        reached[p.index] = true;
        const DirectoryEntry& e = entries_[p.index];
        if (e.type != kStorage && e.type != kStream) {
            damaged(e.type == kUnused || e.type == kRoot ? "directory link to a bad entry"
                                                         : "directory entry of unknown type");
        }
        return e;
    }

    // Walks the directory tree without recursion; every entry may be reached once only, so
    // cycles and shared subtrees are refused. Each storage's children come out in directory
    // order.
    void readTree(std::vector<CompoundEntry>& rootChildren) {
        std::vector<bool> reached(entries_.size(), false);
        reached[0] = true;
        std::vector<PendingEntry> pending;
        pending.push_back({entries_[0].child, 1, 1, &rootChildren});
        while (!pending.empty()) {
            const PendingEntry p = pending.back();
            pending.pop_back();
            if (p.index == kNoEntry) continue;
            const DirectoryEntry& e = linkedEntry(p, reached);
            pending.push_back({e.left, p.depth + 1, p.storageDepth, p.siblings});
            pending.push_back({e.right, p.depth + 1, p.storageDepth, p.siblings});
            p.siblings->push_back(readEntry(e));
            if (e.type == kStorage) {
                if (p.storageDepth >= kMaxStorageDepth) damaged("storages nested too deeply");
                // Children lists live in a deque-like chain of owned vectors until the tree is
                // complete; they are moved into their storages afterwards.
                children_.push_back(std::make_unique<std::vector<CompoundEntry>>());
                parents_.push_back({p.siblings, p.siblings->size() - 1});
                pending.push_back(
                    {e.child, p.depth + 1, p.storageDepth + 1, children_.back().get()});
            }
        }
        placeChildren(rootChildren);
    }

    // Innermost storages first, so that each list is whole when it is moved.
    void placeChildren(std::vector<CompoundEntry>& rootChildren) {
        for (std::size_t i = children_.size(); i-- > 0;) {
            std::vector<CompoundEntry>& list = *children_[i];
            std::stable_sort(list.begin(), list.end(), directoryOrder);
            (*parents_[i].first)[parents_[i].second].children = std::move(list);
        }
        std::stable_sort(rootChildren.begin(), rootChildren.end(), directoryOrder);
    }

    std::span<const std::uint8_t> bytes_;
    std::vector<std::uint8_t> lastSector_;  // a last sector cut short, padded with zeros
    std::size_t presentInLast_ = 0;         // bytes of it the file holds
    std::uint16_t version_ = 3;
    std::size_t sectorSize_ = 512;
    std::size_t sectorCount_ = 0;
    std::uint32_t fatSectorCount_ = 0;
    std::uint32_t firstDirectorySector_ = 0;
    std::uint32_t firstMiniFatSector_ = 0;
    std::uint32_t miniFatSectorCount_ = 0;
    std::uint32_t firstDifatSector_ = 0;
    std::uint32_t difatSectorCount_ = 0;
    std::vector<std::uint32_t> fat_;
    std::vector<std::uint32_t> fatStamp_;
    std::uint32_t stamp_ = 0;
    std::vector<DirectoryEntry> entries_;
    bool miniStreamRead_ = false;
    std::vector<std::uint32_t> miniStreamSectors_;
    std::uint64_t miniStreamSize_ = 0;
    std::vector<std::uint32_t> miniFat_;
    std::vector<std::uint32_t> miniFatStamp_;
    std::uint64_t miniBytes_ = 0;
    std::uint64_t bigBytes_ = 0;
    std::vector<std::unique_ptr<std::vector<CompoundEntry>>> children_;
    std::vector<std::pair<std::vector<CompoundEntry>*, std::size_t>> parents_;
};

// Writing, through libgsf.

void initGsf() {
    static std::once_flag once;
    std::call_once(once, [] { gsf_init(); });
}

struct GObjectUnref {
    void operator()(void* object) const {
        if (object != nullptr) g_object_unref(object);
    }
};
template <typename T>
using GsfPtr = std::unique_ptr<T, GObjectUnref>;

bool isValidEntryName(const std::string& name) {
    if (name.empty()) return false;
    // At most 31 UTF-16 units: count code points, those above U+FFFF as two.
    std::size_t units = 0;
    for (std::size_t i = 0; i < name.size(); ++i) {
        const auto c = static_cast<unsigned char>(name[i]);
        if ((c & 0xC0) == 0x80) continue;
        units += c >= 0xF0 ? 2 : 1;
    }
    return units <= 31 && name.find_first_of("/\\:!") == std::string::npos;
}

void writeChildren(GsfOutfile* storage, const std::vector<CompoundEntry>& entries, int depth) {
    if (depth > kMaxStorageDepth)
        throw FormatViolation("compound file: storages nested too deeply");
    for (const CompoundEntry& entry : entries) {
        if (!isValidEntryName(entry.name)) {
            throw FormatViolation("compound file: entry name \"" + entry.name +
                                  "\" cannot be stored");
        }
        GsfPtr<GsfOutput> child(
            gsf_outfile_new_child(storage, entry.name.c_str(), entry.isStorage ? TRUE : FALSE));
        if (!child) throw FormatViolation("compound file: libgsf refused entry " + entry.name);
        if (entry.isStorage) {
            // Only storages carry a class id; a stream's is always zero.
            gsf_outfile_msole_set_class_id(GSF_OUTFILE_MSOLE(child.get()), entry.classId.data());
            writeChildren(GSF_OUTFILE(child.get()), entry.children, depth + 1);
        } else if (!entry.data.empty() &&
                   !gsf_output_write(child.get(), entry.data.size(), entry.data.data())) {
            throw FormatViolation("compound file: writing stream " + entry.name + " failed");
        }
        if (!gsf_output_close(child.get())) {
            throw FormatViolation("compound file: closing entry " + entry.name + " failed");
        }
    }
}

// Writes the whole container into sink, an open libgsf output at its start.
void writeContainer(const CompoundFile& file, GsfOutput* sink) {
    GsfPtr<GsfOutfile> outfile(gsf_outfile_msole_new_full(sink, 512, 64));
    if (!outfile) throw FormatViolation("compound file: libgsf could not start a compound file");
    gsf_outfile_msole_set_class_id(GSF_OUTFILE_MSOLE(outfile.get()), file.rootClassId.data());
    try {
        writeChildren(outfile.get(), file.entries, 1);
    } catch (...) {
        gsf_output_close(GSF_OUTPUT(outfile.get()));
        throw;
    }
    if (!gsf_output_close(GSF_OUTPUT(outfile.get()))) {
        throw FormatViolation("compound file: libgsf could not finish the compound file");
    }
}

// A libgsf output that hands every write, with its position, to a PositionedWrite. libgsf
// keeps the position and the size itself; a seek only has to be accepted.
struct ForwardingOutput {
    GsfOutput base;
    const PositionedWrite* write;
};
struct ForwardingOutputClass {
    GsfOutputClass base;
};

gboolean forwardingClose(GsfOutput*) {
    return TRUE;
}

gboolean forwardingSeek(GsfOutput*, gsf_off_t, GSeekType) {
    return TRUE;
}

gboolean forwardingWrite(GsfOutput* output, std::size_t count, const guint8* data) {
    auto* self = reinterpret_cast<ForwardingOutput*>(output);
    if (output->cur_offset < 0) return gsf_output_set_error(output, EINVAL, "negative position");
    const int error = (*self->write)(static_cast<std::uint64_t>(output->cur_offset),
                                     std::span<const std::uint8_t>(data, count));
    return error == 0 ? TRUE : gsf_output_set_error(output, error, "write failed");
}

void forwardingClassInit(gpointer klass, gpointer) {
    auto* output = static_cast<GsfOutputClass*>(klass);
    output->Close = forwardingClose;
    output->Seek = forwardingSeek;
    output->Write = forwardingWrite;
}

GsfOutput* forwardingOutput(const PositionedWrite& write) {
    static const GType type = g_type_register_static_simple(
        GSF_OUTPUT_TYPE, "ClivaraForwardingOutput", sizeof(ForwardingOutputClass),
        forwardingClassInit, sizeof(ForwardingOutput), nullptr, GTypeFlags{});
    auto* output = static_cast<ForwardingOutput*>(g_object_new(type, nullptr));
    output->write = &write;
    return &output->base;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               const auto lower = [](char c) {
                   return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
               };
               return lower(x) == lower(y);
           });
}

}  // namespace

CompoundEntry* CompoundFile::findStream(std::string_view name) {
    return const_cast<CompoundEntry*>(std::as_const(*this).findStream(name));
}

const CompoundEntry* CompoundFile::findStream(std::string_view name) const {
    for (const CompoundEntry& entry : entries) {
        if (!entry.isStorage && equalsIgnoringCase(entry.name, name)) return &entry;
    }
    return nullptr;
}

CompoundFile readCompoundFile(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < kSignature.size() ||
        !std::equal(kSignature.begin(), kSignature.end(), bytes.begin())) {
        throw NotCompoundFile(bytes.size() >= 4 && bytes[0] == 'P' && bytes[1] == 'K' &&
                                      bytes[2] == 3 && bytes[3] == 4
                                  ? "a ZIP archive, not a compound file"
                                  : "no compound file signature");
    }
    if (bytes.size() < kHeaderSize) damaged("file shorter than its header");
    return ContainerReader(bytes).run();
}

std::vector<std::uint8_t> writeCompoundFile(const CompoundFile& file) {
    initGsf();
    GsfPtr<GsfOutput> sink(gsf_output_memory_new());
    if (!sink) throw FormatViolation("compound file: libgsf could not make a memory sink");
    writeContainer(file, sink.get());
    const gsf_off_t size = gsf_output_size(sink.get());
    const guint8* data = gsf_output_memory_get_bytes(GSF_OUTPUT_MEMORY(sink.get()));
    if (size < 0 || (size > 0 && data == nullptr)) {
        throw FormatViolation("compound file: libgsf produced no bytes");
    }
    std::vector<std::uint8_t> bytes;
    bytes.reserve(static_cast<std::size_t>(size));
    prepareLargeBuffer(bytes.data(), bytes.capacity());
    bytes.insert(bytes.end(), data, data + size);
    return bytes;
}

void writeCompoundFile(const CompoundFile& file, const PositionedWrite& write) {
    initGsf();
    GsfPtr<GsfOutput> sink(forwardingOutput(write));
    writeContainer(file, sink.get());
}

}  // namespace clivara::archive
