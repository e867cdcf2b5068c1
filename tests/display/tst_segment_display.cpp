// The seven-segment readout on a panel widget: each example text is compared pixel for pixel
// with a panel built independently from the digit sheet the program loads.
#include <QtTest>

#include "display_fixture.h"
#include "panel_widget.h"
#include "segment_display.h"

namespace {

// Expected cells written as one character per cell: '_' blank, '-' minus, '.' the point cell,
// a digit; a '*' after a cell lights its decimal point.
struct Cell {
    int column;
    bool point;
};
QList<Cell> ParseCells(const QByteArray& layout) {
    QList<Cell> cells;
    for (const char ch : layout) {
        if (ch == '*')
            cells.last().point = true;
        else if (ch == '_')
            cells.append({12, false});
        else if (ch == '-')
            cells.append({11, false});
        else if (ch == '.')
            cells.append({0, false});
        else
            cells.append({1 + (ch - '0'), false});
    }
    return cells;
}

// The panel after the cells were drawn at (x, y) in colour row `row`, from the sheet itself.
QImage Expected(QImage panel, const QImage& sheet, const QByteArray& layout, int row, int x, int y) {
    int left = x;
    for (const Cell& cell : ParseCells(layout)) {
        fixture::Paste(panel, sheet, QRect(24 * cell.column, 48 * row, 24, 48), QPoint(left, y));
        if (cell.point)
            fixture::Paste(panel, sheet, QRect(21, 48 * row + 43, 3, 3), QPoint(left + 21, y + 43));
        left += 24;
    }
    return panel;
}

}  // namespace

class TestSegmentDisplay : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void glyphIndex_data();
    void glyphIndex();
    void draw_data();
    void draw();
    void shorterTextLeavesTheOlderCells();
    void rowOutsideTheSheetDrawsNothing_data();
    void rowOutsideTheSheetDrawsNothing();
    void drawsNothingUnlessAttached_data();
    void drawsNothingUnlessAttached();
    void nullTextDrawsNothing();
    void surfaceIsThePanelsSize();

private:
    QImage m_printed, m_sheet;
};

void TestSegmentDisplay::initTestCase() {
    m_printed = fixture::Load(":/orvel/panel.png");
    m_sheet = fixture::Load(":/orvel/digits.png");
    QVERIFY(!m_printed.isNull() && !m_sheet.isNull());
}

void TestSegmentDisplay::glyphIndex_data() {
    QTest::addColumn<char>("ch");
    QTest::addColumn<int>("column");
    QTest::newRow("point") << '.' << 0;
    for (char d = '0'; d <= '9'; ++d)
        QTest::addRow("digit %c", d) << d << 1 + (d - '0');
    QTest::newRow("minus") << '-' << 11;
    QTest::newRow("space") << ' ' << 12;
    QTest::newRow("letter E") << 'E' << 12;
    QTest::newRow("plus") << '+' << 12;
    QTest::newRow("comma") << ',' << 12;
    QTest::newRow("NUL is no glyph") << '\0' << 12;
    QTest::newRow("byte 0xFF") << '\xFF' << 12;
    QTest::newRow("byte 0x80") << '\x80' << 12;
}

void TestSegmentDisplay::glyphIndex() {
    QFETCH(char, ch);
    QFETCH(int, column);
    QCOMPARE(CSegmentDisplay::GlyphIndex(ch), column);
}

void TestSegmentDisplay::draw_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("row");
    QTest::addColumn<QPoint>("at");
    QTest::addColumn<QByteArray>("cells");
    const QPoint pv(73, 34), sv(73, 95);
    QTest::newRow("zero over the printed cells") << QByteArray("    0") << 0 << pv << QByteArray("____0");
    QTest::newRow("point in the cell of the 2") << QByteArray("  12.3") << 0 << pv << QByteArray("__12*3");
    QTest::newRow("same text red") << QByteArray("  12.3") << 1 << sv << QByteArray("__12*3");
    QTest::newRow("same text yellow") << QByteArray("  12.3") << 2 << pv << QByteArray("__12*3");
    QTest::newRow("negative") << QByteArray(" -12.5") << 0 << pv << QByteArray("_-12*5");
    QTest::newRow("every point after a character") << QByteArray("1.2.3") << 0 << pv << QByteArray("1*2*3");
    QTest::newRow("leading point is the point cell") << QByteArray(".5") << 0 << pv << QByteArray(".5");
    QTest::newRow("point after a space") << QByteArray(" .5") << 0 << pv << QByteArray("_*5");
    QTest::newRow("two points light one") << QByteArray("1..2") << 0 << pv << QByteArray("1*2");
    QTest::newRow("unknown character is blank") << QByteArray("E") << 0 << pv << QByteArray("_");
    QTest::newRow("letters and signs") << QByteArray("A+1,") << 1 << sv << QByteArray("__1_");
    QTest::newRow("empty") << QByteArray("") << 0 << pv << QByteArray("");
    // 11 cells fit the 264-pixel surface; from x = 73 the panel shows 7 and 23 columns of an 8th.
    QTest::newRow("twelve digits clipped") << QByteArray("123456789012") << 0 << pv
                                           << QByteArray("123456789012");
    QTest::newRow("point after the last whole cell") << QByteArray("12345678901.") << 1 << QPoint(0, 95)
                                                     << QByteArray("12345678901*");
    QTest::newRow("point after a cell off the surface") << QByteArray("123456789012.") << 1 << QPoint(0, 95)
                                                        << QByteArray("12345678901");
    QTest::newRow("long text") << QByteArray(5000, '8') << 0 << QPoint(0, 0) << QByteArray(11, '8');
    QTest::newRow("clipped on the left") << QByteArray("  12.3") << 0 << QPoint(-10, 34) << QByteArray("__12*3");
    QTest::newRow("clipped at the bottom") << QByteArray("  12.3") << 1 << QPoint(73, 140)
                                           << QByteArray("__12*3");
    QTest::newRow("off the panel") << QByteArray("  12.3") << 0 << QPoint(264, 34) << QByteArray("");
    QTest::newRow("far off the panel") << QByteArray("  12.3") << 0 << QPoint(INT_MAX, INT_MIN)
                                       << QByteArray("");
}

// Drawn on the printed panel and on a plain magenta one: the magenta shows exactly the area
// copied, which the printed blank cells would hide.
void TestSegmentDisplay::draw() {
    QFETCH(QByteArray, text);
    QFETCH(int, row);
    QFETCH(QPoint, at);
    QFETCH(QByteArray, cells);
    for (const QImage& base : {m_printed, fixture::Solid(264, 162, 0xFF00FF)}) {
        PanelWidget panel;
        panel.setPicture(base);
        CSegmentDisplay readout;
        readout.Attach(&panel);
        readout.m_nRow = row;
        readout.Draw(at.x(), at.y(), text.constData());
        const QImage expected = at.x() == INT_MAX ? base : Expected(base, m_sheet, cells, row, at.x(), at.y());
        COMPARE_IMAGES(panel.image(), expected);
    }
}

// The panel keeps what Draw put there: a four-cell text leaves the fifth cell of the text before.
void TestSegmentDisplay::shorterTextLeavesTheOlderCells() {
    PanelWidget panel;
    CSegmentDisplay readout;
    readout.Attach(&panel);
    readout.Draw(73, 34, "12345");
    readout.Draw(73, 34, "6789");
    COMPARE_IMAGES(panel.image(), Expected(m_printed, m_sheet, "67895", 0, 73, 34));
}

void TestSegmentDisplay::rowOutsideTheSheetDrawsNothing_data() {
    fixture::AddOutsideTheSheetRows(3);
}

void TestSegmentDisplay::rowOutsideTheSheetDrawsNothing() {
    QFETCH(int, value);
    PanelWidget panel;
    CSegmentDisplay readout;
    readout.Attach(&panel);
    readout.m_nRow = value;
    readout.Draw(73, 34, "88888");
    COMPARE_IMAGES(panel.image(), m_printed);
    // The renderer still works with a proper row afterwards.
    readout.m_nRow = 0;
    readout.Draw(73, 34, "88888");
    COMPARE_IMAGES(panel.image(), Expected(m_printed, m_sheet, "88888", 0, 73, 34));
}

void TestSegmentDisplay::drawsNothingUnlessAttached_data() {
    fixture::AddDetachedRows();
}

void TestSegmentDisplay::drawsNothingUnlessAttached() {
    QFETCH(QByteArray, steps);
    PanelWidget panel;
    CSegmentDisplay readout;
    fixture::RunSteps(readout, panel, steps);
    readout.Draw(73, 34, "88888");
    COMPARE_IMAGES(panel.image(), m_printed);
}

void TestSegmentDisplay::nullTextDrawsNothing() {
    PanelWidget panel;
    CSegmentDisplay readout;
    readout.Attach(&panel);
    readout.Draw(73, 34, nullptr);
    COMPARE_IMAGES(panel.image(), m_printed);
}

// The surface follows the panel's client size: on a panel wider than 264 pixels the cells go on
// past x = 264, up to the panel's own edge.
void TestSegmentDisplay::surfaceIsThePanelsSize() {
    PanelWidget panel;
    const QImage wide = fixture::Solid(400, 60, 0x123456);
    panel.setPicture(wide);
    CSegmentDisplay readout;
    readout.Attach(&panel);
    readout.Draw(0, 0, "1234567890123456.7");
    COMPARE_IMAGES(panel.image(), Expected(wide, m_sheet, "1234567890123456*7", 0, 0, 0));
}

QTEST_MAIN(TestSegmentDisplay)
#include "tst_segment_display.moc"
