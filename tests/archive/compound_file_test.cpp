#include "archive/container/compound_file.h"

#include <gsf/gsf-outfile-msole.h>
#include <gsf/gsf-output-memory.h>
#include <gsf/gsf-utils.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>

#include "archive/container/format_violation.h"

namespace clivara::archive {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes pattern(std::size_t size, std::uint8_t seed) {
    Bytes out(size);
    for (std::size_t i = 0; i < size; ++i)
        out[i] = static_cast<std::uint8_t>(seed + i * 7 + i / 251);
    return out;
}

ClassId classId(std::uint8_t first) {
    ClassId id{};
    for (std::size_t i = 0; i < id.size(); ++i) id[i] = static_cast<std::uint8_t>(first + i);
    return id;
}

// A small container like a workbook file: a large stream (sector chain in the main table),
// a small one (mini stream), and a storage with a stream inside.
CompoundFile sampleFile() {
    CompoundFile file;
    file.rootClassId = classId(0x20);
    CompoundEntry workbook{"Workbook", false, {}, pattern(9000, 1), {}};
    CompoundEntry summary{"\x05SummaryInformation", false, {}, pattern(300, 2), {}};
    CompoundEntry inner{"dir", false, {}, pattern(5000, 3), {}};
    CompoundEntry storage{"_VBA_PROJECT_CUR", true, classId(0x40), {}, {inner}};
    CompoundEntry empty{"Vuoto", false, {}, {}, {}};
    file.entries = {workbook, summary, storage, empty};
    return file;
}

const CompoundEntry* byName(const std::vector<CompoundEntry>& entries, const std::string& name) {
    for (const auto& e : entries) {
        if (e.name == name) return &e;
    }
    return nullptr;
}

void expectSameEntries(const std::vector<CompoundEntry>& got,
                       const std::vector<CompoundEntry>& want) {
    ASSERT_EQ(got.size(), want.size());
    for (const auto& w : want) {
        const CompoundEntry* g = byName(got, w.name);
        ASSERT_NE(g, nullptr) << w.name;
        EXPECT_EQ(g->isStorage, w.isStorage) << w.name;
        EXPECT_EQ(g->classId, w.classId) << w.name;
        EXPECT_EQ(g->data, w.data) << w.name;
        expectSameEntries(g->children, w.children);
    }
}

TEST(CompoundFile, WritesAndReadsBackEveryEntryWithClassIds) {
    const CompoundFile original = sampleFile();
    const Bytes bytes = writeCompoundFile(original);
    ASSERT_EQ(bytes.size() % 512, 0u);

    const CompoundFile read = readCompoundFile(bytes);
    EXPECT_EQ(read.rootClassId, original.rootClassId);
    expectSameEntries(read.entries, original.entries);

    // What was read, written again, reads the same.
    const CompoundFile again = readCompoundFile(writeCompoundFile(read));
    EXPECT_EQ(again.rootClassId, original.rootClassId);
    expectSameEntries(again.entries, original.entries);
}

// Version 4 files (4096-byte sectors) are read too; they are written back with 512-byte ones.
TEST(CompoundFile, ReadsFilesWith4096ByteSectors) {
    gsf_init();
    GsfOutput* sink = gsf_output_memory_new();
    GsfOutfile* outfile = gsf_outfile_msole_new_full(sink, 4096, 64);
    const Bytes big = pattern(70000, 5);
    const Bytes small = pattern(100, 6);
    for (const auto& [name, data] : {std::pair{"Workbook", &big}, std::pair{"Piccolo", &small}}) {
        GsfOutput* child = gsf_outfile_new_child(outfile, name, FALSE);
        ASSERT_TRUE(gsf_output_write(child, data->size(), data->data()));
        gsf_output_close(child);
        g_object_unref(child);
    }
    gsf_output_close(GSF_OUTPUT(outfile));
    g_object_unref(outfile);
    const auto* raw = gsf_output_memory_get_bytes(GSF_OUTPUT_MEMORY(sink));
    const Bytes bytes(raw, raw + gsf_output_size(sink));
    g_object_unref(sink);
    ASSERT_EQ(bytes[30], 12);  // sector shift

    const CompoundFile file = readCompoundFile(bytes);
    ASSERT_NE(file.findStream("Workbook"), nullptr);
    EXPECT_EQ(file.findStream("Workbook")->data, big);
    ASSERT_NE(file.findStream("Piccolo"), nullptr);
    EXPECT_EQ(file.findStream("Piccolo")->data, small);
    const Bytes rewritten = writeCompoundFile(file);
    EXPECT_EQ(rewritten[30], 9);
    EXPECT_EQ(readCompoundFile(rewritten).findStream("workbook")->data, big);
}

TEST(CompoundFile, FindsTopLevelStreamsWhateverTheirCase) {
    CompoundFile file = sampleFile();
    ASSERT_NE(file.findStream("WORKBOOK"), nullptr);
    EXPECT_EQ(file.findStream("workbook")->name, "Workbook");
    EXPECT_EQ(file.findStream("_vba_project_cur"), nullptr);  // a storage
    EXPECT_EQ(file.findStream("dir"), nullptr);               // inside a storage
    EXPECT_EQ(file.findStream("Workboo"), nullptr);
    const CompoundFile& constant = file;
    EXPECT_EQ(constant.findStream("Vuoto"), &file.entries[3]);
}

TEST(CompoundFile, RefusesWhatIsNotACompoundFile) {
    const Bytes empty;
    const Bytes zip = {'P', 'K', 3, 4, 20, 0, 0, 0, 8, 0};
    const Bytes text = {'C', 'l', 'i', 'e', 'n', 't', 'i', ';', 'I', 'D', '\n'};
    const Bytes almost = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A};
    for (const Bytes* b : {&empty, &zip, &text, &almost}) {
        EXPECT_THROW(readCompoundFile(*b), NotCompoundFile);
    }
}

// --- Damaged containers, made by patching a valid one. ---------------------------------------

std::uint32_t get32(const Bytes& b, std::size_t at) {
    return static_cast<std::uint32_t>(b[at] | (b[at + 1] << 8) | (b[at + 2] << 16)) |
           (static_cast<std::uint32_t>(b[at + 3]) << 24);
}

void set32(Bytes& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

void set16(Bytes& b, std::size_t at, std::uint16_t v) {
    b[at] = static_cast<std::uint8_t>(v);
    b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

// Offsets inside a file written with 512-byte sectors and a single allocation sector.
struct Layout {
    const Bytes& b;
    static std::size_t sector(std::uint32_t id) { return (id + 1) * 512u; }
    std::size_t fatEntry(std::uint32_t id) const { return sector(get32(b, 76)) + 4 * id; }
    std::uint32_t next(std::uint32_t id) const { return get32(b, fatEntry(id)); }
    std::size_t dirEntry(std::uint32_t index) const {
        std::uint32_t s = get32(b, 48);
        for (std::uint32_t i = 0; i < index / 4; ++i) s = next(s);
        return sector(s) + 128 * (index % 4);
    }
    std::uint32_t entryIndex(const std::string& name) const {
        for (std::uint32_t i = 0; i < 16; ++i) {
            const std::size_t at = dirEntry(i);
            std::string n;
            for (std::size_t k = 0; k + 2 < b[at + 64]; k += 2) n += static_cast<char>(b[at + k]);
            if (n == name) return i;
        }
        ADD_FAILURE() << "no entry " << name;
        return 0;
    }
};

TEST(CompoundFile, RefusesDamagedContainers) {
    const Bytes good = writeCompoundFile(sampleFile());
    ASSERT_NO_THROW(readCompoundFile(good));
    const Layout at{good};
    const std::uint32_t workbook = at.entryIndex("Workbook");
    const std::uint32_t summary = at.entryIndex("\x05SummaryInformation");
    const std::uint32_t workbookStart = get32(good, at.dirEntry(workbook) + 116);
    const std::uint32_t directory = get32(good, 48);

    struct Case {
        const char* what;
        std::function<void(Bytes&)> patch;
    };
    const std::vector<Case> cases = {
        {"truncated in the middle", [](Bytes& b) { b.resize(b.size() / 2); }},
        {"only a header", [](Bytes& b) { b.resize(512); }},
        {"shorter than a header", [](Bytes& b) { b.resize(300); }},
        {"byte order", [](Bytes& b) { set16(b, 28, 0xFEFF); }},
        {"version 3 with 4096-byte sectors", [](Bytes& b) { set16(b, 30, 12); }},
        {"mini sector shift", [](Bytes& b) { set16(b, 32, 7); }},
        {"mini stream cutoff", [](Bytes& b) { set32(b, 56, 0x2000); }},
        {"huge allocation sector count", [](Bytes& b) { set32(b, 44, 0xFFFFFFF0); }},
        {"no allocation sectors", [](Bytes& b) { set32(b, 44, 0); }},
        {"huge DIFAT count", [](Bytes& b) { set32(b, 72, 0x7FFFFFFF); }},
        {"allocation sector outside the file", [](Bytes& b) { set32(b, 76, 0x00FFFFFF); }},
        {"huge mini allocation count", [](Bytes& b) { set32(b, 64, 0xFFFFFFFF); }},
        {"directory sector loops on itself",
         [&](Bytes& b) { set32(b, at.fatEntry(directory), directory); }},
        {"directory starts outside the file", [](Bytes& b) { set32(b, 48, 0x10000); }},
        {"stream chain loops back",
         [&](Bytes& b) { set32(b, at.fatEntry(at.next(workbookStart)), workbookStart); }},
        {"stream chain leaves the file",
         [&](Bytes& b) { set32(b, at.fatEntry(workbookStart), 0x7FFFFFFF); }},
        {"stream chain ends too early",
         [&](Bytes& b) { set32(b, at.fatEntry(workbookStart), 0xFFFFFFFE); }},
        {"huge stream size", [&](Bytes& b) { set32(b, at.dirEntry(workbook) + 120, 0xFFFFFFF0); }},
        {"small stream outside the mini stream",
         [&](Bytes& b) { set32(b, at.dirEntry(summary) + 116, 5000); }},
        {"child link out of range", [&](Bytes& b) { set32(b, at.dirEntry(0) + 76, 4000); }},
        {"sibling link to itself",
         [&](Bytes& b) { set32(b, at.dirEntry(workbook) + 68, workbook); }},
        {"link back to the root", [&](Bytes& b) { set32(b, at.dirEntry(workbook) + 72, 0); }},
        {"first entry not the root", [](Bytes& b) { b[Layout{b}.dirEntry(0) + 66] = 1; }},
        {"name length odd", [&](Bytes& b) { set16(b, at.dirEntry(workbook) + 64, 17); }},
        {"unknown entry type", [&](Bytes& b) { b[at.dirEntry(workbook) + 66] = 9; }},
    };
    for (const Case& c : cases) {
        Bytes bad = good;
        c.patch(bad);
        EXPECT_THROW(readCompoundFile(bad), FormatViolation) << c.what;
    }
}

// Past 109 allocation sectors (about 7 MB) the rest are listed in DIFAT sectors.
TEST(CompoundFile, FollowsAndChecksTheDifatOfLargeFiles) {
    CompoundFile large;
    large.entries.push_back({"Workbook", false, {}, pattern(8u << 20, 7), {}});
    const Bytes good = writeCompoundFile(large);
    ASSERT_GT(get32(good, 72), 0u) << "no DIFAT sector";
    EXPECT_EQ(readCompoundFile(good).findStream("Workbook")->data, large.entries[0].data);

    const std::size_t difat = Layout::sector(get32(good, 68));
    Bytes bad = good;
    set32(bad, difat, 0x00FFFFFF);  // an allocation sector outside the file
    EXPECT_THROW(readCompoundFile(bad), FormatViolation);
    bad = good;
    set32(bad, 68, 0x00FFFFFF);  // the DIFAT itself outside the file
    EXPECT_THROW(readCompoundFile(bad), FormatViolation);
    bad = good;
    set32(bad, 72, 0);  // fewer DIFAT sectors than the allocation table needs
    EXPECT_THROW(readCompoundFile(bad), FormatViolation);
}

// Every single damaged byte of the header, the allocation table and the directory either
// still reads or is refused as damaged: no other failure, no crash, no stray libgsf warning.
TEST(CompoundFile, SurvivesAnyDamagedByteInItsStructures) {
    const Bytes good = writeCompoundFile(sampleFile());
    const Layout at{good};
    std::vector<std::size_t> offsets;
    for (std::size_t i = 0; i < 512; ++i) offsets.push_back(i);
    for (std::size_t i = 0; i < 512; ++i) offsets.push_back(Layout::sector(get32(good, 76)) + i);
    for (std::uint32_t e = 0; e < 8; ++e) {
        for (std::size_t i = 64; i < 128; ++i) offsets.push_back(at.dirEntry(e) + i);
    }
    for (const std::size_t offset : offsets) {
        for (const std::uint8_t value : {std::uint8_t{0x00}, std::uint8_t{0xFF},
                                         static_cast<std::uint8_t>(good[offset] ^ 0x01)}) {
            Bytes bad = good;
            bad[offset] = value;
            try {
                const CompoundFile file = readCompoundFile(bad);
                // What reads must read whole: each stream as long as its directory entry says.
                for (const auto& e : file.entries) EXPECT_LE(e.data.size(), bad.size());
            } catch (const FormatViolation&) {
            } catch (const NotCompoundFile&) {
            } catch (const std::exception& e) {
                ADD_FAILURE() << "offset " << offset << ": " << e.what();
            }
        }
    }
}

// The file we write is read by a reader nobody here wrote.
TEST(CompoundFile, RewrittenWorkbookOpensInXlrd) {
    const std::string python = CLIVARA_PYTHON3;
    if (python.empty() ||
        std::system((python + " -c 'import xlwt, xlrd' 2>/dev/null").c_str()) != 0) {
        GTEST_SKIP() << "python3 with xlwt and xlrd is not available";
    }
    const auto dir = std::filesystem::temp_directory_path() /
                     ("compound_file_test." + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const auto source = dir / "source.xls";
    const auto rewritten = dir / "rewritten.xls";
    const std::string make = python +
                             " -c \"import xlwt; b = xlwt.Workbook(); s = b.add_sheet('Clienti'); "
                             "[s.write(r, 0, 'Cliente %d' % r) for r in range(300)]; "
                             "b.add_sheet('Codici').write(1, 0, 41); b.save('" +
                             source.string() + "')\"";
    ASSERT_EQ(std::system(make.c_str()), 0);

    std::ifstream in(source, std::ios::binary);
    const Bytes original{std::istreambuf_iterator<char>(in), {}};
    CompoundFile file = readCompoundFile(original);
    ASSERT_NE(file.findStream("workbook"), nullptr);
    {
        std::ofstream out(rewritten, std::ios::binary);
        const Bytes bytes = writeCompoundFile(file);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
    }
    const std::string check = python + " -c \"import xlrd; b = xlrd.open_workbook('" +
                              rewritten.string() +
                              "'); assert b.sheet_by_name('Clienti').cell_value(299, 0) == "
                              "'Cliente 299'; assert b.sheet_by_name('Codici').cell_value(1, 0) "
                              "== 41\"";
    EXPECT_EQ(std::system(check.c_str()), 0);
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace clivara::archive
