// The termios record built for a line, from a record with every bit set, so that a flag the
// builder forgets to clear shows. A pseudo-terminal cannot show these: it forces 8 data bits and
// no parity on whatever it is given.
#include <QtTest>

#include <cstring>

#include "line_settings.h"

class TestLineSettings : public QObject {
    Q_OBJECT

private slots:
    void framing_data();
    void framing();
    void refused_data();
    void refused();
};

namespace {

termios DirtyLine() {
    termios tio;
    std::memset(&tio, 0xFF, sizeof tio);
    cfsetispeed(&tio, B4800);
    cfsetospeed(&tio, B4800);
    return tio;
}

} // namespace

void TestLineSettings::framing_data() {
    QTest::addColumn<int>("dataBits");
    QTest::addColumn<int>("parity");
    QTest::addColumn<int>("stopBits");
    QTest::addColumn<uint>("size");
    QTest::addColumn<bool>("parityOn");
    QTest::addColumn<bool>("odd");
    QTest::addColumn<bool>("twoStops");

    QTest::newRow("8N1") << 8 << 0 << 0 << uint(CS8) << false << false << false;
    QTest::newRow("7N1") << 7 << 0 << 0 << uint(CS7) << false << false << false;
    QTest::newRow("8O1") << 8 << 1 << 0 << uint(CS8) << true << true << false;
    QTest::newRow("8E1") << 8 << 2 << 0 << uint(CS8) << true << false << false;
    QTest::newRow("7E2") << 7 << 2 << 2 << uint(CS7) << true << false << true;
    QTest::newRow("8N2") << 8 << 0 << 2 << uint(CS8) << false << false << true;
}

void TestLineSettings::framing() {
    QFETCH(int, dataBits);
    QFETCH(int, parity);
    QFETCH(int, stopBits);
    QFETCH(uint, size);
    QFETCH(bool, parityOn);
    QFETCH(bool, odd);
    QFETCH(bool, twoStops);

    termios tio = DirtyLine();
    QVERIFY(MakeRawLine(tio, uint8_t(dataBits), uint8_t(parity), uint8_t(stopBits)));

    QCOMPARE(uint(tio.c_cflag & CSIZE), size);
    QCOMPARE(bool(tio.c_cflag & PARENB), parityOn);
    QCOMPARE(bool(tio.c_cflag & PARODD), odd);
    QCOMPARE(bool(tio.c_cflag & CSTOPB), twoStops);
    QCOMPARE(bool(tio.c_cflag & CMSPAR), false);
    QCOMPARE(bool(tio.c_cflag & CRTSCTS), false);
    QCOMPARE(uint(tio.c_cflag & (CLOCAL | CREAD)), uint(CLOCAL | CREAD));
    // Nothing may check, translate, mark or hold back a byte: no input, output or local processing.
    QCOMPARE(uint(tio.c_iflag), 0u);
    QCOMPARE(uint(tio.c_oflag), 0u);
    QCOMPARE(uint(tio.c_lflag), 0u);
    QCOMPARE(int(tio.c_cc[VMIN]), 0);
    QCOMPARE(int(tio.c_cc[VTIME]), 0);
    QCOMPARE(cfgetospeed(&tio), speed_t(B4800));
    QCOMPARE(cfgetispeed(&tio), speed_t(B4800));
}

void TestLineSettings::refused_data() {
    QTest::addColumn<int>("dataBits");
    QTest::addColumn<int>("parity");
    QTest::addColumn<int>("stopBits");
    QTest::newRow("6 data bits") << 6 << 0 << 0;
    QTest::newRow("9 data bits") << 9 << 0 << 0;
    QTest::newRow("mark parity") << 8 << 3 << 0;
    QTest::newRow("one and a half stops") << 8 << 0 << 1;
    QTest::newRow("stop code 3") << 8 << 0 << 3;
}

void TestLineSettings::refused() {
    QFETCH(int, dataBits);
    QFETCH(int, parity);
    QFETCH(int, stopBits);
    termios tio = DirtyLine();
    const termios before = tio;
    QVERIFY(!MakeRawLine(tio, uint8_t(dataBits), uint8_t(parity), uint8_t(stopBits)));
    QVERIFY(std::memcmp(&tio, &before, sizeof tio) == 0);
}

QTEST_APPLESS_MAIN(TestLineSettings)
#include "tst_line_settings.moc"
