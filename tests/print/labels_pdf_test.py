"""Address labels as clivara-archivio etichette writes them, read back with poppler-utils
(pdftotext -raw and -bbox, pdfinfo). Archives are written with python3-xlwt.
Usage: /usr/bin/python3 labels_pdf_test.py CLIVARA_ARCHIVIO FIXTURES_DIR"""

import html
import math
import os
import re
import subprocess
import sys
import tempfile
import unittest

from customer_list_pdf_test import customer, squeeze, write_archive

TOOL = None
MM = 72 / 25.4
INSET_X, INSET_Y = 4.0, 2.5  # mm, the room kept free inside each label
A4 = (595, 842)
# name: columns, rows, label width and height, left and top margins, column and row gaps (mm)
FORMATS = {"3x8": (3, 8, 70, 37, 0, 0.5, 0, 0),
           "3x7": (3, 7, 70, 42.3, 0, 0.45, 0, 0),
           "2x7": (2, 7, 99.1, 38.1, 4.65, 15.15, 2.5, 0)}


def words(path):
    """Each page's words as (text, xMin, yMin, xMax, yMax), in points."""
    out = subprocess.run(["pdftotext", "-bbox", path, "-"], check=True, capture_output=True,
                         text=True).stdout
    pages = []
    for page in out.split("<page ")[1:]:
        pages.append([(html.unescape(m.group(5)), *(float(m.group(i)) for i in range(1, 5)))
                      for m in re.finditer(r'<word xMin="([\d.]+)" yMin="([\d.]+)" '
                                           r'xMax="([\d.]+)" yMax="([\d.]+)">([^<]*)</word>',
                                           page)])
    return pages


def label_box(fmt, index):
    """The sheet and the box (points) of label index on a run that starts at the first."""
    columns, rows, width, height, left, top, column_gap, row_gap = FORMATS[fmt]
    sheet, at = divmod(index, columns * rows)
    row, column = divmod(at, columns)
    x = (left + column * (width + column_gap)) * MM
    y = (top + row * (height + row_gap)) * MM
    return sheet, (x, y, x + width * MM, y + height * MM)


class LabelsPdfTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()

    def tearDown(self):
        self.dir.cleanup()

    def path(self, name):
        return os.path.join(self.dir.name, name)

    def etichette(self, archive, *extra, code=0):
        out = self.path("etichette.pdf")
        done = subprocess.run([TOOL, "etichette", archive, out, *extra], capture_output=True,
                              text=True, env=dict(os.environ, QT_QPA_PLATFORM="offscreen"))
        self.assertEqual(done.returncode, code, done.stderr)
        return out, done.stderr

    def pages(self, pdf):
        info = subprocess.run(["pdfinfo", pdf], check=True, capture_output=True,
                              text=True).stdout
        size = re.search(r"^Page size:\s+([\d.]+) x ([\d.]+)", info, re.M)
        self.assertEqual((round(float(size.group(1))), round(float(size.group(2)))), A4)
        return int(re.search(r"^Pages:\s+(\d+)", info, re.M).group(1))

    def test_every_customer_once_in_postal_order_on_its_label_for_each_format(self):
        count = 50
        rows = [customer(n, "Ditta%04d Rossi" % n, f3="Via Verdi %d" % n, f4="%05d" % n,
                         f5="Reggio nell'Emilia" if n % 2 else "Forlì", f6="re")
                for n in range(1, count + 1)]
        path = self.path("Archivio.xls")
        write_archive(path, rows)
        for fmt, (columns, rows_, width, height, *_rest) in FORMATS.items():
            with self.subTest(format=fmt):
                pdf, _ = self.etichette(path, "--formato", fmt)
                self.assertEqual(self.pages(pdf), math.ceil(count / (columns * rows_)))
                raw = subprocess.run(["pdftotext", "-raw", "-enc", "UTF-8", pdf, "-"],
                                     check=True, capture_output=True, text=True).stdout
                for n in range(1, count + 1):
                    town = "REGGIO NELL'EMILIA" if n % 2 else "FORLÌ"
                    self.assertEqual(raw.count("Ditta%04d " % n), 1)
                    self.assertRegex(raw, r"Ditta%04d Rossi\s+Via Verdi %d\s+%05d %s \(RE\)"
                                     % (n, n, n, re.escape(town)))
                self.assertNotIn("445566", raw)  # the telephone is not on a label
                pages = words(pdf)
                for n in range(1, count + 1):
                    sheet, (x0, y0, x1, y1) = label_box(fmt, n - 1)
                    name = next(w for w in pages[sheet] if w[0] == "Ditta%04d" % n)
                    self.assertAlmostEqual(name[1], x0 + INSET_X * MM, delta=1.5)
                    self.assertTrue(y0 + INSET_Y * MM - 1 <= name[2] <= y1, (n, name))
                for page in pages:
                    for text, x_min, y_min, x_max, y_max in page:
                        # Every word lies inside some label's inset.
                        self.assertTrue(any(
                            bx0 + INSET_X * MM - 1.5 <= x_min and x_max <= bx1 - INSET_X * MM + 1.5
                            and by0 + INSET_Y * MM - 1.5 <= y_min and y_max <= by1 + 1.5
                            for _, (bx0, by0, bx1, by1) in
                            (label_box(fmt, i) for i in range(columns * rows_))), text)

    def test_long_lines_shrink_then_wrap_and_nothing_is_cut(self):
        long_name = "Società Cooperativa Agricola dei Produttori Riuniti di Val di Non"
        unbroken = "Contrada" + "X" * 90
        rows = [customer(1, "Breve S.r.l."), customer(2, long_name, f3=unbroken),
                customer(3, "Terza")]
        path = self.path("lunghi.xls")
        write_archive(path, rows)
        pdf, _ = self.etichette(path, "--formato", "2x7")
        self.assertEqual(self.pages(pdf), 1)
        raw = subprocess.run(["pdftotext", "-raw", "-enc", "UTF-8", pdf, "-"], check=True,
                             capture_output=True, text=True).stdout
        text = squeeze(raw)
        for whole in (long_name, unbroken, "00185ROMA(RM)", "BreveS.r.l.", "Terza"):
            self.assertIn(squeeze(whole), text)
        _, (x0, y0, x1, y1) = label_box("2x7", 1)
        inside = [w for w in words(pdf)[0] if x0 <= w[1] < x1 and y0 <= w[2] < y1]
        for _, x_min, y_min, x_max, y_max in inside:
            self.assertLessEqual(x_max, x1 - INSET_X * MM + 1.5)
            self.assertLessEqual(y_max, y1 - INSET_Y * MM + 1.5)
        # The unbroken address took more than one line of the label.
        self.assertGreater(len({round(w[2]) for w in inside if "XXX" in w[0]}), 1)

    def test_accents_and_other_scripts_read_back_as_typed(self):
        # Latin, Greek and Cyrillic are drawn as plain glyph runs; CJK with a fallback font.
        names = ["Caffè Città S.n.c.", "Ωμέγα Ελληνικά", "Москва ООО", "東京都 株式会社",
                 "Affine Officina"]  # no ligature turns "ffi" into one letter
        rows = [customer(n, name, f5="Forlì") for n, name in enumerate(names, start=1)]
        path = self.path("scritture.xls")
        write_archive(path, rows)
        pdf, _ = self.etichette(path)
        raw = subprocess.run(["pdftotext", "-raw", "-enc", "UTF-8", pdf, "-"], check=True,
                             capture_output=True, text=True).stdout
        for name in names:
            self.assertIn(name, raw)
        self.assertEqual(raw.count("00185 FORLÌ (RM)"), len(names))

    def test_a_search_chooses_the_labels_and_bad_requests_leave_the_output_alone(self):
        rows = [customer(n, "Cliente %02d" % n, f5="Milano" if n % 5 == 0 else "Roma")
                for n in range(1, 31)]
        path = self.path("Archivio.xls")
        write_archive(path, rows)
        pdf, _ = self.etichette(path, "--formato", "3x7", "milano")
        raw = subprocess.run(["pdftotext", "-raw", pdf, "-"], check=True, capture_output=True,
                             text=True).stdout
        self.assertEqual(re.findall(r"Cliente (\d+)", raw), ["05", "10", "15", "20", "25", "30"])
        self.assertEqual(self.pages(pdf), 1)

        with open(pdf, "wb") as f:
            f.write(b"prima")
        for extra in (["--formato", "4x4"], ["--formato"]):
            _, err = self.etichette(path, *extra, code=2)
            self.assertTrue(err.strip())
        _, err = self.etichette(os.path.join(FIXTURES, "bad-truncated.xls"), code=2)
        with open(pdf, "rb") as f:
            self.assertEqual(f.read(), b"prima")


if __name__ == "__main__":
    TOOL, FIXTURES = sys.argv[1], sys.argv[2]
    unittest.main(argv=sys.argv[:1], verbosity=2)
