// The warning before "Aggiungi Cliente" and "Modifica Cliente" when another customer has the
// same Partita IVA, Codice Fiscale or Ragione Sociale: a Yes/No box with No as default; No
// changes nothing, Yes goes on to the usual question, and the fields are stored as typed.
#include "operations/archive_on_disk.h"

using clivara::archive::Sheet;

namespace {

// name, ID, Codice Fiscale, Partita IVA; the other fields stay empty.
QStringList customer(const QString& name, const QString& id, const QString& taxCode,
                     const QString& vatNumber) {
    QStringList row(13);
    row[0] = name;
    row[1] = id;
    row[9] = taxCode;
    row[10] = vatNumber;
    return row;
}

const std::vector<QStringList> kRegister = {
    customer("Farmacia San Marco", "12", "", "03344556679"),
    customer("Ottica Ricci", "6", "", "06677889906"),
    customer("Rossi Mario", "9", "RSSMRA85T10A562S", ""),
};

void type(Form1& form, const QStringList& fields) {
    for (int n = 1; n <= 13; ++n) {
        form.setFieldText(n, fields[n - 1]);
    }
}

QStringList fields(const Form1& form) {
    QStringList out;
    for (int n = 1; n <= 13; ++n) {
        out << form.fieldText(n);
    }
    return out;
}

const QString kWarning = QStringLiteral("yesno-default-no");

}  // namespace

class DuplicateQuestionTest : public QObject {
    Q_OBJECT

  private Q_SLOTS:
    void addingTheSameFirmAgainAsksFirstAndNoChangesNothing() {
        OpenWindow w({{}, kRegister});
        QVERIFY(w.loaded);
        // "Aggiungi" on the loaded customer instead of "Modifica", under another spelling.
        const QStringList typed = customer("FARMACIA SAN MARCO S.r.l.", "12", "", "03344556679");
        type(*w.form, typed);
        const auto before = w.form->ArchiveBook->toBytes();
        w.boxes.answers = {false};
        w.form->mnuA->trigger();
        QCOMPARE(w.boxes.shown.size(), 1u);
        QCOMPARE(w.boxes.shown[0].kind, kWarning);
        QCOMPARE(w.boxes.shown[0].title, kTitle);
        QCOMPARE(w.boxes.shown[0].text,
                 QStringLiteral("Esiste già un cliente con la stessa Partita IVA: «Farmacia San "
                                "Marco» (ID 12). Aggiungerlo comunque?"));
        QVERIFY(w.form->ArchiveBook->toBytes() == before);
        QCOMPARE(fields(*w.form), typed);

        // Yes: the usual question follows, and its Yes adds the customer as typed.
        w.boxes.shown.clear();
        w.boxes.answers = {true, true};
        w.form->mnuA->trigger();
        QCOMPARE(w.boxes.shown.size(), 3u);
        QCOMPARE(w.boxes.shown[0].kind, kWarning);
        QCOMPARE(w.boxes.shown[1].kind, QStringLiteral("yesno"));
        QCOMPARE(w.boxes.shown[1].text, QStringLiteral(" Vuoi Inserire questo Cliente ?"));
        QCOMPARE(w.boxes.shown[2].text, QStringLiteral("Cliente Aggiunto"));
        const Sheet& clienti = *w.form->ArchiveBook->sheet("Clienti");
        QCOMPARE(clienti.text(3, 1), std::string("FARMACIA SAN MARCO S.r.l."));
        QCOMPARE(clienti.text(3, 2), std::string("42"));
        QCOMPARE(clienti.text(2, 1), std::string("Farmacia San Marco"));

        // Yes to the warning and No to the question: nothing is added either.
        type(*w.form, typed);
        const auto twice = w.form->ArchiveBook->toBytes();
        w.boxes.shown.clear();
        w.boxes.answers = {true, false};
        w.form->mnuA->trigger();
        QCOMPARE(w.boxes.shown.size(), 2u);
        QVERIFY(w.form->ArchiveBook->toBytes() == twice);
    }

    void eachSharedFieldIsNamedStrongestFirst() {
        struct Case {
            QStringList typed;
            QString text;
        };
        const Case cases[] = {
            {customer("Rossi Mario S.n.c.", "", "", ""),
             QStringLiteral("Esiste già un cliente con la stessa Ragione Sociale: «Rossi Mario» "
                            "(ID 9). Aggiungerlo comunque?")},
            {customer("Bianchi Luca", "", "rssmra85t10a562s", ""),
             QStringLiteral("Esiste già un cliente con lo stesso Codice Fiscale: «Rossi Mario» "
                            "(ID 9). Aggiungerlo comunque?")},
            // The name is Rossi's, the partita IVA Ricci's: the partita IVA is named.
            {customer("Rossi Mario", "", "", "IT06677889906"),
             QStringLiteral("Esiste già un cliente con la stessa Partita IVA: «Ottica Ricci» "
                            "(ID 6). Aggiungerlo comunque?")},
        };
        for (const Case& c : cases) {
            OpenWindow w({{}, kRegister});
            QVERIFY(w.loaded);
            type(*w.form, c.typed);
            w.boxes.answers = {false};
            w.form->mnuA->trigger();
            QCOMPARE(w.boxes.shown.size(), 1u);
            QCOMPARE(w.boxes.shown[0].kind, kWarning);
            QCOMPARE(w.boxes.shown[0].text, c.text);
        }
        // Nothing shared, a codice fiscale that fails its check included: straight to the
        // usual question, and the texts are stored as typed.
        OpenWindow w({{}, kRegister});
        QVERIFY(w.loaded);
        type(*w.form, customer("Verdi Anna", "", "vrdnna80a41f205x", "0123"));
        w.boxes.answers = {true};
        w.form->mnuA->trigger();
        QCOMPARE(w.boxes.shown[0].kind, QStringLiteral("yesno"));
        QCOMPARE(w.boxes.shown.back().text, QStringLiteral("Cliente Aggiunto"));
        const Sheet& clienti = *w.form->ArchiveBook->sheet("Clienti");
        QCOMPARE(clienti.text(5, 1), std::string("Verdi Anna"));
        QCOMPARE(clienti.text(5, 10), std::string("VRDNNA80A41F205X"));  // the field's capitals
        QCOMPARE(clienti.text(5, 11), std::string("0123"));
    }

    void modifyingComparesWithTheOtherCustomersOnly() {
        OpenWindow w({{}, kRegister});
        QVERIFY(w.loaded);
        // The loaded customer itself, renamed: no warning.
        type(*w.form, customer("Farmacia San Marco S.r.l.", "12", "", "03344556679"));
        w.boxes.answers = {true};
        w.form->mnuM->trigger();
        QCOMPARE(w.boxes.shown[0].kind, QStringLiteral("yesno"));
        QCOMPARE(w.boxes.shown[0].text,
                 QStringLiteral("Si voler Modificare il Cliente Selezionato ?"));
        QCOMPARE(w.form->ArchiveBook->sheet("Clienti")->text(2, 1),
                 std::string("Farmacia San Marco S.r.l."));

        // Another customer's partita IVA: warned; No changes nothing.
        const QStringList typed = customer("Farmacia San Marco", "12", "", "06677889906");
        type(*w.form, typed);
        const auto before = w.form->ArchiveBook->toBytes();
        w.boxes.shown.clear();
        w.boxes.answers = {false};
        w.form->mnuM->trigger();
        QCOMPARE(w.boxes.shown.size(), 1u);
        QCOMPARE(w.boxes.shown[0].kind, kWarning);
        QCOMPARE(w.boxes.shown[0].title, kTitle);
        QCOMPARE(w.boxes.shown[0].text,
                 QStringLiteral("Esiste già un altro cliente con la stessa Partita IVA: «Ottica "
                                "Ricci» (ID 6). Salvare comunque la modifica?"));
        QVERIFY(w.form->ArchiveBook->toBytes() == before);
        QCOMPARE(fields(*w.form), typed);

        // Yes, then Yes to the usual question: the row is rewritten as typed.
        w.boxes.shown.clear();
        w.boxes.answers = {true, true};
        w.form->mnuM->trigger();
        QCOMPARE(w.boxes.shown.size(), 3u);
        QCOMPARE(w.boxes.shown[2].text, QStringLiteral("Cliente Modificato"));
        QCOMPARE(w.form->ArchiveBook->sheet("Clienti")->text(2, 11), std::string("06677889906"));

        // An ID that no row carries stores nothing: no warning before its own message.
        type(*w.form, customer("Ottica Ricci", "99", "", ""));
        w.boxes.shown.clear();
        w.boxes.answers = {true};
        w.form->mnuM->trigger();
        QCOMPARE(w.boxes.shown[0].kind, QStringLiteral("yesno"));
        QCOMPARE(w.boxes.shown.back().text,
                 QStringLiteral("Nessun cliente con questo ID: nessuna modifica eseguita."));
    }
};

QTEST_MAIN(DuplicateQuestionTest)
#include "duplicate_question_test.moc"
