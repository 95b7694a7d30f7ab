// The customer list on a real Form1 (offscreen): choosing an entry loads its row, the k-th of
// equal names loads the k-th row, typing reloads the list, and the three fills differ where
// column A has gaps.
#include <QLineEdit>

#include "archive_on_disk.h"

namespace {

QStringList row(const QString& name, const QString& id) {
    QStringList cells{name, id};
    for (int column = 3; column <= 13; ++column) {
        cells << QStringLiteral("%1-%2").arg(id).arg(column);
    }
    return cells;
}

// What a user's choice does: the entry becomes current, then the box reports it chosen.
void choose(Form1& form, int index) {
    form.Combo1->setCurrentIndex(index);
    Q_EMIT form.Combo1->activated(index);
}

QStringList fields(const Form1& form) {
    QStringList out;
    for (int n = 1; n <= 13; ++n) {
        out << form.fieldText(n);
    }
    return out;
}

}  // namespace

class CustomerListTest : public QObject {
    Q_OBJECT

  private Q_SLOTS:
    void choosingAnEntryLoadsItsRow() {
        QStringList sparse{"Beta", "8", "", "Via Roma 1"};  // C and E..M empty
        OpenWindow w({{}, {row("Alfa", "7"), sparse, row("Gamma", "9")}});
        QCOMPARE(w.list(), (QStringList{"Alfa", "Beta", "Gamma"}));

        // Arrow keys on the closed box choose the entries one after the other.
        w.form->Combo1->setFocus();
        QTest::keyClick(w.form->Combo1, Qt::Key_Down);
        QCOMPARE(w.form->comboText(), QStringLiteral("Alfa"));
        QCOMPARE(fields(*w.form), row("Alfa", "7"));

        QTest::keyClick(w.form->Combo1, Qt::Key_Down);
        QStringList expected = sparse;
        while (expected.size() < 13) {
            expected << QString();
        }
        QCOMPARE(fields(*w.form), expected);  // empty cells blank what Alfa left
        QCOMPARE(w.list(), (QStringList{"Alfa", "Beta", "Gamma"}));
        QCOMPARE(w.form->activeSheet, QStringLiteral("Clienti"));
        QVERIFY(w.boxes.shown.empty());
    }

    void kthOfEqualNamesLoadsKthRow() {
        OpenWindow w(
            {{}, {row("Rossi", "1"), row("Rossi", "2"), row("Bianchi", "3"), row("Rossi", "4")}});
        for (const auto& [index, id] :
             std::vector<std::pair<int, QString>>{{3, "4"}, {1, "2"}, {0, "1"}, {2, "3"}}) {
            choose(*w.form, index);
            QCOMPARE(w.form->fieldText(2), id);
        }
        // After a rebuild the heading comes first; the equal names still map in order.
        w.form->ReloadCustomerList();
        QCOMPARE(w.list(), (QStringList{kHeading, "Rossi", "Rossi", "Bianchi", "Rossi"}));
        choose(*w.form, 4);
        QCOMPARE(w.form->fieldText(2), QStringLiteral("4"));
        choose(*w.form, 0);
        QCOMPARE(w.form->fieldText(1), kHeading);  // the heading row loads too
    }

    void typingInTheBoxReloadsTheList() {
        OpenWindow w({{"Alfa", "Beta", "", "Delta"}});
        QCOMPARE(w.list(), (QStringList{"Alfa", "Beta"}));
        QTest::keyClick(w.form->Combo1->lineEdit(), Qt::Key_X);
        QCOMPARE(w.form->comboText(), QString());
        QCOMPARE(w.list(), (QStringList{kHeading, "Alfa", "Beta"}));
    }

    void fillsDifferAtGaps() {
        // A1 filled, A2 empty, one more name further down.
        OpenWindow w({{"", "", "Zeta"}});
        QCOMPARE(w.list(), QStringList{});
        w.form->Combo1_Change();
        QCOMPARE(w.list(), QStringList{kHeading});
        w.form->ReloadCustomerList();
        QCOMPARE(w.list(), (QStringList{kHeading, "Zeta"}));

        // FillCustomerList appends to what is there, blanks every field and the box.
        w.form->setFieldText(2, QStringLiteral("99"));
        w.form->Text4->setFocus();
        w.form->FillCustomerList();
        QCOMPARE(fields(*w.form), QStringList(QList<QString>(13)));
        QCOMPARE(w.list(), (QStringList{kHeading, "Zeta", kHeading, "Zeta"}));
        QVERIFY(w.form->Text1->hasFocus());
    }

    void emptyHeadingLimitsTheRebuiltList() {
        // A1 empty and customers in A2:A4: the range from A1 ends at A2.
        ArchiveContent content{{"Alfa", "Beta", "Gamma"}};
        content.emptyHeading = true;
        OpenWindow w(content);
        QCOMPARE(w.list(), (QStringList{"Alfa", "Beta", "Gamma"}));
        w.form->ReloadCustomerList();
        QCOMPARE(w.list(), QStringList{"Alfa"});
        w.form->Combo1_Change();
        QCOMPARE(w.list(), QStringList{});
    }
};

QTEST_MAIN(CustomerListTest)
#include "customer_list_test.moc"
