// Where "Cerca Cliente..." opens beside the real Form1, on the screens an office has, with a
// window manager's frame around both windows: always wholly on screen; where the screen has
// room, over none of the thirteen fields.
#include <QtTest>
#include <vector>

#include "window/fake_message_boxes.h"
#include "window/form1.h"
#include "window/search_window_place.h"

class SearchWindowPlaceTest : public QObject {
    Q_OBJECT

  private Q_SLOTS:
    void placesOnEachScreen_data() {
        QTest::addColumn<QSize>("screen");
        QTest::addColumn<bool>("clearOfFields");
        QTest::addColumn<bool>("clearOfForm");
        QTest::newRow("1024x768") << QSize(1024, 768) << false << false;
        QTest::newRow("1280x1024") << QSize(1280, 1024) << true << false;
        QTest::newRow("1920x1080") << QSize(1920, 1080) << true << true;
    }

    void placesOnEachScreen() {
        QFETCH(QSize, screen);
        QFETCH(bool, clearOfFields);
        QFETCH(bool, clearOfForm);
        FakeMessageBoxes boxes;
        Form1 form(boxes, "Archivio.xls");
        form.show();
        const QMargins frame(4, 28, 4, 4);  // a common title bar and border
        const QSize extra(8, 32);
        const QSize formSize = form.size() + extra;
        const QRect available(QPoint(0, 0), screen);
        const QRect formFrame(QPoint((screen.width() - formSize.width()) / 2,
                                     (screen.height() - formSize.height()) / 2),
                              formSize);
        std::vector<QRect> fields;
        for (int n = 1; n <= 13; ++n) {
            const QWidget* field = form.control(QStringLiteral("text") + QString::number(n));
            QVERIFY(field != nullptr);
            fields.emplace_back(formFrame.topLeft() + QPoint(frame.left(), frame.top()) +
                                    field->mapTo(&form, QPoint(0, 0)),
                                field->size());
        }
        const QSize preferred = QSize(620, 380) + extra;
        const QRect place =
            searchWindowPlace(available, formFrame, fields, preferred, QSize(340, 220) + extra);

        QVERIFY2(available.contains(place), qPrintable(QStringLiteral("%1,%2 %3x%4")
                                                           .arg(place.x())
                                                           .arg(place.y())
                                                           .arg(place.width())
                                                           .arg(place.height())));
        int covered = 0;
        for (std::size_t n = 0; n < fields.size(); ++n) {
            if (place.intersects(fields[n])) ++covered;
            // Name, ID, date and address of the customer it loads always stay in sight.
            if (n < 4) QVERIFY2(!place.intersects(fields[n]), qPrintable(QString::number(n + 1)));
        }
        if (clearOfFields) QCOMPARE(covered, 0);
        if (clearOfForm) {
            QVERIFY(!place.intersects(formFrame));
            QCOMPARE(place.size(), preferred);
        }
        QVERIFY(place.width() >= 340 && place.height() >= 220);
    }
};

QTEST_MAIN(SearchWindowPlaceTest)
#include "search_window_place_test.moc"
