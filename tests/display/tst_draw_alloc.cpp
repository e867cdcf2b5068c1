// Draw must not allocate: every drawing resource is made once at Attach. This executable
// counts calls of the global operator new around each Draw (a copy of a QImage, a detach or a
// temporary container all go through it), and prints what a Draw costs.
#include <QtTest>

#include "alloc_counter.h"
#include "lamp_display.h"
#include "panel_widget.h"
#include "segment_display.h"

using alloc_counter::CountAllocations;

class TestDrawAlloc : public QObject {
    Q_OBJECT
private slots:
    void countingWorks();
    void drawAllocatesNothing_data();
    void drawAllocatesNothing();
    void drawCost();
};

// The counter itself sees a QImage detach, so a zero below means something.
void TestDrawAlloc::countingWorks() {
    QImage image(8, 8, QImage::Format_RGB32);
    const QImage shared = image;
    QVERIFY(CountAllocations([&] { image.bits(); }) > 0);
}

void TestDrawAlloc::drawAllocatesNothing_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("five cells") << QByteArray("    0");
    QTest::newRow("decimal point") << QByteArray(" -12.5");
    QTest::newRow("clipped at the panel's edge") << QByteArray("123456789012.");
    QTest::newRow("empty") << QByteArray("");
}

// The panel is not shown, so its repaint does nothing and only Draw's own work is counted.
void TestDrawAlloc::drawAllocatesNothing() {
    QFETCH(QByteArray, text);
    PanelWidget panel;
    CSegmentDisplay readout;
    CLampDisplay lamps;
    readout.Attach(&panel);
    lamps.Attach(&panel);
    const char* t = text.constData();
    QCOMPARE(CountAllocations([&] {
                 for (int row = 0; row < 3; ++row) {
                     readout.m_nRow = row;
                     readout.Draw(73, 34, t);
                 }
             }),
             0L);
    QCOMPARE(CountAllocations([&] {
                 for (int state = 0; state < 4; ++state)
                     lamps.Draw(4, 143, state);
             }),
             0L);
    QVERIFY(panel.image().pixel(150, 60) != 0); // something was drawn at all
}

void TestDrawAlloc::drawCost() {
    PanelWidget panel;
    CSegmentDisplay readout;
    CLampDisplay lamps;
    readout.Attach(&panel);
    lamps.Attach(&panel);
    QBENCHMARK {
        readout.Draw(73, 34, "  12.3");
        lamps.Draw(4, 149, LAMP_ON);
    }
}

QTEST_MAIN(TestDrawAlloc)
#include "tst_draw_alloc.moc"
