#include "archive/compound_file.h"

#include <gsf/gsf-infile-msole.h>
#include <gsf/gsf-infile.h>
#include <gsf/gsf-input-memory.h>
#include <gsf/gsf-input.h>
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

#include "archive/format_violation.h"
#include "archive/large_buffer.h"

namespace clivara::archive {

namespace {

// ---------------------------------------------------------------------------------------------
// The container's own structure, checked before libgsf sees the bytes. libgsf copes with many
// faults only by logging a warning and handing back short data, and it walks the directory
// recursively, so everything that could make it loop, recurse deeply or read past the end is
// refused here first.

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

struct DirectoryEntry {
    std::uint8_t type = kUnused;
    std::uint32_t left = kNoEntry;
    std::uint32_t right = kNoEntry;
    std::uint32_t child = kNoEntry;
    std::uint32_t start = 0;
    std::uint64_t size = 0;
};

class ContainerCheck {
  public:
    explicit ContainerCheck(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

    void run() {
        readHeader();
        readFat();
        readDirectory();
        readMiniFat();
        checkTree();
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
        sectorCount_ = (bytes_.size() - sectorSize_) / sectorSize_;
        if (sectorCount_ > kMaxRegularSector) damaged("file too large");

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
        // Callers have checked id < sectorCount_, so the whole sector lies inside the file.
        return bytes_.subspan((static_cast<std::size_t>(id) + 1) * sectorSize_, sectorSize_);
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
            if (n >= difatSectorCount_) damaged("DIFAT chain shorter than the allocation table");
            if (difat >= sectorCount_) damaged("DIFAT sector outside the file");
            if (seen[difat]) damaged("DIFAT chain loops");
            seen[difat] = true;
            const auto s = sector(difat);
            for (std::size_t i = 0; i < perDifat && fatSectors.size() < fatSectorCount_; ++i) {
                fatSectors.push_back(le32(s, 4 * i));
            }
            difat = le32(s, 4 * perDifat);
        }

        const std::size_t perSector = sectorSize_ / 4;
        fat_.reserve(fatSectors.size() * perSector);
        for (const std::uint32_t id : fatSectors) {
            if (id >= sectorCount_) damaged("allocation sector outside the file");
            const auto s = sector(id);
            for (std::size_t i = 0; i < perSector; ++i) fat_.push_back(le32(s, 4 * i));
        }
        fatStamp_.assign(fat_.size(), 0);
    }

    // Follows a chain of the allocation table and calls onSector for each sector, in order.
    // Sector ids must lie inside the file and the table, and no sector may come twice.
    template <typename F>
    std::size_t walkFat(std::uint32_t start, const char* what, F&& onSector) {
        const std::size_t limit = std::min<std::size_t>(fat_.size(), sectorCount_);
        ++stamp_;
        std::size_t count = 0;
        for (std::uint32_t id = start; id != kEndOfChain; id = fat_[id]) {
            if (id >= limit) damaged(std::string(what) + " chain leaves the file");
            if (fatStamp_[id] == stamp_) damaged(std::string(what) + " chain loops");
            fatStamp_[id] = stamp_;
            onSector(id);
            ++count;
        }
        return count;
    }

    std::size_t walkMiniFat(std::uint32_t start, const char* what) {
        const std::size_t miniSectors =
            static_cast<std::size_t>((miniStreamSize_ + kMiniSectorSize - 1) / kMiniSectorSize);
        const std::size_t limit = std::min(miniFat_.size(), miniSectors);
        ++stamp_;
        std::size_t count = 0;
        for (std::uint32_t id = start; id != kEndOfChain; id = miniFat_[id]) {
            if (id >= limit) damaged(std::string(what) + " mini chain leaves the mini stream");
            if (miniFatStamp_[id] == stamp_) damaged(std::string(what) + " mini chain loops");
            miniFatStamp_[id] = stamp_;
            ++count;
        }
        return count;
    }

    void readDirectory() {
        std::vector<std::uint32_t> sectors;
        walkFat(firstDirectorySector_, "directory",
                [&](std::uint32_t id) { sectors.push_back(id); });
        if (sectors.empty()) damaged("empty directory");
        const std::size_t perSector = sectorSize_ / kDirectoryEntrySize;
        entries_.reserve(sectors.size() * perSector);
        for (const std::uint32_t id : sectors) {
            const auto s = sector(id);
            for (std::size_t i = 0; i < perSector; ++i) {
                const auto raw = s.subspan(i * kDirectoryEntrySize, kDirectoryEntrySize);
                DirectoryEntry e;
                e.type = raw[66];
                e.left = le32(raw, 68);
                e.right = le32(raw, 72);
                e.child = le32(raw, 76);
                e.start = le32(raw, 116);
                // Version 3 files may leave garbage in the high half of the size.
                e.size = version_ == 3 ? le32(raw, 120) : le64(raw, 120);
                if (e.type != kUnused) {
                    const std::uint16_t nameBytes = le16(raw, 64);
                    if (nameBytes > 64 || nameBytes % 2 != 0) {
                        damaged("directory entry with a bad name length");
                    }
                    if (e.type != kStorage && e.type != kStream && e.type != kRoot) {
                        damaged("directory entry of unknown type");
                    }
                    if (e.type == kRoot && !entries_.empty()) damaged("second root entry");
                }
                entries_.push_back(e);
            }
        }
        if (entries_.front().type != kRoot) damaged("first directory entry is not the root");
    }

    void readMiniFat() {
        const DirectoryEntry& root = entries_.front();
        miniStreamSize_ = root.size;
        if (miniStreamSize_ > bytes_.size()) damaged("mini stream larger than the file");
        if (miniStreamSize_ > 0) {
            const std::size_t count = walkFat(root.start, "mini stream", [](std::uint32_t) {});
            if (count * sectorSize_ < miniStreamSize_) damaged("mini stream chain too short");
        }
        if (miniFatSectorCount_ == 0) return;
        std::vector<std::uint32_t> sectors;
        walkFat(firstMiniFatSector_, "mini allocation table", [&](std::uint32_t id) {
            if (sectors.size() < miniFatSectorCount_) sectors.push_back(id);
        });
        if (sectors.size() < miniFatSectorCount_) damaged("mini allocation table chain too short");
        const std::size_t perSector = sectorSize_ / 4;
        miniFat_.reserve(sectors.size() * perSector);
        for (const std::uint32_t id : sectors) {
            const auto s = sector(id);
            for (std::size_t i = 0; i < perSector; ++i) miniFat_.push_back(le32(s, 4 * i));
        }
        miniFatStamp_.assign(miniFat_.size(), 0);
    }

    void checkStream(const DirectoryEntry& e) {
        if (e.size > bytes_.size()) damaged("stream larger than the file");
        if (e.size == 0) return;
        if (e.size < kMiniStreamCutoff) {
            const std::size_t count = walkMiniFat(e.start, "stream");
            if (count * kMiniSectorSize < e.size) damaged("stream mini chain too short");
            miniBytes_ += e.size;
            if (miniBytes_ > miniStreamSize_) damaged("small streams larger than the mini stream");
        } else {
            const std::size_t count = walkFat(e.start, "stream", [](std::uint32_t) {});
            if (count * sectorSize_ < e.size) damaged("stream chain too short");
            bigBytes_ += e.size;
            if (bigBytes_ > bytes_.size()) damaged("streams larger than the file");
        }
    }

    // Walks the directory tree without recursion; every entry may be reached once only, so
    // cycles and shared subtrees are refused.
    void checkTree() {
        struct Pending {
            std::uint32_t index;
            int depth;
            int storageDepth;
        };
        std::vector<bool> reached(entries_.size(), false);
        reached[0] = true;
        std::vector<Pending> pending;
        pending.push_back({entries_[0].child, 1, 1});
        while (!pending.empty()) {
            const Pending p = pending.back();
            pending.pop_back();
            if (p.index == kNoEntry) continue;
            if (p.index >= entries_.size()) damaged("directory link out of range");
            if (reached[p.index]) damaged("directory links form a cycle");
            if (p.depth > kMaxDirectoryDepth) damaged("directory tree too deep");
            reached[p.index] = true;
            const DirectoryEntry& e = entries_[p.index];
            if (e.type == kUnused || e.type == kRoot) damaged("directory link to a bad entry");
            pending.push_back({e.left, p.depth + 1, p.storageDepth});
            pending.push_back({e.right, p.depth + 1, p.storageDepth});
            if (e.type == kStorage) {
                if (p.storageDepth >= kMaxStorageDepth) damaged("storages nested too deeply");
                pending.push_back({e.child, p.depth + 1, p.storageDepth + 1});
            } else {
                checkStream(e);
            }
        }
    }

    std::span<const std::uint8_t> bytes_;
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
    std::vector<std::uint32_t> miniFat_;
    std::vector<std::uint32_t> fatStamp_;
    std::vector<std::uint32_t> miniFatStamp_;
    std::uint32_t stamp_ = 0;
    std::vector<DirectoryEntry> entries_;
    std::uint64_t miniStreamSize_ = 0;
    std::uint64_t miniBytes_ = 0;
    std::uint64_t bigBytes_ = 0;
};

// ---------------------------------------------------------------------------------------------
// libgsf.

void initGsf() {
    static std::once_flag once;
    std::call_once(once, [] { gsf_init(); });
}

// Warnings libgsf logs while this thread reads a container; a reader that sees any treats the
// container as damaged. Outside a read, messages go to GLib's default handler as before.
thread_local std::vector<std::string>* gsfComplaints = nullptr;

void gsfLogHandler(const gchar* domain, GLogLevelFlags level, const gchar* message, gpointer data) {
    if (gsfComplaints != nullptr &&
        (level & (G_LOG_LEVEL_WARNING | G_LOG_LEVEL_CRITICAL | G_LOG_LEVEL_ERROR)) != 0) {
        gsfComplaints->emplace_back(message != nullptr ? message : "");
        return;
    }
    if (gsfComplaints != nullptr) return;  // informational chatter during a read
    g_log_default_handler(domain, level, message, data);
}

void installLogHandlers() {
    static std::once_flag once;
    std::call_once(once, [] {
        const auto levels =
            static_cast<GLogLevelFlags>(G_LOG_LEVEL_MASK | G_LOG_FLAG_FATAL | G_LOG_FLAG_RECURSION);
        // libgsf's generic storage code logs without a domain of its own.
        for (const char* domain : {"libgsf:msole", "libgsf", static_cast<const char*>(nullptr)}) {
            g_log_set_handler(domain, levels, gsfLogHandler, nullptr);
        }
    });
}

class ComplaintCapture {
  public:
    ComplaintCapture() : previous_(gsfComplaints) { gsfComplaints = &complaints_; }
    ~ComplaintCapture() { gsfComplaints = previous_; }
    ComplaintCapture(const ComplaintCapture&) = delete;
    ComplaintCapture& operator=(const ComplaintCapture&) = delete;

    void throwIfAny() const {
        if (!complaints_.empty()) damaged("libgsf: " + complaints_.front());
    }

  private:
    std::vector<std::string>* previous_;
    std::vector<std::string> complaints_;
};

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

void readChildren(GsfInfile* storage, std::vector<CompoundEntry>& out, int depth,
                  std::size_t sizeLimit, const ComplaintCapture& capture) {
    if (depth > kMaxStorageDepth) damaged("storages nested too deeply");
    const int count = gsf_infile_num_children(storage);
    if (count < 0) damaged("storage without children list");
    out.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        GsfPtr<GsfInput> child(gsf_infile_child_by_index(storage, i));
        capture.throwIfAny();
        if (!child) damaged("libgsf could not open entry " + std::to_string(i));
        CompoundEntry entry;
        const char* name = gsf_infile_name_by_index(storage, i);
        entry.name = name != nullptr ? name : "";
        // A name that could not be written back would make the file impossible to save.
        if (!isValidEntryName(entry.name)) damaged("entry with an invalid name");
        if (GSF_IS_INFILE_MSOLE(child.get())) {
            gsf_infile_msole_get_class_id(GSF_INFILE_MSOLE(child.get()), entry.classId.data());
        }
        GsfInfile* asStorage = GSF_IS_INFILE(child.get()) ? GSF_INFILE(child.get()) : nullptr;
        if (asStorage != nullptr && gsf_infile_num_children(asStorage) >= 0) {
            entry.isStorage = true;
            readChildren(asStorage, entry.children, depth + 1, sizeLimit, capture);
        } else {
            const gsf_off_t size = gsf_input_size(child.get());
            if (size < 0 || static_cast<std::uint64_t>(size) > sizeLimit) {
                damaged("stream \"" + entry.name + "\" has an impossible size");
            }
            // Read in chunks appended to reserved room: a zero-filled buffer of the stream's
            // size would cost a second pass over megabytes of memory.
            const auto total = static_cast<std::size_t>(size);
            entry.data.reserve(total);
            prepareLargeBuffer(entry.data.data(), entry.data.capacity());
            while (entry.data.size() < total) {
                const std::size_t chunk = std::min<std::size_t>(total - entry.data.size(), 65536);
                const guint8* piece = gsf_input_read(child.get(), chunk, nullptr);
                if (piece == nullptr) {
                    damaged("stream \"" + entry.name + "\" could not be read whole");
                }
                entry.data.insert(entry.data.end(), piece, piece + chunk);
            }
            capture.throwIfAny();
        }
        out.push_back(std::move(entry));
    }
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
    ContainerCheck(bytes).run();

    initGsf();
    installLogHandlers();
    ComplaintCapture capture;
    GsfPtr<GsfInput> input(
        gsf_input_memory_new(bytes.data(), static_cast<gsf_off_t>(bytes.size()), FALSE));
    if (!input) damaged("libgsf could not wrap the bytes");
    GError* error = nullptr;
    GsfPtr<GsfInfile> root(gsf_infile_msole_new(input.get(), &error));
    if (!root) {
        std::string detail = error != nullptr && error->message != nullptr ? error->message : "";
        if (error != nullptr) g_error_free(error);
        damaged("libgsf refused the container: " + detail);
    }
    capture.throwIfAny();

    CompoundFile file;
    gsf_infile_msole_get_class_id(GSF_INFILE_MSOLE(root.get()), file.rootClassId.data());
    readChildren(root.get(), file.entries, 1, bytes.size(), capture);
    capture.throwIfAny();
    return file;
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
