// The pictures as the program loads them from its resources: sizes, every fixed colour and
// pixel range, the segment layout of the digit sheet, the lamp bars, and the invariants the
// renderers rely on (the panel's printed cells and bars are the sheets' blank cells and idle bar).
#include <QtTest>

#include <QSet>

#include <optional>
#include <vector>

#include "display_fixture.h"

using fixture::Rgb;

namespace {

// Inclusive pixel range, as the layout tables are written.
QRect Px(int x0, int y0, int x1, int y1) {
    return QRect(QPoint(x0, y0), QPoint(x1, y1));
}
QRect Px(int x, int y) {
    return QRect(x, y, 1, 1);
}

// Segment shapes inside a 24 x 48 cell.
struct SegmentShape {
    char name;  // a..g, p for the decimal point
    std::vector<QRect> parts;
};
const std::vector<SegmentShape>& Segments() {
    static const std::vector<SegmentShape> shapes = {
        {'a', {Px(6, 4, 17, 4), Px(5, 5, 18, 5), Px(6, 6, 17, 6)}},
        {'g', {Px(6, 23, 17, 23), Px(5, 24, 18, 24), Px(6, 25, 17, 25)}},
        {'d', {Px(6, 42, 17, 42), Px(5, 43, 18, 43), Px(6, 44, 17, 44)}},
        {'f', {Px(3, 7, 5, 22), Px(4, 6), Px(4, 23)}},
        {'b', {Px(18, 8, 18, 22), Px(19, 7, 20, 22), Px(19, 6), Px(19, 23)}},
        {'e', {Px(3, 26, 5, 41), Px(4, 25), Px(4, 42)}},
        {'c', {Px(18, 27, 18, 41), Px(19, 26, 20, 41), Px(19, 25), Px(19, 42)}},
        {'p', {Px(21, 43, 23, 45)}},
    };
    return shapes;
}

struct RowColours {
    uint32_t lit, unlit;
};
constexpr RowColours kRows[3] = {{0x00FF00, 0x003300}, {0xFF0000, 0x330000}, {0xFFFF00, 0x333300}};
constexpr uint32_t kWindow = 0x040404;

// A cell as the layout tables describe it, in colour row `row`.
QImage ExpectedCell(const QByteArray& lit, int row) {
    QImage cell = fixture::Solid(24, 48, kWindow);
    for (const SegmentShape& s : Segments())
        for (const QRect& part : s.parts)
            for (int y = part.top(); y <= part.bottom(); ++y)
                for (int x = part.left(); x <= part.right(); ++x)
                    cell.setPixel(x, y, Rgb(lit.contains(s.name) ? kRows[row].lit : kRows[row].unlit));
    return cell;
}

int CountColour(const QImage& image, const QRect& area, QRgb colour) {
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            n += image.pixel(x, y) == colour;
    return n;
}

}  // namespace

class TestArtwork : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void sizes_data();
    void sizes();
    void panelFrame();
    void lettering_data();
    void lettering();
    void digitCells_data();
    void digitCells();
    void lampBars_data();
    void lampBars();
    void invariants_data();
    void invariants();
    void sheetBackgroundIsTheWindow();
    void logo();
    void icon_data();
    void icon();

private:
    QImage m_panel, m_digits, m_lamps;
};

void TestArtwork::initTestCase() {
    m_panel = fixture::Load(":/orvel/panel.png");
    m_digits = fixture::Load(":/orvel/digits.png");
    m_lamps = fixture::Load(":/orvel/lamps.png");
    QVERIFY(!m_panel.isNull() && !m_digits.isNull() && !m_lamps.isNull());
}

void TestArtwork::sizes_data() {
    QTest::addColumn<QString>("resource");
    QTest::addColumn<QSize>("size");
    QTest::newRow("panel") << ":/orvel/panel.png" << QSize(264, 162);
    QTest::newRow("digits") << ":/orvel/digits.png" << QSize(312, 144);
    QTest::newRow("lamps") << ":/orvel/lamps.png" << QSize(96, 30);
    QTest::newRow("logo") << ":/orvel/logo.png" << QSize(95, 30);
    QTest::newRow("icon32") << ":/orvel/icon32.png" << QSize(32, 32);
    QTest::newRow("icon16") << ":/orvel/icon16.png" << QSize(16, 16);
}

void TestArtwork::sizes() {
    QFETCH(QString, resource);
    QFETCH(QSize, size);
    const QImage image(resource);
    QVERIFY2(!image.isNull(), qPrintable(resource));
    QCOMPARE(image.size(), size);
}

// Every pixel of the panel outside the lettering, the readout cells and the lamp bars has the
// colour of the frame table; those areas are checked by the tests below.
void TestArtwork::panelFrame() {
    struct Fill {
        QRect area;
        uint32_t rgb;
    };
    // Later fills lie over earlier ones; where the two bevels meet at (262, 1) the white wins.
    const Fill frame[] = {
        {Px(1, 1, 30, 160), 0xC0C0C0},    // grey strip
        {Px(0, 0, 0, 161), 0x868686},     // its outline
        {Px(0, 0, 262, 0), 0x868686},
        {Px(0, 161, 32, 161), 0x868686},
        {Px(31, 0, 32, 161), 0x868686},   // upper and left bevel of the display window
        {Px(31, 0, 262, 1), 0x868686},
        {Px(263, 0, 263, 161), 0xFFFFFF}, // lower and right bevel
        {Px(262, 1, 262, 161), 0xFFFFFF},
        {Px(33, 160, 263, 161), 0xFFFFFF},
        {Px(33, 2, 261, 159), kWindow},   // display window
    };
    QImage expected = fixture::Solid(264, 162, 0xFF00FF);  // any pixel left magenta is unlisted
    for (const Fill& f : frame)
        fixture::Paste(expected, fixture::Solid(f.area.width(), f.area.height(), f.rgb), QRect(QPoint(), f.area.size()),
              f.area.topLeft());
    const QRect checkedElsewhere[] = {
        Px(40, 9, 231, 20),   Px(45, 42, 65, 53),   Px(45, 104, 65, 115), Px(200, 38, 215, 53),
        Px(200, 99, 215, 114), Px(6, 132, 24, 141), Px(73, 34, 192, 81),  Px(73, 95, 192, 142),
        Px(4, 143, 27, 154),
    };
    for (const QRect& area : checkedElsewhere)
        fixture::Paste(expected, m_panel, area, area.topLeft());
    COMPARE_IMAGES(m_panel, expected);
}

void TestArtwork::lettering_data() {
    QTest::addColumn<QRect>("area");
    QTest::addColumn<uint>("background");
    QTest::addColumn<uint>("ink");
    QTest::addColumn<int>("shadow");  // colour of a one-pixel shadow to the lower right, -1 for none
    QTest::addColumn<bool>("fullHeight");
    QTest::newRow("title") << Px(40, 9, 231, 20) << 0x040404u << 0xFFFFFFu << -1 << true;
    QTest::newRow("PV") << Px(45, 42, 65, 53) << 0x040404u << 0x008000u << -1 << false;
    QTest::newRow("SV") << Px(45, 104, 65, 115) << 0x040404u << 0x008000u << -1 << false;
    QTest::newRow("PV unit") << Px(200, 38, 215, 53) << 0x040404u << 0xFFFF00u << -1 << false;
    QTest::newRow("SV unit") << Px(200, 99, 215, 114) << 0x040404u << 0xFFFF00u << -1 << false;
    QTest::newRow("Act") << Px(6, 132, 24, 141) << 0xC0C0C0u << 0xFFFFFFu << 0x040404 << false;
}

void TestArtwork::lettering() {
    QFETCH(QRect, area);
    QFETCH(uint, background);
    QFETCH(uint, ink);
    QFETCH(int, shadow);
    QFETCH(bool, fullHeight);
    int inkTop = INT_MAX, inkBottom = INT_MIN;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            const QRgb p = m_panel.pixel(x, y);
            const QByteArray where = QByteArray::number(x) + ", " + QByteArray::number(y);
            if (p == Rgb(ink)) {
                inkTop = std::min(inkTop, y);
                inkBottom = std::max(inkBottom, y);
                if (shadow >= 0) {
                    // The shadow falls to the lower right of every letter pixel, inside the area.
                    QVERIFY2(area.contains(x + 1, y + 1), where.constData());
                    const QRgb below = m_panel.pixel(x + 1, y + 1);
                    QVERIFY2(below == Rgb(ink) || below == Rgb(uint32_t(shadow)), where.constData());
                }
            } else if (shadow >= 0 && p == Rgb(uint32_t(shadow))) {
                QVERIFY2(m_panel.pixel(x - 1, y - 1) == Rgb(ink), where.constData());
            } else {
                QVERIFY2(p == Rgb(background), where.constData());
            }
        }
    }
    // Enough ink for letters, not a stray pixel or two.
    QVERIFY(CountColour(m_panel, area, Rgb(ink)) >= 40);
    if (fullHeight) {
        QCOMPARE(inkTop, area.top());
        QCOMPARE(inkBottom, area.bottom());
    }
}

void TestArtwork::digitCells_data() {
    QTest::addColumn<int>("column");
    QTest::addColumn<QByteArray>("lit");
    QTest::newRow("point") << 0 << QByteArray("p");
    QTest::newRow("0") << 1 << QByteArray("abcdef");
    QTest::newRow("1") << 2 << QByteArray("bc");
    QTest::newRow("2") << 3 << QByteArray("abdeg");
    QTest::newRow("3") << 4 << QByteArray("abcdg");
    QTest::newRow("4") << 5 << QByteArray("bcfg");
    QTest::newRow("5") << 6 << QByteArray("acdfg");
    QTest::newRow("6") << 7 << QByteArray("acdefg");
    QTest::newRow("7") << 8 << QByteArray("abcf");
    QTest::newRow("8") << 9 << QByteArray("abcdefg");
    QTest::newRow("9") << 10 << QByteArray("abcdfg");
    QTest::newRow("minus") << 11 << QByteArray("g");
    QTest::newRow("blank") << 12 << QByteArray("");
}

// Each column in each colour row, pixel for pixel: the glyph order, the segment layout, the
// decimal point at (21, 43) lit only in the point column, the background everywhere else.
void TestArtwork::digitCells() {
    QFETCH(int, column);
    QFETCH(QByteArray, lit);
    for (int row = 0; row < 3; ++row) {
        const QImage cell = m_digits.copy(24 * column, 48 * row, 24, 48);
        const QByteArray context = "row " + QByteArray::number(row);
        const QByteArray difference = fixture::Difference(cell, ExpectedCell(lit, row));
        QVERIFY2(difference.isEmpty(), (context + ": " + difference).constData());
    }
}

void TestArtwork::lampBars_data() {
    QTest::addColumn<int>("state");
    // body, light, shade, frame, frame-dark, tint, white
    QTest::addColumn<QList<uint>>("colours");
    QTest::newRow("LAMP_RED") << 0
                              << QList<uint>{0xFF0000, 0xFF6666, 0xCC0000, 0x993333, 0x663333, 0xEFD6C6, 0xFFFFFF};
    QTest::newRow("LAMP_ON") << 1
                             << QList<uint>{0x00FF00, 0x99FF00, 0x66CC00, 0x006600, 0x003300, 0xCCFFFF, 0xFFFFFF};
    QTest::newRow("LAMP_OFF") << 2
                              << QList<uint>{0x008000, 0x009900, 0x006600, 0x040404, 0x040404, 0xFFFFFF, 0xFFFFFF};
    QTest::newRow("LAMP_YELLOW")
        << 3 << QList<uint>{0xFFFF00, 0xFFFF99, 0xFFCC00, 0x666600, 0x003300, 0xFFFFCC, 0xFFFFFF};
}

// The bar in rows 24..29 of the state's cell, and a lamp picture above it in the same colours.
void TestArtwork::lampBars() {
    QFETCH(int, state);
    QFETCH(QList<uint>, colours);
    // B body, L light, S shade, F frame, D frame-dark, T tint, W white.
    static const char* const kBar[6] = {
        "DDDFFFFFFFFFFFFFFFFFDDDW", "DLLLLLLLLLLLLLLLLLLLLLSW", "FLBBBBBBBBBBBBBBBBBBBBSW",
        "DLBBBBBBBBBBBBBBBBBBBBSW", "DSSSSSSSSSSSSSSSSSSSSSSW", "WWWWWTTTTTTTTTTTTTTWWWWW",
    };
    const QByteArray keys = "BLSFDTW";
    QImage expected(24, 6, QImage::Format_RGB32);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 24; ++x)
            expected.setPixel(x, y, Rgb(colours[keys.indexOf(kBar[y][x])]));
    COMPARE_IMAGES(m_lamps.copy(24 * state, 24, 24, 6), expected);

    QSet<QRgb> palette;
    for (uint c : colours)
        palette.insert(Rgb(c));
    for (int y = 0; y < 24; ++y)
        for (int x = 24 * state; x < 24 * state + 24; ++x)
            QVERIFY2(palette.contains(m_lamps.pixel(x, y)), qPrintable(QStringLiteral("(%1, %2)").arg(x).arg(y)));
    QVERIFY(CountColour(m_lamps, QRect(24 * state, 0, 24, 24), Rgb(colours[0])) >= 50);
}

void TestArtwork::invariants_data() {
    QTest::addColumn<QString>("sheet");
    QTest::addColumn<QRect>("from");
    QTest::addColumn<QPoint>("at");
    for (int cell = 0; cell < 5; ++cell) {
        const int x = 73 + 24 * cell;
        QTest::addRow("PV cell %d is the green blank", cell) << ":/orvel/digits.png" << QRect(288, 0, 24, 48)
                                                             << QPoint(x, 34);
        QTest::addRow("SV cell %d is the red blank", cell) << ":/orvel/digits.png" << QRect(288, 48, 24, 48)
                                                           << QPoint(x, 95);
    }
    QTest::newRow("transmit bar is LAMP_OFF") << ":/orvel/lamps.png" << QRect(48, 24, 24, 6) << QPoint(4, 143);
    QTest::newRow("receive bar is LAMP_OFF") << ":/orvel/lamps.png" << QRect(48, 24, 24, 6) << QPoint(4, 149);
}

void TestArtwork::invariants() {
    QFETCH(QString, sheet);
    QFETCH(QRect, from);
    QFETCH(QPoint, at);
    const QImage source = fixture::Load(qPrintable(sheet));
    COMPARE_IMAGES(m_panel.copy(QRect(at, from.size())), source.copy(from));
}

void TestArtwork::sheetBackgroundIsTheWindow() {
    QCOMPARE(m_digits.pixel(0, 0), Rgb(kWindow));
    QCOMPARE(m_panel.pixel(250, 150), m_digits.pixel(0, 0));
}

void TestArtwork::logo() {
    const QImage logo = fixture::Load(":/orvel/logo.png");
    const QSet<QRgb> allowed = {Rgb(0xFFFFFF), Rgb(0xFF6633), Rgb(0xFF9933), Rgb(0xFF9966), Rgb(0xFFCC99),
                                Rgb(0xFFCC66), Rgb(0xEFD6C6), Rgb(0xE7E7D6), Rgb(0xFFFBF0), Rgb(0xEAEAEA)};
    QHash<QRgb, int> counts;
    for (int y = 0; y < logo.height(); ++y)
        for (int x = 0; x < logo.width(); ++x) {
            QVERIFY2(allowed.contains(logo.pixel(x, y)), qPrintable(QStringLiteral("(%1, %2)").arg(x).arg(y)));
            ++counts[logo.pixel(x, y)];
        }
    // Orange on white: white around it, and the main orange the most used of the other colours.
    for (const QPoint corner : {QPoint(0, 0), QPoint(94, 0), QPoint(0, 29), QPoint(94, 29)})
        QCOMPARE(logo.pixel(corner), Rgb(0xFFFFFF));
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        if (it.key() != Rgb(0xFFFFFF) && it.key() != Rgb(0xFF6633))
            QVERIFY(counts.value(Rgb(0xFF6633)) > it.value());
}

void TestArtwork::icon_data() {
    QTest::addColumn<QString>("resource");
    QTest::addColumn<int>("size");
    QTest::newRow("32") << ":/orvel/icon32.png" << 32;
    QTest::newRow("16") << ":/orvel/icon16.png" << 16;
}

// One yellow shape, not a plain rectangle, on a transparent background.
void TestArtwork::icon() {
    QFETCH(QString, resource);
    QFETCH(int, size);
    const QImage icon = QImage(resource).convertToFormat(QImage::Format_ARGB32);
    QVERIFY(icon.hasAlphaChannel());
    QList<QPoint> yellow;
    QRect bounds;
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            const QRgb p = icon.pixel(x, y);
            if (qAlpha(p) == 0)
                continue;
            QCOMPARE(p, Rgb(0xFFFF00));
            yellow.append(QPoint(x, y));
            bounds |= QRect(x, y, 1, 1);
        }
    for (const QPoint corner : {QPoint(0, 0), QPoint(size - 1, 0), QPoint(0, size - 1), QPoint(size - 1, size - 1)})
        QCOMPARE(qAlpha(icon.pixel(corner)), 0);
    QVERIFY(yellow.size() >= size * size / 8);
    QVERIFY(yellow.size() < bounds.width() * bounds.height());
    // One piece: a flood fill from the first yellow pixel reaches them all.
    QSet<quint64> seen;
    const auto key = [](QPoint p) { return (quint64(quint32(p.x())) << 32) | quint32(p.y()); };
    QList<QPoint> todo{yellow.first()};
    seen.insert(key(yellow.first()));
    while (!todo.isEmpty()) {
        const QPoint p = todo.takeLast();
        for (const QPoint step : {QPoint(1, 0), QPoint(-1, 0), QPoint(0, 1), QPoint(0, -1)}) {
            const QPoint q = p + step;
            if (icon.rect().contains(q) && qAlpha(icon.pixel(q)) != 0 && !seen.contains(key(q))) {
                seen.insert(key(q));
                todo.append(q);
            }
        }
    }
    QCOMPARE(seen.size(), yellow.size());
}

QTEST_GUILESS_MAIN(TestArtwork)
#include "tst_artwork.moc"
