// Answer decoding: outcome, Reading, the decimal count carried between answers and the readout text.
#include <QtTest>

#include <bit>
#include <cstring>

#include "protocol.h"

Q_DECLARE_METATYPE(AnswerOutcome)

namespace {

QByteArray Hex(const char* spaced) {
    return QByteArray::fromHex(spaced);
}

AnswerOutcome Decode(const QByteArray& bytes, Reading* reading) {
    return DecodeAnswer(reinterpret_cast<const unsigned char*>(bytes.constData()), int(bytes.size()),
                        reading);
}

// The readout with guard bytes behind it, to catch a text that runs past its 30 characters.
struct GuardedReadout {
    char text[READOUT_TEXT_SIZE];
    char after[16];

    GuardedReadout() {
        std::memset(text, '#', sizeof text);
        std::memset(after, '#', sizeof after);
    }
    bool GuardIntact() const {
        for (char c : after)
            if (c != '#')
                return false;
        return true;
    }
};

QByteArray Readout(const Reading& reading) {
    GuardedReadout out;
    FormatReading(reading, out.text);
    if (!out.GuardIntact() || std::memchr(out.text, '\0', sizeof out.text) == nullptr)
        return QByteArray("<overrun>");
    return QByteArray(out.text);
}

uint32_t Bits(float f) {
    return std::bit_cast<uint32_t>(f);
}

} // namespace

class TestAnswers : public QObject {
    Q_OBJECT

private slots:
    void init() { g_nDecimals = 0; }
    void workedAnswersInOrder();
    void notAccepted_data();
    void notAccepted();
    void accepted_data();
    void accepted();
    void trailingBytesAreIgnored();
    void readoutShowsTheReceivedDigits();
};

// The four answers run as one sequence: each SV answer is scaled with the count the PV before left.
void TestAnswers::workedAnswersInOrder() {
    struct Step {
        const char* legend;
        const char* bytes;
        int address;
        int sv;
        float value;
        int decimals;
        const char* text;
        int decimalsAfter;
    };
    const Step steps[] = {
        {"PV 01 -12.3", "06 02 30 31 52 44 50 30 2D 30 31 32 33 31 03 6C", 1, 0, -12.3f, 1, " -12.3", 1},
        {"SV 01 25.0", "06 02 30 31 52 44 53 30 20 30 32 35 30 30 03 64", 1, 1, 25.0f, 1, "  25.0", 1},
        {"PV 12 250", "06 02 31 32 52 44 50 30 20 30 32 35 30 30 03 65", 12, 0, 250.0f, 0, "  250", 0},
        {"SV 01 300 write answer", "06 02 30 31 57 44 53 30 20 30 33 30 30 03 55", 1, 1, 300.0f, 0, "  300",
         0},
    };
    for (const Step& step : steps) {
        Reading reading;
        QVERIFY2(Decode(Hex(step.bytes), &reading) == AnswerOutcome::Accepted, step.legend);
        QVERIFY2(reading.nAddress == step.address, step.legend);
        QVERIFY2(reading.bSV == step.sv, step.legend);
        QVERIFY2(Bits(reading.fValue) == Bits(step.value), step.legend);
        QVERIFY2(reading.nDecimals == step.decimals, step.legend);
        QVERIFY2(g_nDecimals == step.decimalsAfter, step.legend);
        QVERIFY2(Readout(reading) == QByteArray(step.text), step.legend);
    }
}

void TestAnswers::notAccepted_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<AnswerOutcome>("outcome");

    const auto none = AnswerOutcome::NoAnswer;
    const auto rejected = AnswerOutcome::Rejected;
    QTest::newRow("nothing") << QByteArray() << none;
    QTest::newRow("14 bytes of an answer") << Hex("06 02 30 31 52 44 50 30 2D 30 31 32 33 31") << none;
    QTest::newRow("15 bytes of an RD answer")
        << Hex("06 02 30 31 52 44 50 30 2D 30 31 32 33 31 03") << rejected;
    QTest::newRow("15 bytes FF") << Hex("FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF") << rejected;
    QTest::newRow("ACK missing") << Hex("05 02 30 31 52 44 50 30 20 31 32 33 34 31 03 66") << rejected;
    QTest::newRow("STX missing") << Hex("06 03 30 31 52 44 50 30 20 31 32 33 34 31 03 64") << rejected;
    QTest::newRow("leading garbage") << Hex("00 06 02 30 31 52 44 50 30 2D 30 31 32 33 31 03 6C") << rejected;
    QTest::newRow("type RX") << Hex("06 02 30 31 52 58 50 30 20 31 32 33 34 03 48") << rejected;
    QTest::newRow("type rd lower case") << Hex("06 02 30 31 72 64 50 30 20 31 32 33 34 03 54") << rejected;
    QTest::newRow("item P1") << Hex("06 02 30 31 52 44 50 31 20 31 32 33 34 31 03 64") << rejected;
    QTest::newRow("wrong block check") << Hex("06 02 30 31 52 44 50 30 2D 30 31 32 33 31 03 6D") << rejected;
    QTest::newRow("address 00") << Hex("06 02 30 30 52 44 50 30 20 31 32 33 34 31 03 64") << rejected;
    QTest::newRow("address 9: is 100") << Hex("06 02 39 3A 52 44 50 30 20 31 32 33 34 31 03 67") << rejected;
}

// An answer that is not accepted decides nothing: no Reading, and the decimal count stays.
void TestAnswers::notAccepted() {
    QFETCH(QByteArray, bytes);
    QFETCH(AnswerOutcome, outcome);
    g_nDecimals = 3;
    Reading reading;
    reading.nAddress = -1;
    QVERIFY(Decode(bytes, &reading) == outcome);
    QCOMPARE(reading.nAddress, -1);
    QCOMPARE(g_nDecimals, 3);
}

void TestAnswers::accepted_data() {
    QTest::addColumn<int>("decimalsBefore");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("address");
    QTest::addColumn<int>("sv");
    QTest::addColumn<uint>("valueBits"); // fValue's bit pattern: the exact float, sign of zero included
    QTest::addColumn<int>("decimals");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("decimalsAfter");

    QTest::newRow("address 0: is 10") << 3 << Hex("06 02 30 3A 52 44 50 30 20 31 32 33 34 31 03 6E") << 10
                                      << 0 << Bits(123.4f) << 1 << QByteArray(" 123.4") << 1;
    QTest::newRow("sign +") << 3 << Hex("06 02 30 31 52 44 50 30 2B 31 32 33 34 30 03 6F") << 1 << 0
                            << Bits(1234.0f) << 0 << QByteArray(" 1234") << 0;
    QTest::newRow("sign 0") << 3 << Hex("06 02 30 31 52 44 50 30 30 31 32 33 34 30 03 74") << 1 << 0
                            << Bits(1234.0f) << 0 << QByteArray(" 1234") << 0;
    QTest::newRow("sign -") << 3 << Hex("06 02 30 31 52 44 50 30 2D 31 32 33 34 30 03 69") << 1 << 0
                            << Bits(-1234.0f) << 0 << QByteArray("-1234") << 0;
    QTest::newRow("space in value field") << 3 << Hex("06 02 30 31 52 44 50 30 20 20 31 32 33 30 03 70") << 1
                                          << 0 << Bits(-15877.0f) << 0 << QByteArray("-15877") << 0;
    QTest::newRow("negative decimal count")
        << 3 << Hex("06 02 30 31 52 44 50 30 20 31 32 33 34 2F 03 7B") << 1 << 0 << Bits(1234.0f) << -1
        << QByteArray("1234.000000") << -1;
    QTest::newRow("PV write answer counts its ETX")
        << 3 << Hex("06 02 30 31 57 44 50 30 20 30 33 30 30 03 56") << 1 << 0 << Bits(300.0f) << -45
        << QByteArray("300.000000") << -45;
    QTest::newRow("first SV: no decimals yet") << 0 << Hex("06 02 30 31 52 44 53 30 20 30 32 35 30 31 03 65")
                                               << 1 << 1 << Bits(250.0f) << 0 << QByteArray("  250") << 0;
    QTest::newRow("SV takes the count of another address's PV")
        << 2 << Hex("06 02 30 31 52 44 53 30 20 30 32 35 30 31 03 65") << 1 << 1 << Bits(2.5f) << 2
        << QByteArray("  2.50") << 2;
    QTest::newRow("scaling by float tenth in double")
        << 3 << Hex("06 02 30 31 52 44 50 30 20 30 30 31 39 32 03 6A") << 1 << 0 << 0x3E428F5Du << 2
        << QByteArray("  0.19") << 2;
    QTest::newRow("nine decimals") << 3 << Hex("06 02 30 31 52 44 50 30 20 31 32 33 34 39 03 6D") << 1 << 0
                                   << 0x35A59FECu << 9 << QByteArray("0.000001234") << 9;
    QTest::newRow("decimals K just fit")
        << 3 << Hex("06 02 30 31 52 44 50 30 20 31 32 33 34 4B 03 1F") << 1 << 0 << 0x17BEF3CCu << 27
        << QByteArray("0.000000000000000000000001234") << 27;
    QTest::newRow("decimals K negative cut short")
        << 3 << Hex("06 02 30 31 52 44 50 30 2D 31 32 33 34 4B 03 12") << 1 << 0
        << (0x17BEF3CCu | 0x80000000u) << 27 << QByteArray("-0.00000000000000000000000123") << 27;
    QTest::newRow("decimals FF cut short")
        << 3 << Hex("06 02 30 31 52 44 50 30 20 31 32 33 34 FF 03 AB") << 1 << 0 << 0u << 207
        << QByteArray("0.000000000000000000000000000") << 207;
}

void TestAnswers::accepted() {
    QFETCH(int, decimalsBefore);
    QFETCH(QByteArray, bytes);
    QFETCH(int, address);
    QFETCH(int, sv);
    QFETCH(uint, valueBits);
    QFETCH(int, decimals);
    QFETCH(QByteArray, text);
    QFETCH(int, decimalsAfter);

    g_nDecimals = decimalsBefore;
    Reading reading;
    QVERIFY(Decode(bytes, &reading) == AnswerOutcome::Accepted);
    QCOMPARE(g_nDecimals, decimalsAfter);
    QCOMPARE(reading.nAddress, address);
    QCOMPARE(reading.bSV, sv);
    QCOMPARE(Bits(reading.fValue), valueBits);
    QCOMPARE(reading.nDecimals, decimals);
    QCOMPARE(Readout(reading), text);
}

// What follows a complete frame in the same read (filler, another frame) changes nothing.
void TestAnswers::trailingBytesAreIgnored() {
    const QByteArray write = Hex("06 02 30 31 57 44 53 30 20 30 33 30 30 03 55");
    const QByteArray read = Hex("06 02 30 31 52 44 50 30 2D 30 31 32 33 31 03 6C");
    Reading reading;
    QVERIFY(Decode(write + read, &reading) == AnswerOutcome::Accepted);
    QCOMPARE(reading.bSV, 1);
    QCOMPARE(Bits(reading.fValue), Bits(300.0f));
    QCOMPARE(g_nDecimals, 0);
    QVERIFY(Decode(read + QByteArray(44, '\xFF'), &reading) == AnswerOutcome::Accepted);
    QCOMPARE(Bits(reading.fValue), Bits(-12.3f));
    QCOMPARE(g_nDecimals, 1);
}

// For every four digits, both signs and decimal counts 0 to 9 the readout is the number the
// digits make with the point set that many places from the right, built here as text.
void TestAnswers::readoutShowsTheReceivedDigits() {
    QByteArray frame = Hex("06 02 30 31 52 44 50 30 20 30 30 30 30 30 03 00");
    auto* bytes = reinterpret_cast<unsigned char*>(frame.data());
    int failures = 0;
    for (int decimals = 0; decimals <= 9; ++decimals) {
        for (int negative = 0; negative <= 1; ++negative) {
            for (int value = 0; value <= 9999; ++value) {
                const QByteArray digits = QByteArray::number(value).rightJustified(4, '0');
                bytes[8] = negative ? '-' : ' ';
                std::memcpy(bytes + 9, digits.constData(), 4);
                bytes[13] = static_cast<unsigned char>('0' + decimals);
                bytes[15] = CalcBCC(bytes, 15);

                QByteArray expected = QByteArray::number(value).rightJustified(decimals + 1, '0');
                if (decimals > 0)
                    expected.insert(expected.size() - decimals, '.');
                if (negative)
                    expected.prepend('-');
                expected = expected.rightJustified(decimals == 0 ? 5 : 6, ' ');

                Reading reading;
                if (Decode(frame, &reading) != AnswerOutcome::Accepted || Readout(reading) != expected) {
                    if (++failures <= 5)
                        qWarning("digits %s, decimals %d, sign %c: got %s, want %s", digits.constData(),
                                 decimals, negative ? '-' : '+', Readout(reading).constData(),
                                 expected.constData());
                }
            }
        }
    }
    QCOMPARE(failures, 0);
}

QTEST_APPLESS_MAIN(TestAnswers)
#include "tst_answers.moc"
