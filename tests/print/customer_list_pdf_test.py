"""The printed customer list as clivara-archivio elenco writes it, read back with poppler-utils
(pdftotext, pdfinfo). Archives are written with python3-xlwt or taken from the fixtures.
Usage: /usr/bin/python3 customer_list_pdf_test.py CLIVARA_ARCHIVIO FIXTURES_DIR"""

import datetime
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unicodedata
import unittest

import xlrd
import xlwt

TOOL = None
FIXTURES = None

HEADINGS = ["Ragione Sociale", "ID", "Data", "Indirizzo", "C.A.P.", "Località", "(PR)",
            "Telefono", "Cellulare", "Codice Fiscale", "Partita IVA", "Note 1", "Note 2"]
LIST_HEADINGS = ["Ragione Sociale", "ID", "Indirizzo", "C.A.P.", "Località", "(PR)",
                 "Telefono", "Cellullare", "Codice Fiscale", "Partita IVA"]
A4_LANDSCAPE = (842, 595)  # points, rounded as pdfinfo prints them
MARGIN = 28.3  # 10 mm


def customer(n, name=None, **fields):
    """Row n's thirteen fields: plausible values, some replaced by keyword (index=value)."""
    row = [name if name is not None else "Cliente %04d" % n, str(n), "", "Via Roma %d" % n,
           "00185", "Roma", "RM", "06 445566", "333123%04d" % n, "RSSMRA70A01H501X",
           "0123456789%d" % (n % 10), "Nota A %d" % n, "Nota B %d" % n]
    for key, value in fields.items():
        row[int(key[1:])] = value
    return row


def write_archive(path, rows, headings=True):
    """An archive with "Clienti" (headings in row 1, then rows; None leaves a row empty) and
    "Codici"."""
    book = xlwt.Workbook(encoding="utf-8")
    sheet = book.add_sheet("Clienti")
    if headings:
        for c, heading in enumerate(HEADINGS):
            sheet.write(0, c, heading)
    for r, row in enumerate(rows, start=1):
        for c, value in enumerate(row or []):
            if value != "":
                sheet.write(r, c, value)
    codici = book.add_sheet("Codici")
    codici.write(0, 0, "Ultimo codice")
    codici.write(1, 0, len(rows))
    book.save(path)


class Pdf:
    """A PDF written by the tool: its pages' text in reading order (-raw, each cell's lines
    together) and laid out (-layout), its page size and the words' boxes."""

    def __init__(self, path):
        info = subprocess.run(["pdfinfo", path], check=True, capture_output=True,
                              text=True).stdout
        self.pages = int(re.search(r"^Pages:\s+(\d+)", info, re.M).group(1))
        size = re.search(r"^Page size:\s+([\d.]+) x ([\d.]+)", info, re.M)
        self.size = (round(float(size.group(1))), round(float(size.group(2))))
        raw = subprocess.run(["pdftotext", "-raw", "-enc", "UTF-8", path, "-"], check=True,
                             capture_output=True, text=True).stdout
        self.raw = raw.split("\f")[:self.pages]
        layout = subprocess.run(["pdftotext", "-layout", "-enc", "UTF-8", path, "-"],
                                check=True, capture_output=True, text=True).stdout
        self.layout = layout.split("\f")[:self.pages]
        bbox = subprocess.run(["pdftotext", "-bbox", path, "-"], check=True,
                              capture_output=True, text=True).stdout
        self.words = [tuple(float(v) for v in m.groups()) for m in re.finditer(
            r'<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="([\d.]+)" yMax="([\d.]+)"', bbox)]

    def text(self):
        return "\n".join(self.raw)


def squeeze(text):
    return re.sub(r"\s+", "", text)


class CustomerListPdfTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.today = datetime.date.today().strftime("%d/%m/%Y")

    def tearDown(self):
        self.dir.cleanup()

    def path(self, name):
        return os.path.join(self.dir.name, name)

    def elenco(self, archive, out=None, words=()):
        out = out or self.path("elenco.pdf")
        done = subprocess.run([TOOL, "elenco", archive, out, *words], capture_output=True,
                              text=True,
                              env=dict(os.environ, QT_QPA_PLATFORM="offscreen"))
        self.assertEqual(done.returncode, 0, done.stderr)
        return Pdf(out)

    def assert_pages_framed(self, pdf, archive_name, customers):
        """Title, archive, date and headings at the top of each page, "Pagina N di M" at its
        foot, the total on the last page only; A4 landscape; no word beyond the margins."""
        self.assertEqual(pdf.size, A4_LANDSCAPE)
        for n, (raw, layout) in enumerate(zip(pdf.raw, pdf.layout), start=1):
            lines = [line for line in layout.splitlines() if line.strip()]
            self.assertTrue(lines[0].startswith("Elenco Clienti"), lines[0])
            self.assertIn(archive_name, lines[0])
            self.assertTrue(lines[0].endswith("Stampato il " + self.today), lines[0])
            self.assertEqual(lines[1].split(), " ".join(LIST_HEADINGS).split())
            self.assertEqual(lines[-1].strip(), "Pagina %d di %d" % (n, pdf.pages))
            self.assertEqual(raw.count("Totale clienti:"), 1 if n == pdf.pages else 0)
        self.assertIn("Totale clienti: %d" % customers, pdf.raw[-1])
        for x_min, y_min, x_max, y_max in pdf.words:
            self.assertGreaterEqual(x_min, MARGIN - 1)
            self.assertLessEqual(x_max, A4_LANDSCAPE[0] - MARGIN + 1)
            self.assertGreaterEqual(y_min, MARGIN - 1)
            self.assertLessEqual(y_max, A4_LANDSCAPE[1] - MARGIN + 1)

    def assert_in_order(self, text, pieces):
        at = 0
        for piece in pieces:
            found = text.find(piece, at)
            self.assertGreaterEqual(found, 0, "%r missing or out of order" % piece)
            at = found + len(piece)

    def test_empty_and_one_customer_archives(self):
        subprocess.run([TOOL, "new", self.path("vuoto.xls")], check=True)
        pdf = self.elenco(self.path("vuoto.xls"))
        self.assertEqual(pdf.pages, 1)
        self.assert_pages_framed(pdf, "vuoto.xls", 0)

        write_archive(self.path("uno.xls"), [customer(1, "Unico Cliente S.r.l.")])
        pdf = self.elenco(self.path("uno.xls"))
        self.assertEqual(pdf.pages, 1)
        self.assert_pages_framed(pdf, "uno.xls", 1)
        self.assertEqual(pdf.raw[0].count("Unico Cliente S.r.l."), 1)
        self.assertIn("Via Roma 1 00185 Roma RM 06 445566 3331230001 RSSMRA70A01H501X "
                      "01234567891", pdf.raw[0])
        # The notes and the date are not printed.
        self.assertNotIn("Nota", pdf.text())

    def test_many_customers_each_once_in_order_across_pages(self):
        rows = [customer(n) for n in range(1, 301)]
        rows[9] = None                          # an empty row: skipped
        rows[19] = customer(20, "")             # a row without a name: skipped
        rows[29] = customer(30, "Ragione Sociale")  # a customer may carry the heading's text
        path = self.path("Archivio.xls")
        write_archive(path, rows)
        pdf = self.elenco(path)
        names = [row[0] for row in rows if row and row[0]]
        self.assert_pages_framed(pdf, "Archivio.xls", len(names))
        text = pdf.text()
        for name in names:
            if name != "Ragione Sociale":
                self.assertEqual(len(re.findall(re.escape(name) + r"\b", text)), 1, name)
        # The heading stands once on each page; the one customer named like it once more.
        self.assertEqual(text.count("Ragione Sociale"), pdf.pages + 1)
        self.assertNotIn("Cliente 0010", text)
        self.assertNotIn("Via Roma 20 ", text)
        body = re.sub(r"Ragione Sociale ID Indirizzo", "", text)
        self.assert_in_order(body, names)
        # One line per customer: between 30 and 60 customers a page.
        self.assertTrue(len(names) / 60 <= pdf.pages <= len(names) / 30, pdf.pages)

    def test_long_texts_wrap_and_tall_blocks_go_on_over_pages(self):
        long_address = " ".join("Strada%03d" % i for i in range(40))
        unbroken = "X" * 70 + "Y" * 70
        huge = " ".join("Parola%04d" % i for i in range(1200))  # taller than a page
        rows = [customer(1, "Prima Ditta"),
                customer(2, "Ditta con un nome davvero molto lungo che non sta nella colonna",
                         f3=long_address, f9=unbroken),
                customer(3, "Riga uno\nRiga due\r\nRiga tre"),
                customer(4, "Ditta Enorme", f3=huge),
                customer(5, "Ultima Ditta")]
        path = self.path("lunghi.xls")
        write_archive(path, rows)
        pdf = self.elenco(path)
        self.assert_pages_framed(pdf, "lunghi.xls", 5)
        self.assertGreaterEqual(pdf.pages, 3)
        # Every word of each wrapped text is there, in order: nothing is cut. Each cell's
        # lines come together on a page; a block going on over pages has the other columns'
        # texts between its pieces.
        text = squeeze(pdf.text())
        for whole in (long_address, unbroken, rows[1][0]):
            self.assertTrue(squeeze(whole) in text, whole)
        self.assert_in_order(pdf.text(), huge.split())
        # The name's lines stay one under the other.
        layout = "\n".join(pdf.layout)
        self.assert_in_order(layout, ["Riga uno", "Riga due", "Riga tre", "Ditta Enorme"])
        self.assert_in_order(squeeze(pdf.text()), ["PrimaDitta", "Dittaconunnome", "Rigauno",
                                                   "DittaEnorme", "Parola0000", "Parola1199",
                                                   "UltimaDitta"])
        # The huge block starts at the top of a page and goes on over more than one.
        first = next(i for i, page in enumerate(pdf.raw) if "Parola0000" in page)
        last = next(i for i, page in enumerate(pdf.raw) if "Parola1199" in page)
        self.assertGreater(last, first)
        self.assertNotIn("Prima Ditta", pdf.raw[first])

    def test_columns_fit_their_texts_and_a_search_chooses_the_customers(self):
        # Long names and addresses take the room they need; a telephone number, a postcode and
        # a codice fiscale stay on one line beside them.
        rows = [customer(n, "Ditta Molto Lunga di Esempio %d S.r.l." % n,
                         f3="Via Giuseppe Garibaldi %d, scala B interno 4" % n,
                         f7="+39 0702749819", f8="+39 347 1234567") for n in range(1, 41)]
        rows[6][0] = "Bianchi Verdi S.n.c."
        rows[6][5] = "Reggio nell'Emilia"
        path = self.path("colonne.xls")
        write_archive(path, rows)
        pdf = self.elenco(path)
        lines = [line for line in pdf.layout[0].splitlines() if line.strip()]
        self.assertGreater(len(lines), 30)
        for line in lines[2:-1]:
            self.assertIn("+39 0702749819", line)
            self.assertIn("+39 347 1234567", line)
            self.assertIn("RSSMRA70A01H501X", line)
        self.assertIn("Reggio nell'Emilia", pdf.layout[0])
        self.assertNotIn(" \u2014 ricerca", pdf.layout[0])

        pdf = self.elenco(path, words=["bianchi", "  EMILIA"])
        self.assert_pages_framed(pdf, "colonne.xls", 1)
        self.assertIn('colonne.xls \u2014 ricerca "bianchi EMILIA": 1 cliente su 40',
                      pdf.layout[0].splitlines()[0])
        self.assertIn("Bianchi Verdi S.n.c.", pdf.text())
        self.assertNotIn("Ditta Molto Lunga", pdf.text())
        pdf = self.elenco(path, words=["nessuno"])
        self.assert_pages_framed(pdf, "colonne.xls", 0)
        self.assertIn(": 0 clienti su 40", pdf.raw[0])

    def test_other_writers_files_and_scripts(self):
        for fixture in ("lo-unicode.xls", "gnumeric-unicode.xls", "lo-clienti.xls"):
            with self.subTest(fixture=fixture):
                path = os.path.join(FIXTURES, fixture)
                book = xlrd.open_workbook(path)
                sheet = next(s for s in book.sheets() if s.name.lower() == "clienti")
                names = [str(sheet.cell_value(r, 0)) for r in range(1, sheet.nrows)]
                names = [name for name in names if name]
                pdf = self.elenco(path)
                self.assert_pages_framed(pdf, fixture, len(names))
                # Emoji are drawn (with a symbol font) but poppler gives no text for them.
                expected = [re.sub(r"[\U0001F000-\U0001FFFF]", "", name) for name in names]
                self.assert_in_order(squeeze(pdf.text()), [squeeze(n) for n in expected])
        text = self.elenco(os.path.join(FIXTURES, "lo-unicode.xls")).text()
        for script in ("Perché così? Città, caffè, più, là:", "ÀÈÉÌÒÙ àèéìòù çñß",
                       "Ωμέγα Ελληνικά Αθήνα", "東京都 株式会社 北京"):
            self.assertIn(script, text)

    def test_every_kind_of_run_reads_back_and_its_fonts_are_embedded(self):
        # Letters whose glyph numbers are the string syntax's own bytes ("E" is 0x28, "(",
        # "y" is 0x5C, "\\"), a combining accent, right-to-left words beside Latin ones, and a
        # fallback font's script.
        names = ["Elmo (Y) y\\z *'-", "Cafe\u0301 Nuovo", "Shalom \u05e9\u05dc\u05d5\u05dd",
                 "Arabo \u0645\u0631\u062d\u0628\u0627", "\ud55c\uad6d\uc5b4 Corea"]
        path = self.path("scritture.xls")
        write_archive(path, [customer(n, name) for n, name in enumerate(names, start=1)])
        out = self.path("scritture.pdf")
        pdf = self.elenco(path, out)
        self.assert_pages_framed(pdf, "scritture.xls", len(names))
        text = unicodedata.normalize("NFC", re.sub("[\u202a-\u202e]", "", pdf.text()))
        for name in names:
            for word in unicodedata.normalize("NFC", name).split():
                self.assertIn(word, text)
        fonts = subprocess.run(["pdffonts", out], check=True, capture_output=True,
                               text=True).stdout.splitlines()[2:]
        self.assertGreaterEqual(len(fonts), 3)  # DejaVu Sans, its bold, a CJK font
        for font in fonts:
            self.assertRegex(font, r"CID TrueType\s+Identity-H\s+yes yes yes", font)
        warnings = subprocess.run(["pdftotext", out, os.devnull], capture_output=True,
                                  text=True).stderr
        self.assertEqual(warnings, "")

    def test_unreadable_archive_leaves_the_output_alone(self):
        out = self.path("prima.pdf")
        with open(out, "wb") as f:
            f.write(b"contenuto precedente")
        for bad in ("bad-truncated.xls", "bad-random.xls", "non-esiste.xls"):
            with self.subTest(bad=bad):
                done = subprocess.run([TOOL, "elenco", os.path.join(FIXTURES, bad), out],
                                      capture_output=True, text=True,
                                      env=dict(os.environ, QT_QPA_PLATFORM="offscreen"))
                self.assertEqual(done.returncode, 2)
                self.assertTrue(done.stderr.strip())
                with open(out, "rb") as f:
                    self.assertEqual(f.read(), b"contenuto precedente")
        self.assertEqual(sorted(os.listdir(self.dir.name)), ["prima.pdf"])

    def test_a_tool_without_its_list_program_says_so(self):
        # The tool copied alone into a folder: "elenco" cannot find clivara-elenco beside it.
        alone = self.path("clivara-archivio")
        shutil.copy(TOOL, alone)
        subprocess.run([alone, "sample", self.path("prova.xls")], check=True)
        done = subprocess.run([alone, "elenco", self.path("prova.xls"), self.path("elenco.pdf")],
                              capture_output=True, text=True)
        self.assertEqual(done.returncode, 2)
        self.assertIn("clivara-elenco", done.stderr)
        self.assertFalse(os.path.exists(self.path("elenco.pdf")))


if __name__ == "__main__":
    TOOL, FIXTURES = sys.argv[1], sys.argv[2]
    unittest.main(argv=sys.argv[:1], verbosity=2)
