#pragma once

// The in-memory model behind Workbook and Sheet: the workbook stream's bytes (shared between
// copies), the records of the globals and of each sheet as positions into those bytes, and a
// compact cell table per worksheet.

#include <array>
#include <bit>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "archive/container/compound_file.h"
#include "archive/records/cell_text.h"
#include "archive/records/shared_strings.h"

namespace clivara::archive {

class WorkbookData;

// What a cell record holds. Text cells refer to the shared string table.
enum class CellType : std::uint8_t { Blank, Text, Number, Boolean, Error, Formula };

// One cell, 16 bytes. payload is the double's bits (Number), the SST index (Text), the
// formula's index in SheetData::formulas (Formula), or the value / error code
// (Boolean, Error).
struct Cell {
    std::uint16_t column = 0;  // 0-based
    std::uint16_t xf = 0;
    CellType type = CellType::Blank;
    std::uint64_t payload = 0;

    double number() const { return std::bit_cast<double>(payload); }
    void setNumber(double value) { payload = std::bit_cast<std::uint64_t>(value); }
};

// A ROW record's body (16 bytes), kept so height and row formatting survive.
using RowBody = std::array<std::uint8_t, 16>;

struct Row {
    std::vector<Cell> cells;  // sorted by column, no duplicates
    RowBody body{};
    bool hasRecord = false;
};

// The cached result of a formula cell.
enum class FormulaResult : std::uint8_t { Number, Text, Boolean, Error, EmptyText };

// A formula cell: its FORMULA record and the records that belong to it (SHRFMLA, ARRAY,
// TABLE, STRING with its CONTINUEs), whole, headers included, to be written back as they are.
struct Formula {
    std::vector<std::uint8_t> records;
    FormulaResult result = FormulaResult::Number;
    double number = 0;
    std::uint8_t code = 0;           // boolean value or error code
    std::string text;                // UTF-8, for a Text result
    bool ownsSharedRecords = false;  // SHRFMLA / ARRAY / TABLE follow the FORMULA record
};

// A record kept in a sheet or the globals: where it lies in the stream, or which owned body
// replaced it, or a marker for a part the writer regenerates.
struct KeptRecord {
    enum class Source : std::uint8_t { Stream, Owned, Index, Dimensions, CellTable, Sst };
    Source source = Source::Stream;
    std::uint16_t id = 0;
    std::uint32_t offset = 0;  // Stream: header position; Owned: index into owned bodies
    std::uint32_t size = 0;    // Stream: header + body length
};

// A formula replaced by its cached value because one of its tokens could not follow a row
// change; row and column count from 1 and follow the cell's later moves, so they say where the
// value stands now. Row 0: the cell's row has since been deleted.
struct FrozenFormula {
    int row = 0;
    int column = 0;
    std::string reason;
    bool isVolatile = false;  // it calls NOW, TODAY, RAND, OFFSET, INDIRECT, CELL or INFO
};

class SheetData {
  public:
    std::string name;         // UTF-8
    std::uint32_t start = 0;  // BOF position in the original stream
    std::uint32_t end = 0;    // just past the EOF record
    bool changed = false;     // cell table or records changed: regenerate on save
    bool hadIndex = false;
    std::uint32_t fileLabelSstCount = 0;  // LABELSST records in the original substream

    std::vector<KeptRecord> records;               // BOF .. EOF with markers
    std::vector<std::vector<std::uint8_t>> owned;  // bodies of changed records
    std::vector<Row> rows;  // indexed by 0-based row; may be shorter than 65536
    std::vector<Formula> formulas;
    std::vector<FrozenFormula> frozenFormulas;  // since the workbook was read

    const Row* row(int index0) const {
        return index0 >= 0 && static_cast<std::size_t>(index0) < rows.size() ? &rows[index0]
                                                                             : nullptr;
    }
    const Cell* find(int row0, int column0) const;
    Cell* find(int row0, int column0);
    Row& rowForWrite(int row0);

    WorkbookData* book = nullptr;  // set when the owning Workbook binds its sheets
    std::uint64_t revision = 0;    // see Sheet::revision()
};

// A substream of the workbook stream after the globals, in stream order.
struct Substream {
    std::uint32_t start = 0;
    std::uint32_t end = 0;
    int sheet = -1;                      // index into WorkbookData::sheets, -1: kept verbatim
    std::uint32_t boundSheetRecord = 0;  // index into WorkbookData::globals
    // A kept-verbatim substream (a chart sheet) whose records were rewritten: written instead.
    std::shared_ptr<const std::vector<std::uint8_t>> rewritten;
};

struct XfInfo {
    std::uint16_t formatId = 0;
    bool isStyle = false;
    NumberStyle style = NumberStyle::Plain;
    bool general = true;
    bool dayMonthYear = false;
};

class WorkbookData {
  public:
    std::string displayName;
    std::shared_ptr<const std::vector<std::uint8_t>> stream;  // the original workbook stream
    std::shared_ptr<const CompoundFile> container;  // every entry; the workbook stream emptied
    std::string streamName;                         // as stored in the container

    std::vector<KeptRecord> globals;  // BOF .. EOF; SST, its CONTINUEs and EXTSST as one Sst
    std::vector<std::vector<std::uint8_t>> ownedGlobals;  // Owned globals records, header included
    std::shared_ptr<SharedStrings> strings;               // copy on write
    bool hadSst = false;
    bool dateSystem1904 = false;
    std::vector<XfInfo> xfs;
    std::unordered_map<std::uint16_t, std::string> formats;
    int dayMonthYearXf = -1;  // a cell XF showing exactly dd/mm/yyyy, -1 when none

    std::vector<SheetData> sheets;
    std::vector<Substream> substreams;

    SharedStrings& mutableStrings();
    NumberStyle styleOfXf(std::uint16_t xf) const {
        return xf < xfs.size() ? xfs[xf].style : NumberStyle::Plain;
    }
};

// A number no sheet state carried before: see Sheet::revision().
std::uint64_t nextSheetRevision();

// The bytes of a kept record, header included.
std::span<const std::uint8_t> recordBytes(const WorkbookData& book, const SheetData* sheet,
                                          const KeptRecord& record);

}  // namespace clivara::archive
