"""Prints every non-empty cell of the given .xls files as xlrd reads them, converted to text by
the program's rules: file, sheet, row, column (from 1) and text, tab-separated, with tab,
newline and backslash escaped. With --features FILE, the first sheet's row-anchored features.
Used by the workbook tests to check written files."""
import sys

import xlrd

ERRORS = {0: '#NULLO!', 7: '#DIV/0!', 15: '#VALORE!', 23: '#RIF!', 29: '#NOME?', 36: '#NUM!',
          42: '#N/D'}


def number_text(value):
    if value == int(value) and abs(value) < 1e15:
        return str(int(value))
    return ('%.15g' % value).replace('.', ',')


def cell_text(book, sheet, row, col):
    cell = sheet.cell(row, col)
    kind, value = cell.ctype, cell.value
    if kind in (xlrd.XL_CELL_EMPTY, xlrd.XL_CELL_BLANK):
        return ''
    if kind == xlrd.XL_CELL_TEXT:
        return value
    if kind == xlrd.XL_CELL_BOOLEAN:
        return 'VERO' if value else 'FALSO'
    if kind == xlrd.XL_CELL_ERROR:
        return ERRORS.get(value, '#?')
    if kind == xlrd.XL_CELL_DATE:
        fmt = book.format_map[book.xf_list[sheet.cell_xf_index(row, col)].format_key].format_str
        try:
            moment = xlrd.xldate_as_datetime(value, book.datemode)
        except (ValueError, OverflowError):
            return number_text(value)  # outside the calendar: shown as the plain number
        text = moment.strftime('%d/%m/') + '%04d' % moment.year
        if any(ch in fmt.lower() for ch in 'hs'):
            text += moment.strftime(' %H:%M:%S')
        return text
    return number_text(value)


def escape(text):
    return text.replace('\\', '\\\\').replace('\t', '\\t').replace('\n', '\\n').replace('\r', '\\r')


def features(path):
    """The first sheet's merged ranges, hyperlinks, notes (0-based, half-open like xlrd) and
    row heights, one per line."""
    book = xlrd.open_workbook(path, formatting_info=True)
    sheet = book.sheet_by_index(0)
    for r1, r2, c1, c2 in sorted(sheet.merged_cells):
        print('merged %d %d %d %d' % (r1, r2, c1, c2))
    for (row, col), link in sorted(sheet.hyperlink_map.items()):
        print('link %d %d %s' % (row, col, link.url_or_path))
    for (row, col), note in sorted(sheet.cell_note_map.items()):
        print('note %d %d %s' % (row, col, escape(note.text)))
    for row in sorted(sheet.rowinfo_map):
        print('height %d %d' % (row, sheet.rowinfo_map[row].height))


def main():
    out = sys.stdout
    if sys.argv[1] == '--features':
        features(sys.argv[2])
        return
    for path in sys.argv[1:]:
        book = xlrd.open_workbook(path, formatting_info=True)
        for sheet in book.sheets():
            out.write('%s\t%s\t0\t0\t\n' % (path, escape(sheet.name)))
            for row in range(sheet.nrows):
                for col in range(sheet.ncols):
                    text = cell_text(book, sheet, row, col)
                    if text:
                        out.write('%s\t%s\t%d\t%d\t%s\n' % (path, escape(sheet.name), row + 1,
                                                           col + 1, escape(text)))


main()
