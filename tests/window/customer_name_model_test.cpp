// The model behind the customer box: the box's own item calls edit the one block of names,
// batches fill the list without disturbing what it shows, and equal names are counted.
#include <QComboBox>
#include <QtTest>
#include <string>

#include "window/customer_name_model.h"

namespace {

QStringList entries(const QComboBox& box) {
    QStringList out;
    for (int i = 0; i < box.count(); ++i) {
        out << box.itemText(i);
    }
    return out;
}

}  // namespace

class CustomerNameModelTest : public QObject {
    Q_OBJECT

  private Q_SLOTS:
    void boxItemCallsEditTheBlock() {
        QComboBox box;
        box.setEditable(true);
        auto* model = new CustomerNameModel(&box);
        box.setModel(model);
        box.addItem(QStringLiteral("Città di Castello"));
        box.addItem(QStringLiteral("Rossi"));
        box.addItem(QString());
        box.addItem(QStringLiteral("Verdi"));
        box.insertItem(1, QStringLiteral("Bianchi"));
        QCOMPARE(entries(box), (QStringList{"Città di Castello", "Bianchi", "Rossi", "", "Verdi"}));

        // A longer and then a shorter text in the middle move what follows.
        box.setItemText(1, QStringLiteral("Bianchi & Figli S.n.c."));
        box.setItemText(2, QStringLiteral("R"));
        box.removeItem(3);
        QCOMPARE(entries(box),
                 (QStringList{"Città di Castello", "Bianchi & Figli S.n.c.", "R", "Verdi"}));
        QCOMPARE(model->utf8Text(0), std::string_view("Citt\xC3\xA0 di Castello"));
        QCOMPARE(model->utf8Text(3), std::string_view("Verdi"));

        box.clear();
        QCOMPARE(box.count(), 0);
        box.addItem(QStringLiteral("Gialli"));
        QCOMPARE(entries(box), QStringList{"Gialli"});
    }

    void batchesAppendWithoutDisturbingTheList() {
        CustomerNameModel model;
        NameBlock& first = model.batch();
        first.append("Rossi");
        first.append("Bianchi");
        model.append(first);
        // The batch is handed out again, emptied; filling it leaves the entries alone.
        NameBlock& second = model.batch();
        QVERIFY(second.empty());
        second.append("Verdi");
        QCOMPARE(model.rowCount(), 2);
        QCOMPARE(model.data(model.index(1)).toString(), QStringLiteral("Bianchi"));
        model.append(second);
        QCOMPARE(model.rowCount(), 3);
        QCOMPARE(model.utf8Text(0), std::string_view("Rossi"));
        QCOMPARE(model.utf8Text(2), std::string_view("Verdi"));

        model.append(QStringList{});  // nothing arrives, nothing is signalled
        model.clear();
        QCOMPARE(model.rowCount(), 0);
        NameBlock& third = model.batch();
        third.append("Neri");
        model.append(third);
        QCOMPARE(model.rowCount(), 1);
        QCOMPARE(model.utf8Text(0), std::string_view("Neri"));
        QVERIFY(!model.data(model.index(0), Qt::UserRole).isValid());
    }

    void equalNamesAreCountedBeforeARow() {
        CustomerNameModel model;
        model.append(QStringList{"Rossi", "Bianchi", "Rossi", "rossi", "Rossi", ""});
        QCOMPARE(model.occurrencesBefore(0), 0);
        QCOMPARE(model.occurrencesBefore(2), 1);
        QCOMPARE(model.occurrencesBefore(3), 0);  // letter case counts
        QCOMPARE(model.occurrencesBefore(4), 2);
        QCOMPARE(model.occurrencesBefore(5), 0);
    }
};

QTEST_MAIN(CustomerNameModelTest)
#include "customer_name_model_test.moc"
