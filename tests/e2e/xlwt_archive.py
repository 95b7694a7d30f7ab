"""Archives for the end-to-end tests, written by python3-xlwt as the office's other programs
would leave them: the headings in row 1, then the customers (dates as dates, numbers as
numbers, texts that look like numbers as texts, empty cells left out), the counter in Codici.

Run as a script it writes the archive of the search tests: two "Rossi Mario" in different
towns, and a third customer whose telephone differs from the second Rossi's in its last
digit only.  Usage: xlwt_archive.py OUT.xls
"""
import datetime
import sys

import xlwt

HEADINGS = ["Ragione Sociale", "ID", "Data", "Indirizzo", "C.A.P.", "Località", "(PR)",
            "Telefono", "Cellullare", "Codice Fiscale", "Partita IVA", "Note", "Note 2"]

ROSSI_CUSTOMERS = [
    ("Bar Centrale Da Gino", 1, datetime.date(2007, 11, 5), "Via Manzoni 3", "20121", "Milano",
     "MI", "02 8646 1234", 3351234567, "", "45678912340", "", ""),
    ("Ferrari Impianti Srl", 2, datetime.date(2007, 12, 10), "Via Moroni 18", "24122",
     "Bergamo", "BG", "035 24 11 90", "", "", "03124560165", "Fatture trimestrali", ""),
    ("Rossi Mario", 3, datetime.date(2008, 1, 21), "Via Roma 1", "24020", "Gorle", "BG",
     "035 66 12 34", 3401112222, "RSSMRA70A01E704C", "", "Cliente storico", ""),
    ("Rossi Mario", 4, datetime.date(2008, 3, 3), "Via Milano 44", "22063", "Cantù", "CO",
     "031 26 45 78", 3389990000, "RSSMRA58L22B639A", "22392272825", "", "Secondo negozio"),
    ("Verdi Lucia", 6, datetime.date(2008, 5, 19), "Via Dante 7", "22100", "Como", "CO",
     "031 264 579", "", "VRDLCU81M52C933V", "", "", ""),
]


def write_archive(path, customers, counter, more=None):
    """Writes the archive; more(book, clienti), when given, adds what a test needs besides
    (other sheets, cells right of column M) before the file is saved."""
    book = xlwt.Workbook(encoding="utf-8")
    clienti = book.add_sheet("Clienti")
    codici = book.add_sheet("Codici")
    date = xlwt.easyxf(num_format_str="dd/mm/yyyy")
    for column, text in enumerate(HEADINGS):
        clienti.write(0, column, text)
    for row, values in enumerate(customers, start=1):
        for column, value in enumerate(values):
            if isinstance(value, datetime.date):
                clienti.write(row, column, value, date)
            elif value != "":
                clienti.write(row, column, value)
    codici.write(0, 0, "Ultimo codice")
    codici.write(1, 0, counter)
    if more is not None:
        more(book, clienti)
    book.save(path)


if __name__ == "__main__":
    write_archive(sys.argv[1], ROSSI_CUSTOMERS, 6)
