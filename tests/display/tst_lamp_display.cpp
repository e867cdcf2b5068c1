// The activity lamps on a panel widget, compared with the panel built from the lamp sheet.
#include <QtTest>

#include "display_fixture.h"
#include "lamp_display.h"
#include "panel_widget.h"

class TestLampDisplay : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void draw_data();
    void draw();
    void offLeavesThePanelAsPrinted_data();
    void offLeavesThePanelAsPrinted();
    void stateOutsideTheSheetDrawsNothing_data();
    void stateOutsideTheSheetDrawsNothing();
    void drawsNothingUnlessAttached_data();
    void drawsNothingUnlessAttached();

private:
    QImage m_printed, m_sheet;
};

void TestLampDisplay::initTestCase() {
    m_printed = fixture::Load(":/orvel/panel.png");
    m_sheet = fixture::Load(":/orvel/lamps.png");
    QVERIFY(!m_printed.isNull() && !m_sheet.isNull());
}

void TestLampDisplay::draw_data() {
    QTest::addColumn<int>("state");
    QTest::addColumn<QPoint>("at");
    const char* const names[] = {"LAMP_RED", "LAMP_ON", "LAMP_OFF", "LAMP_YELLOW"};
    for (int state = 0; state < 4; ++state) {
        QTest::addRow("%s, transmit lamp", names[state]) << state << QPoint(4, 143);
        QTest::addRow("%s, receive lamp", names[state]) << state << QPoint(4, 149);
    }
    QTest::newRow("clipped at the right edge") << 1 << QPoint(250, 10);
    QTest::newRow("clipped at the top left") << 3 << QPoint(-20, -4);
    QTest::newRow("off the panel") << 1 << QPoint(264, 143);
    QTest::newRow("far off the panel") << 1 << QPoint(INT_MIN, INT_MAX);
}

// The bar of the state's cell, and nothing else: on a magenta panel every pixel outside the
// 24 x 6 rectangle stays magenta.
void TestLampDisplay::draw() {
    QFETCH(int, state);
    QFETCH(QPoint, at);
    for (const QImage& base : {m_printed, fixture::Solid(264, 162, 0xFF00FF)}) {
        PanelWidget panel;
        panel.setPicture(base);
        CLampDisplay lamps;
        lamps.Attach(&panel);
        lamps.Draw(at.x(), at.y(), state);
        QImage expected = base;
        if (at.x() != INT_MIN)
            fixture::Paste(expected, m_sheet, QRect(24 * state, 24, 24, 6), at);
        COMPARE_IMAGES(panel.image(), expected);
    }
}

void TestLampDisplay::offLeavesThePanelAsPrinted_data() {
    QTest::addColumn<int>("y");
    QTest::newRow("transmit lamp") << 143;
    QTest::newRow("receive lamp") << 149;
}

// After a bright look, LAMP_OFF brings back exactly the printed bar.
void TestLampDisplay::offLeavesThePanelAsPrinted() {
    QFETCH(int, y);
    PanelWidget panel;
    CLampDisplay lamps;
    lamps.Attach(&panel);
    lamps.Draw(4, y, LAMP_ON);
    QVERIFY(panel.image() != m_printed);
    lamps.Draw(4, y, LAMP_OFF);
    COMPARE_IMAGES(panel.image(), m_printed);
}

void TestLampDisplay::stateOutsideTheSheetDrawsNothing_data() {
    fixture::AddOutsideTheSheetRows(4);
}

void TestLampDisplay::stateOutsideTheSheetDrawsNothing() {
    QFETCH(int, value);
    PanelWidget panel;
    CLampDisplay lamps;
    lamps.Attach(&panel);
    lamps.Draw(4, 149, LAMP_YELLOW);
    const QImage before = panel.image().copy();
    lamps.Draw(4, 149, value);
    COMPARE_IMAGES(panel.image(), before);
}

void TestLampDisplay::drawsNothingUnlessAttached_data() {
    fixture::AddDetachedRows();
}

void TestLampDisplay::drawsNothingUnlessAttached() {
    QFETCH(QByteArray, steps);
    PanelWidget panel;
    CLampDisplay lamps;
    fixture::RunSteps(lamps, panel, steps);
    lamps.Draw(4, 143, LAMP_ON);
    COMPARE_IMAGES(panel.image(), m_printed);
}

QTEST_MAIN(TestLampDisplay)
#include "tst_lamp_display.moc"
