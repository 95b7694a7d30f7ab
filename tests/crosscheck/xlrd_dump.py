"""Prints what `clivara-archivio dump FILE` prints, read by python3-xlrd instead of our reader:
{"sheets": [...], "clienti": [[13 texts], ...], "counter": "..."}.

xlrd's values are turned into text by the program's rules (whole numbers in plain decimal,
others with up to 15 significant digits and a decimal comma, dates by the cell's format in the
workbook's date system, VERO/FALSO, Italian error texts), written here independently of the
C++ code. With --formats each text is followed by the cell's format string and boldness, for
comparing round trips. Run with Debian's /usr/bin/python3."""

import datetime
import json
import math
import sys

import xlrd

LAST_SERIAL_1900 = 2958465
ERRORS = {0x00: "#NULLO!", 0x07: "#DIV/0!", 0x0F: "#VALORE!", 0x17: "#RIF!", 0x1D: "#NOME?",
          0x24: "#NUM!", 0x2A: "#N/D"}


def shortest_15(magnitude):
    """(digits, exponent): the fewest significant digits giving the 15-digit rounding."""
    reference = "%.14e" % magnitude
    target = float(reference)
    chosen = reference
    for precision in range(1, 15):
        candidate = "%.*e" % (precision - 1, magnitude)
        if float(candidate) == target:
            chosen = candidate
            break
    mantissa, exponent = chosen.split("e")
    digits = mantissa.replace(".", "").rstrip("0") or "0"
    return digits, int(exponent)


def plain_number(value):
    if math.isnan(value):
        return "#NUM!"
    if math.isinf(value):
        return "#NUM!" if value > 0 else "-#NUM!"
    if value == math.trunc(value) and abs(value) < 1e15:
        return str(int(value))
    sign = "-" if value < 0 else ""
    digits, exponent = shortest_15(abs(value))
    if exponent < -5 or exponent > 14:
        text = digits[0] + ("," + digits[1:] if len(digits) > 1 else "")
        return "%s%sE%s%02d" % (sign, text, "-" if exponent < 0 else "+", abs(exponent))
    if exponent >= 0:
        whole = exponent + 1
        if len(digits) <= whole:
            return sign + digits + "0" * (whole - len(digits))
        return sign + digits[:whole] + "," + digits[whole:]
    return sign + "0," + "0" * (-exponent - 1) + digits


def date_text(value, with_time, date1904):
    last = LAST_SERIAL_1900 - (1462 if date1904 else 0)
    if not value >= 0 or value >= last + 1:
        return plain_number(value)
    seconds = int(math.floor(value * 86400 + 0.5))
    days, time = divmod(seconds, 86400)
    if days > last:
        return plain_number(value)
    if not date1904 and days == 0:
        text = "00/01/1900"
    elif not date1904 and days == 60:
        text = "29/02/1900"
    else:
        if date1904:
            date = datetime.date(1904, 1, 1) + datetime.timedelta(days=days)
        else:
            date = datetime.date(1899, 12, 31) + datetime.timedelta(days=days - 1 if days >= 61 else days)
        text = "%02d/%02d/%04d" % (date.day, date.month, date.year)
    if with_time:
        text += " %02d:%02d:%02d" % (time // 3600, time // 60 % 60, time % 60)
    return text


def visible_letters(fmt):
    """The letters a format shows: no quoted text, escapes, padding or [...] sections."""
    out, i, n = [], 0, len(fmt)
    while i < n:
        c = fmt[i]
        low = fmt[i:].lower()
        if c == '"':
            close = fmt.find('"', i + 1)
            if close < 0:
                break
            i = close
        elif c in "\\_*":
            i += 1
        elif c == "[":
            close = fmt.find("]", i + 1)
            if close < 0:
                break
            inside = fmt[i + 1:close].lower()
            if inside and all(k in "hms" for k in inside):
                out.append("h")
            i = close
        elif low.startswith("am/pm"):
            out.append("h")
            i += 4
        elif low.startswith("a/p"):
            out.append("h")
            i += 2
        else:
            out.append(c.lower() if "A" <= c <= "Z" else c)
        i += 1
    return "".join(out)


def number_style(format_id, format_str):
    """'plain', 'date' or 'datetime'. format_str is None for a built-in format the file does
    not define with a FORMAT record."""
    if format_str is None:
        if 14 <= format_id <= 17:
            return "date"
        if 18 <= format_id <= 22 or 45 <= format_id <= 47:
            return "datetime"
        return "plain"
    letters = visible_letters(format_str)
    if letters in ("general", "@"):
        return "plain"
    if "h" in letters or "s" in letters:
        return "datetime"
    if any(k in letters for k in "ydm"):
        return "date"
    return "plain"


class Reader:
    def __init__(self, path):
        self.book = xlrd.open_workbook(path, formatting_info=True, on_demand=False,
                                       logfile=sys.stderr, verbosity=0)
        self.date1904 = self.book.datemode == 1
        self.defined_formats = {f.format_key: f.format_str for f in self.book.format_list}

    def format_of(self, xf_index):
        """(format id, format string from the file's FORMAT record or None)."""
        xf = self.book.xf_list[xf_index]
        return xf.format_key, self.defined_formats.get(xf.format_key)

    def format_name(self, xf_index):
        """The format string, also of built-in formats (as xlrd names them)."""
        fmt = self.book.format_map.get(self.book.xf_list[xf_index].format_key)
        return fmt.format_str if fmt else None

    def bold(self, xf_index):
        font = self.book.font_list[self.book.xf_list[xf_index].font_index]
        return bool(font.bold)

    def text(self, sheet, row, col):
        """Text of the cell at row, col (from 0)."""
        if row >= sheet.nrows or col >= sheet.ncols:
            return ""
        cell = sheet.cell(row, col)
        if cell.ctype in (xlrd.XL_CELL_EMPTY, xlrd.XL_CELL_BLANK):
            return ""
        if cell.ctype == xlrd.XL_CELL_TEXT:
            return cell.value
        if cell.ctype == xlrd.XL_CELL_BOOLEAN:
            return "VERO" if cell.value else "FALSO"
        if cell.ctype == xlrd.XL_CELL_ERROR:
            return ERRORS.get(cell.value, "#N/D")
        format_id, format_str = self.format_of(cell.xf_index)
        style = number_style(format_id, format_str)
        if style == "plain":
            return plain_number(float(cell.value))
        return date_text(float(cell.value), style == "datetime", self.date1904)

    def cell_format(self, sheet, row, col):
        if row >= sheet.nrows or col >= sheet.ncols:
            return None
        xf_index = sheet.cell_xf_index(row, col)
        return [self.format_name(xf_index), self.bold(xf_index)]

    def sheet(self, name):
        for s in self.book.sheets():
            if s.name.lower() == name.lower():
                return s
        return None

    def dump(self, with_formats=False):
        clienti, counter = [], ""
        sheet = self.sheet("Clienti")
        if sheet is not None:
            last = 0
            for r in range(sheet.nrows):
                if any(self.text(sheet, r, c) != "" for c in range(13)):
                    last = r + 1
            for r in range(last):
                row = [self.text(sheet, r, c) for c in range(13)]
                if with_formats:
                    row = [[t, self.cell_format(sheet, r, c)] for c, t in enumerate(row)]
                clienti.append(row)
        codici = self.sheet("Codici")
        if codici is not None:
            counter = self.text(codici, 1, 0)
        result = {"sheets": self.book.sheet_names(), "clienti": clienti, "counter": counter}
        if with_formats:
            result["datemode"] = self.book.datemode
            result["widths"] = {s.name: {str(c): info.width for c, info in sorted(s.colinfo_map.items())}
                                for s in self.book.sheets()}
            result["cells"] = {s.name: [[r, c, self.text(s, r, c), self.cell_format(s, r, c)]
                                        for r in range(s.nrows) for c in range(s.ncols)
                                        if s.cell_type(r, c) != xlrd.XL_CELL_EMPTY]
                               for s in self.book.sheets()}
        return result


def main():
    args = [a for a in sys.argv[1:] if not a.startswith("--")]
    with_formats = "--formats" in sys.argv
    if len(args) != 1:
        raise SystemExit("uso: xlrd_dump.py [--formats] FILE")
    json.dump(Reader(args[0]).dump(with_formats), sys.stdout, ensure_ascii=False)
    sys.stdout.write("\n")


if __name__ == "__main__":
    main()
