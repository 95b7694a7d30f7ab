#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "archive/archive_error.h"

namespace clivara::archive {

// What a cell holds, as the spreadsheet application would report its value.
enum class CellKind : std::uint8_t { Empty, Text, Number, Boolean, Error };

class WorkbookData;  // the parsed workbook: streams, records, strings, formats, cells
class SheetData;

// One worksheet of an open workbook. Rows and columns count from 1, as in the
// spreadsheet application (row 1..65536, column 1..256). A Sheet is a handle into its
// Workbook and stays valid while that Workbook lives (copies of the Workbook have
// their own sheets).
class Sheet {
  public:
    static constexpr int kLastRow = 65536;
    static constexpr int kLastColumn = 256;

    const std::string& name() const;

    CellKind kind(int row, int column) const;
    // The cell's value converted to text (UTF-8): the one conversion used everywhere.
    std::string text(int row, int column) const;
    // True when the value reads as empty text (no cell, a blank cell, an empty string).
    bool isEmpty(int row, int column) const;
    // The text of a cell holding a text (a string, or a formula's cached string) without a
    // copy; nothing for any other kind. The view is valid until the workbook changes.
    std::optional<std::string_view> storedText(int row, int column) const;
    // For walks down a column that read each row: called before the read of `row`, it starts
    // fetching from memory, without waiting, what the reads of the rows a little further down
    // will need (their cells, then the place of their text, then the text), so that those
    // reads find it at hand. Changes nothing and gives nothing; rows past the sheet's end and
    // cells without a text are passed over.
    void readAhead(int row, int column) const;
    // The numeric value of a Number cell (dates are their serial numbers); for a Boolean
    // cell 1 or 0; otherwise 0.
    double number(int row, int column) const;

    // Stores a text so that text() gives exactly that text back, keeping the cell's kind:
    // over a text it stays a text; over a number, a number as text() shows one stays a
    // number (over a date, a date), anything else becomes text. A cell holding neither
    // takes what the text is: a canonical whole number becomes a number, a dd/MM/yyyy date a
    // date where the workbook has a format showing dd/mm/yyyy, anything else text. An empty
    // text empties the cell's value. The cell keeps its format, except that a date may take
    // a date format. Throws ArchiveError(TextTooLong) past 32,767 characters.
    void setText(int row, int column, std::string_view text);
    // The same for a cell of a row being filled anew: where the cell holds neither a text nor
    // a number, the cell of the same column in row modelRow decides the kind as if it were
    // the cell written over (0: no model row).
    void setTextLike(int row, int column, std::string_view text, int modelRow);

    // End(xlDown): from a filled cell whose neighbour below is filled, the last filled cell
    // of that run; otherwise the next filled cell further down, or kLastRow when none.
    int endDown(int row, int column) const;

    // The last row holding any cell record (0 when the sheet has none).
    int lastUsedRow() const;

    // Removes the whole row; every row below moves up one with its cells, formatting and
    // height, and features anchored to those rows follow.
    void deleteRow(int row);

    // Reorders the blocks of columns [firstColumn, lastColumn] of rows firstRow ..
    // firstRow + order.size() - 1: afterwards row firstRow + i holds what row
    // firstRow + order[i] held in those columns, values and formats. Other cells stay.
    void permuteRows(int firstRow, int firstColumn, int lastColumn, std::span<const int> order);

    // A number that changes with every change of the sheet's cells or rows, and with every
    // rebinding of the workbook's sheets (open, copy, rollback), drawn from one counter of the
    // process: two states of any sheets carry the same number only when one is an unchanged
    // copy of the other. What is derived from the cells (a search index) compares it to know
    // whether it is still current.
    std::uint64_t revision() const;

    SheetData& data() { return *data_; }
    const SheetData& data() const { return *data_; }

  private:
    friend class Workbook;
    explicit Sheet(SheetData* data) : data_(data) {}
    SheetData* data_;
};

// An Excel 97-2003 (.xls, BIFF8) workbook read into memory. Everything the program does not
// interpret (other streams, formatting, other sheets, cells right of column M, unknown
// records) is kept and written back unchanged by save().
class Workbook {
  public:
    // Reads the file; throws ArchiveError with an Italian message naming the file.
    static Workbook open(const std::filesystem::path& path);
    // Reads a whole compound file held in memory; displayName appears in messages.
    static Workbook fromBytes(std::span<const std::uint8_t> bytes, const std::string& displayName);

    Workbook(const Workbook& other);
    Workbook& operator=(const Workbook& other);
    Workbook(Workbook&&) noexcept;
    Workbook& operator=(Workbook&&) noexcept;
    ~Workbook();

    // Sheets in workbook order; by name without regard to letter case (nullptr if none).
    std::size_t sheetCount() const;
    Sheet& sheetAt(std::size_t index);
    const Sheet& sheetAt(std::size_t index) const;
    Sheet* sheet(std::string_view name);
    const Sheet* sheet(std::string_view name) const;

    bool uses1904DateSystem() const;

    // Readies, on another thread, what the first change would otherwise build then (the
    // string table's lookup), for a program that opens the workbook to change it.
    void prepareForChanges();

    // The state of the workbook to go back to when a change fails half-way. Cheaper than a
    // copy: the shared string table is not duplicated (it only grows, so going back cuts it
    // to its former length).
    class Checkpoint {
      public:
        Checkpoint(Checkpoint&&) noexcept;
        Checkpoint& operator=(Checkpoint&&) noexcept;
        ~Checkpoint();

      private:
        friend class Workbook;
        Checkpoint(std::unique_ptr<WorkbookData> data, std::uint32_t strings);
        std::unique_ptr<WorkbookData> data_;
        std::uint32_t strings_ = 0;
    };
    Checkpoint checkpoint() const;
    // Puts the workbook back as it was when the checkpoint was taken.
    void rollback(Checkpoint&& checkpoint);

    // The whole compound file as it would be written.
    std::vector<std::uint8_t> toBytes() const;
    // Writes the workbook atomically over path (temporary file, flush, rename), keeping the
    // file's permissions. On failure the file at path is untouched and ArchiveError
    // (WriteFailed) carries the Italian reason.
    void save(const std::filesystem::path& path) const;

    WorkbookData& data() { return *data_; }
    const WorkbookData& data() const { return *data_; }

  private:
    explicit Workbook(std::unique_ptr<WorkbookData> data);
    void bindSheets();
    std::unique_ptr<WorkbookData> data_;
    std::vector<Sheet> sheets_;
};

}  // namespace clivara::archive
