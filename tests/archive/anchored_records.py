#!/usr/bin/python3
"""Prints the records of a sheet that are anchored to rows, as another program reads them:
conditional formats (CFHEADER, CFHEADER12, CFEX), shared features (FEAT), AUTOFILTER12, the
sort state (SORTDATA) and watched cells (CELLWATCH), the
data sources in the whole workbook (DCONREF, by substream: 0 the globals), and the sheet's drawing (shapes with their client anchors and OBJ, notes). Rows and columns count from
0. The workbook stream comes from python3-xlrd's compound-file reader.

    anchored_records.py FILE.xls SHEET
"""
import struct
import sys

import xlrd
import xlrd.compdoc


def workbook_stream(path):
    with open(path, "rb") as f:
        doc = xlrd.compdoc.CompDoc(f.read(), logfile=sys.stderr)
    for name in ("Workbook", "WORKBOOK", "workbook"):
        stream = doc.get_named_stream(name)
        if stream:
            return stream
    raise SystemExit("no workbook stream")


def records(stream, start):
    pos = start
    while pos + 4 <= len(stream):
        rid, length = struct.unpack_from("<HH", stream, pos)
        yield rid, stream[pos + 4:pos + 4 + length]
        pos += 4 + length
        if rid == 0x000A:
            return


def saved_shapes(stream):
    """cspSaved of the drawing group's FDGG: the shapes in all drawings of the workbook."""
    for rid, body in records(stream, 0):
        if rid == 0x00EB and len(body) >= 32:
            return struct.unpack_from("<I", body, 24)[0]
    return None


def source_ranges(stream):
    """DCONREF records of the whole stream: (substream index, range, where)."""
    out, substream, pos = [], -1, 0
    while pos + 4 <= len(stream):
        rid, length = struct.unpack_from("<HH", stream, pos)
        body = stream[pos + 4:pos + 4 + length]
        pos += 4 + length
        if rid == 0x0809:
            substream += 1
        elif rid == 0x0051:
            first, last, col1, col2, count, high = struct.unpack_from("<HHBBHB", body, 0)
            raw = body[9:9 + count * (2 if high & 1 else 1)]
            where = raw.decode("utf-16-le" if high & 1 else "latin-1").replace("\x02", "self ")
            out.append("dconref %d %d-%d:%d-%d %s" % (substream, first, last, col1, col2, where))
    return out


def sheet_records(stream, sheet):
    for rid, body in records(stream, 0):
        if rid == 0x0085:
            name_length, flags = body[6], body[7]
            raw = body[8:8 + name_length * (2 if flags & 1 else 1)]
            name = raw.decode("utf-16-le" if flags & 1 else "latin-1")
            if name == sheet:
                return top_level(stream, struct.unpack_from("<I", body, 0)[0])
    raise SystemExit("no sheet " + sheet)


def top_level(stream, start):
    """The sheet's records, an embedded chart's substream left out."""
    out, depth, pos = [], 0, start
    while pos + 4 <= len(stream):
        rid, length = struct.unpack_from("<HH", stream, pos)
        body = stream[pos + 4:pos + 4 + length]
        pos += 4 + length
        if rid == 0x0809:
            depth += 1
            if depth > 1:
                out.append(("chart", b""))
        elif rid == 0x000A:
            depth -= 1
            if depth == 0:
                break
        elif depth == 1:
            out.append((rid, body))
    return out


def ranges(body, count_at, at):
    count = struct.unpack_from("<H", body, count_at)[0]
    return " ".join("%d-%d:%d-%d" % struct.unpack_from("<HHHH", body, at + 8 * i)
                    for i in range(count))


def ref8(body, at):
    return "%d-%d:%d-%d" % struct.unpack_from("<HHHH", body, at)


def rfx(body, at):
    return "%d-%d:%d-%d" % struct.unpack_from("<IIII", body, at)


def sort_state(body):
    """SORTDATA: its range, then each key's range, order and custom list."""
    count = struct.unpack_from("<I", body, 30)[0]
    keys, at = [], 38
    for _ in range(count):
        flags, = struct.unpack_from("<H", body, at)
        length, = struct.unpack_from("<I", body, at + 26)
        key, text, at = rfx(body, at + 2), "", at + 30
        if length:
            wide = body[at] & 1
            raw = body[at + 1:at + 1 + length * (2 if wide else 1)]
            text = " list " + raw.decode("utf-16-le" if wide else "latin-1")
            at += 1 + len(raw)
        keys.append("%s %s%s" % (key, "desc" if flags & 1 else "asc", text))
    extra = " +%d bytes" % (len(body) - at) if at != len(body) else ""
    return "sortdata %s keys %s%s" % (rfx(body, 14), ", ".join(keys), extra)


def office_art(data, at, end, shapes, drawing):
    """Walks OfficeArt records: shapes get [spid, anchor], drawing the FDG counts."""
    while at + 8 <= end:
        ver_inst, kind, length = struct.unpack_from("<HHI", data, at)
        body = at + 8
        if ver_inst & 0x000F == 0x000F:
            if kind == 0xF004:
                shapes.append({"spid": None, "anchor": None})
            office_art(data, body, min(body + length, end), shapes, drawing)
        elif kind == 0xF008:
            drawing["csp"], drawing["spidCur"] = struct.unpack_from("<II", data, body)
        elif kind == 0xF00A and shapes:
            shapes[-1]["spid"] = struct.unpack_from("<I", data, body)[0]
        elif kind == 0xF010 and shapes:
            flags, c1, _, r1, _, c2, _, r2, _ = struct.unpack_from("<HHHHHHHHH", data, body)
            shapes[-1]["anchor"] = "%d-%d:%d-%d flags %d" % (r1, r2, c1, c2, flags)
        at = body + length


def main():
    stream = workbook_stream(sys.argv[1])
    recs = sheet_records(stream, sys.argv[2])
    art = b""
    objects = []
    lines = []
    previous = None
    for rid, body in recs:
        # A CONTINUE right after an MSODRAWING goes on with the drawing.
        if rid == 0x003C and previous == 0x00EC:
            art += body
            continue
        previous = rid
        if rid == 0x01B0:
            lines.append("cfheader %d %s" % (struct.unpack_from("<H", body, 2)[0] >> 1,
                                             ranges(body, 12, 14)))
        elif rid == 0x0879:
            lines.append("cfheader12 %d %s bound %s" % (
                struct.unpack_from("<H", body, 14)[0] >> 1, ranges(body, 24, 26), ref8(body, 16)))
        elif rid == 0x087A:
            lines.append("cf12")
        elif rid == 0x087B:
            lines.append("cfex %d %s" % (struct.unpack_from("<H", body, 16)[0], ref8(body, 4)))
        elif rid == 0x0868:
            lines.append("feat %d %s" % (struct.unpack_from("<H", body, 12)[0],
                                         ranges(body, 19, 27)))
        elif rid == 0x087E:
            lines.append("autofilter12 %s" % ref8(body, 4))
        elif rid == 0x0895:
            lines.append(sort_state(body))
        elif rid == 0x086C:
            lines.append("cellwatch %s" % ref8(body, 4))
        elif rid == 0x00EC:
            art += body
        elif rid == 0x005D:
            ot, ident = struct.unpack_from("<HH", body, 4)
            objects.append((ot, ident))
        elif rid == 0x001C:
            row, col, _, ident = struct.unpack_from("<HHHH", body, 0)
            lines.append("note %d %d obj %d" % (row, col, ident))
    lines.extend(source_ranges(stream))
    shapes, drawing = [], {}
    office_art(art, 0, len(art), shapes, drawing)
    if drawing:
        lines.append("drawing shapes %d last %d, workbook %d" % (
            drawing["csp"], drawing["spidCur"], saved_shapes(stream)))
    # Every shape but the group of the whole sheet has one OBJ, in drawing order.
    for shape, obj in zip([s for s in shapes if s["anchor"]], objects):
        lines.append("shape %d %s obj %d %d" % (shape["spid"], shape["anchor"], obj[0], obj[1]))
    if len([s for s in shapes if s["anchor"]]) != len(objects):
        lines.append("shapes and OBJ records differ")
    # xlrd reads the notes itself (their text comes from the TXO of the note's shape).
    book = xlrd.open_workbook(sys.argv[1], logfile=sys.stderr)
    for (row, col), note in sorted(book.sheet_by_name(sys.argv[2]).cell_note_map.items()):
        lines.append("xlrd note %d %d %s" % (row, col, note.text))
    print("\n".join(lines))


if __name__ == "__main__":
    main()
