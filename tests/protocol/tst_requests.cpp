// Request blocks byte for byte, the texts shown for them, the block check and the hex dump.
#include <QtTest>

#include <cstring>

#include "protocol.h"

namespace {

// A frame buffer with guard bytes on both sides, to catch any write outside it.
struct GuardedFrame {
    static constexpr unsigned char kGuard = 0xA5;
    unsigned char before[16];
    FrameBuffer buf;
    unsigned char after[16];

    GuardedFrame() {
        std::memset(before, kGuard, sizeof before);
        std::memset(buf, 0x5A, sizeof buf);
        std::memset(after, kGuard, sizeof after);
    }
    bool GuardsIntact() const {
        for (int i = 0; i < 16; ++i)
            if (before[i] != kGuard || after[i] != kGuard)
                return false;
        return true;
    }
    QByteArray Block(int length) const { return QByteArray(reinterpret_cast<const char*>(buf), length); }
};

QByteArray Hex(const char* spaced) {
    return QByteArray::fromHex(spaced);
}

} // namespace

class TestRequests : public QObject {
    Q_OBJECT

private slots:
    void calcBcc_data();
    void calcBcc();
    void pollRequest_data();
    void pollRequest();
    void typedCommand_data();
    void typedCommand();
    void bccLabel_data();
    void bccLabel();
    void hexDumpOfWorkedAnswer();
    void hexDumpRoundTripsEveryByteValue();
    void hexDumpClampsCount_data();
    void hexDumpClampsCount();
};

void TestRequests::calcBcc_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("nullData");
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("expected");

    const QByteArray poll = Hex("02 30 31 52 58 50 30 03");
    QTest::newRow("poll frame 01 PV") << poll << false << 8 << 0x6A;
    QTest::newRow("answer 16 bytes") << Hex("06 02 30 31 52 44 50 30 2D 30 31 32 33 31 03") << false << 15
                                     << 0x6C;
    QTest::newRow("single byte") << Hex("A5") << false << 1 << 0xA5;
    QTest::newRow("equal bytes cancel") << Hex("FF FF") << false << 2 << 0x00;
    QTest::newRow("length 0") << poll << false << 0 << 0;
    QTest::newRow("negative length") << poll << false << -1 << 0;
    QTest::newRow("very negative length") << poll << false << -2147483647 - 1 << 0;
    QTest::newRow("null data") << QByteArray() << true << 8 << 0;
}

void TestRequests::calcBcc() {
    QFETCH(QByteArray, bytes);
    QFETCH(bool, nullData);
    QFETCH(int, length);
    QFETCH(int, expected);
    const auto* data = nullData ? nullptr : reinterpret_cast<const unsigned char*>(bytes.constData());
    QCOMPARE(int(CalcBCC(data, length)), expected);
}

void TestRequests::pollRequest_data() {
    QTest::addColumn<int>("address");
    QTest::addColumn<int>("sv");
    QTest::addColumn<QByteArray>("block");
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("echo");

    QTest::newRow("01 PV") << 1 << 0
                           << Hex("02 30 31 52 58 50 30 03 6A 00 FF FF FF FF FF FF FF FF FF FF FF FF FF FF")
                           << "ETX,6A"
                           << "01RXP0";
    QTest::newRow("01 SV") << 1 << 1
                           << Hex("02 30 31 52 58 53 30 03 69 00 FF FF FF FF FF FF FF FF FF FF FF FF FF FF")
                           << "ETX,69"
                           << "01RXS0";
    QTest::newRow("99 PV") << 99 << 0
                           << Hex("02 39 39 52 58 50 30 03 6B 00 FF FF FF FF FF FF FF FF FF FF FF FF FF FF")
                           << "ETX,6B"
                           << "99RXP0";
    QTest::newRow("99 SV") << 99 << 1
                           << Hex("02 39 39 52 58 53 30 03 68 00 FF FF FF FF FF FF FF FF FF FF FF FF FF FF")
                           << "ETX,68"
                           << "99RXS0";
    QTest::newRow("00 PV, nothing selected")
        << 0 << 0 << Hex("02 30 30 52 58 50 30 03 6B 00 FF FF FF FF FF FF FF FF FF FF FF FF FF FF")
        << "ETX,6B"
        << "00RXP0";
    QTest::newRow("any non-zero flag asks SV")
        << 5 << -7 << Hex("02 30 35 52 58 53 30 03 6D 00 FF FF FF FF FF FF FF FF FF FF FF FF FF FF")
        << "ETX,6D"
        << "05RXS0";
}

void TestRequests::pollRequest() {
    QFETCH(int, address);
    QFETCH(int, sv);
    QFETCH(QByteArray, block);
    QFETCH(QString, label);
    QFETCH(QString, echo);

    GuardedFrame frame;
    const unsigned char bcc = BuildPollRequest(frame.buf, address, sv);
    QCOMPARE(frame.Block(POLL_BLOCK_LENGTH), block);
    QCOMPARE(frame.Block(FRAME_BUFFER_SIZE).mid(POLL_BLOCK_LENGTH),
             QByteArray(FRAME_BUFFER_SIZE - POLL_BLOCK_LENGTH, '\xFF'));
    QCOMPARE(int(bcc), int(static_cast<unsigned char>(block.at(POLL_FRAME_LENGTH - 1))));
    QVERIFY(frame.GuardsIntact());

    char labelText[BCC_LABEL_SIZE];
    FormatBccLabel(bcc, labelText);
    QCOMPARE(QString::fromLatin1(labelText), label);
    char echoText[POLL_ECHO_SIZE];
    FormatPollEcho(frame.buf, echoText);
    QCOMPARE(QString::fromLatin1(echoText), echo);
}

void TestRequests::typedCommand_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("nullText");
    QTest::addColumn<int>("frameLength"); // 0: refused, nothing to send
    QTest::addColumn<QByteArray>("block");
    QTest::addColumn<QString>("label");

    QTest::newRow("01RXP0 is the poll block")
        << QByteArray("01RXP0") << false << 9
        << Hex("02 30 31 52 58 50 30 03 6A 00 FF FF FF FF FF FF FF FF FF FF FF FF FF FF") << "ETX,6A";
    QTest::newRow("01RX short: check at 8 over filler")
        << QByteArray("01RX") << false << 9
        << Hex("02 30 31 52 58 03 20 00 2A FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF") << "ETX,2A";
    QTest::newRow("01RXP0S0 long: check at 8 over text")
        << QByteArray("01RXP0S0") << false << 9
        << Hex("02 30 31 52 58 50 30 53 3A 03 20 00 FF FF FF FF FF FF FF FF FF FF FF FF") << "ETX,3A";
    QTest::newRow("01WXS0+0250 eleven chars")
        << QByteArray("01WXS0+0250") << false << 14
        << Hex("02 30 31 57 58 53 30 2B 30 32 35 30 03 40 00 FF FF FF FF FF FF FF FF FF FF FF FF FF FF")
        << "ETX,40";
    QTest::newRow("01WX short: check at 13 over filler")
        << QByteArray("01WX") << false << 14
        << Hex("02 30 31 57 58 03 20 00 FF FF FF FF FF D0 FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF")
        << "ETX,D0";
    QTest::newRow("60 chars fill the buffer")
        << QByteArray("01RX"
                      "0123456789"
                      "0123456789"
                      "0123456789"
                      "0123456789"
                      "0123456789"
                      "ABCDEF")
        << false << 9 << Hex("02 30 31 52 58 30 31 32 3A 34 35 36 37 38 39 30 31 32 33 34 35 36 37 38")
        << "ETX,3A";

    QTest::newRow("lower case rx") << QByteArray("01rxp0") << false << 0 << QByteArray() << QString();
    QTest::newRow("mixed case Rx") << QByteArray("01RxP0") << false << 0 << QByteArray() << QString();
    QTest::newRow("lower case wx") << QByteArray("01wxS0+0250") << false << 0 << QByteArray() << QString();
    QTest::newRow("letters one place early")
        << QByteArray("0RXP0") << false << 0 << QByteArray() << QString();
    QTest::newRow("other command") << QByteArray("01XRP0") << false << 0 << QByteArray() << QString();
    QTest::newRow("three chars") << QByteArray("01R") << false << 0 << QByteArray() << QString();
    QTest::newRow("empty") << QByteArray("") << false << 0 << QByteArray() << QString();
    QTest::newRow("null") << QByteArray() << true << 0 << QByteArray() << QString();
    QTest::newRow("61 chars refused") << QByteArray("01RX"
                                                    "0123456789"
                                                    "0123456789"
                                                    "0123456789"
                                                    "0123456789"
                                                    "0123456789"
                                                    "ABCDEFG")
                                      << false << 0 << QByteArray() << QString();
    QTest::newRow("300 chars refused")
        << QByteArray("01RX").append(296, 'Z') << false << 0 << QByteArray() << QString();
}

void TestRequests::typedCommand() {
    QFETCH(QByteArray, text);
    QFETCH(bool, nullText);
    QFETCH(int, frameLength);
    QFETCH(QByteArray, block);
    QFETCH(QString, label);

    GuardedFrame frame;
    const int length = FormatTypedCommand(frame.buf, nullText ? nullptr : text.constData());
    QCOMPARE(length, frameLength);
    QVERIFY(frame.GuardsIntact());
    if (frameLength == 0)
        return;

    const unsigned char bcc = SealTypedCommand(frame.buf, length);
    QCOMPARE(RequestBlockLength(length), int(block.size()));
    QCOMPARE(frame.Block(RequestBlockLength(length)), block);
    char labelText[BCC_LABEL_SIZE];
    FormatBccLabel(bcc, labelText);
    QCOMPARE(QString::fromLatin1(labelText), label);
    QVERIFY(frame.GuardsIntact());
}

void TestRequests::bccLabel_data() {
    QTest::addColumn<int>("bcc");
    QTest::addColumn<QString>("label");
    QTest::newRow("00") << 0x00 << "ETX,00";
    QTest::newRow("leading zero") << 0x0A << "ETX,0A";
    QTest::newRow("upper case") << 0xAB << "ETX,AB";
    QTest::newRow("FF") << 0xFF << "ETX,FF";
}

void TestRequests::bccLabel() {
    QFETCH(int, bcc);
    QFETCH(QString, label);
    char text[BCC_LABEL_SIZE];
    FormatBccLabel(static_cast<unsigned char>(bcc), text);
    QCOMPARE(QString::fromLatin1(text), label);
}

void TestRequests::hexDumpOfWorkedAnswer() {
    const QByteArray answer = Hex("06 02 30 31 52 44 50 30 2D 30 31 32 33 31 03 6C");
    char text[DUMP_TEXT_SIZE];
    const int length =
        FormatHexDump(reinterpret_cast<const unsigned char*>(answer.constData()), int(answer.size()), text);
    QCOMPARE(QByteArray(text), QByteArray("06 02 30 31 52 44 50 30 2D 30 31 32 33 31 03 6C "));
    QCOMPARE(length, 48);
}

// Every byte value, in dump-sized pieces: the text parses back to the same bytes and has the
// shape "XX " per byte with upper-case digits.
void TestRequests::hexDumpRoundTripsEveryByteValue() {
    unsigned char all[256];
    for (int i = 0; i < 256; ++i)
        all[i] = static_cast<unsigned char>(i);
    for (int start = 0; start < 256; start += ANSWER_READ_MAX) {
        const int count = std::min(ANSWER_READ_MAX, 256 - start);
        char text[DUMP_TEXT_SIZE];
        const int length = FormatHexDump(all + start, count, text);
        const QByteArray dump(text);
        QCOMPARE(length, 3 * count);
        QCOMPARE(int(dump.size()), 3 * count);
        QCOMPARE(dump, dump.toUpper());
        for (int i = 0; i < count; ++i)
            QCOMPARE(dump.at(3 * i + 2), ' ');
        QCOMPARE(QByteArray::fromHex(dump), QByteArray(reinterpret_cast<const char*>(all + start), count));
    }
}

void TestRequests::hexDumpClampsCount_data() {
    QTest::addColumn<int>("count");
    QTest::addColumn<bool>("nullData");
    QTest::addColumn<int>("expectedLength");
    QTest::newRow("none") << 0 << false << 0;
    QTest::newRow("negative") << -3 << false << 0;
    QTest::newRow("null data") << 10 << true << 0;
    QTest::newRow("read maximum") << ANSWER_READ_MAX << false << 3 * ANSWER_READ_MAX;
    QTest::newRow("beyond read maximum") << 200 << false << 3 * ANSWER_READ_MAX;
}

void TestRequests::hexDumpClampsCount() {
    QFETCH(int, count);
    QFETCH(bool, nullData);
    QFETCH(int, expectedLength);
    unsigned char data[200];
    std::memset(data, 0x7E, sizeof data);
    char text[DUMP_TEXT_SIZE];
    std::memset(text, 'x', sizeof text);
    const int length = FormatHexDump(nullData ? nullptr : data, count, text);
    QCOMPARE(length, expectedLength);
    QCOMPARE(int(std::strlen(text)), expectedLength);
}

QTEST_APPLESS_MAIN(TestRequests)
#include "tst_requests.moc"
