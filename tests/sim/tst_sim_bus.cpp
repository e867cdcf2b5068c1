// The bus logic on its own: answer frames, request framing, the round trip through the
// console's protocol code, faults and their seed, the PV drift, and a long random stream.
#include <QtTest>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "protocol.h"
#include "sim_bus.h"
#include "sim_test_util.h"

namespace {

std::vector<SimAnswer> FeedAll(SimBus& bus, const Bytes& bytes) {
    std::vector<SimAnswer> answers;
    bus.Feed(bytes.data(), bytes.size(), answers);
    return answers;
}

// The outcome a console read of at most 60 bytes would give.
AnswerOutcome Decode(const Bytes& bytes, Reading* reading = nullptr) {
    return DecodeAnswer(bytes.data(), std::min<int>(static_cast<int>(bytes.size()), ANSWER_READ_MAX),
                        reading);
}

SimFaults Sized() {
    SimFaults f;
    f.delayMs = 250;
    f.splitPauseMs = 120;
    f.garbageBytes = 7;
    f.floodBytes = 100;
    return f;
}

void SetFault(SimFaults& f, const QString& name, double p) {
    const SimFaultKind* kind = FindFaultKind(name.toStdString());
    if (!kind)
        QFAIL(qPrintable("no such fault " + name));
    f.*kind->probability = p;
}

} // namespace

class TestSimBus : public QObject {
    Q_OBJECT

private slots:
    void answerFrame_data();
    void answerFrame();
    void framing_data();
    void framing();
    void roundTrip_data();
    void roundTrip();
    void fault_data();
    void fault();
    void controllerFaultsOverrideBus_data();
    void controllerFaultsOverrideBus();
    void silencedWriteStillTakesEffect();
    void sameSeedSameFaults();
    void faultRateFollowsProbability_data();
    void faultRateFollowsProbability();
    void pvMovesTowardSv_data();
    void pvMovesTowardSv();
    void randomStreamAnswersOnlyValidRequests();
};

void TestSimBus::answerFrame_data() {
    QTest::addColumn<char>("type");
    QTest::addColumn<int>("address");
    QTest::addColumn<bool>("sv");
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("decimals");
    QTest::addColumn<QString>("frame");

    QTest::newRow("PV read, negative, 1 decimal")
        << 'R' << 1 << false << -12.3 << 1 << "06 02 30 31 52 44 50 30 2D 30 31 32 33 31 03 6C";
    QTest::newRow("SV read leaves the decimal digit at 0")
        << 'R' << 1 << true << 25.0 << 1 << "06 02 30 31 52 44 53 30 20 30 32 35 30 30 03 64";
    QTest::newRow("PV read, address 12, no decimals")
        << 'R' << 12 << false << 250.0 << 0 << "06 02 31 32 52 44 50 30 20 30 32 35 30 30 03 65";
    QTest::newRow("write answer has no decimal digit")
        << 'W' << 1 << true << 300.0 << 0 << "06 02 30 31 57 44 53 30 20 30 33 30 30 03 55";
    QTest::newRow("write answer, negative, 2 decimals")
        << 'W' << 5 << true << -1.5 << 2 << "06 02 30 35 57 44 53 30 2D 30 31 35 30 03 5B";
    QTest::newRow("PV read, 2 decimals")
        << 'R' << 5 << false << 21.5 << 2 << "06 02 30 35 52 44 50 30 20 32 31 35 30 32 03 60";
    QTest::newRow("24.7 rounds to 247, not 246")
        << 'R' << 7 << false << 24.7 << 1 << "06 02 30 37 52 44 50 30 20 30 32 34 37 31 03 66";
    QTest::newRow("a value that rounds to zero has no minus")
        << 'R' << 3 << false << -0.04 << 1 << "06 02 30 33 52 44 50 30 20 30 30 30 30 31 03 63";
}

void TestSimBus::answerFrame() {
    QFETCH(char, type);
    QFETCH(int, address);
    QFETCH(bool, sv);
    QFETCH(double, value);
    QFETCH(int, decimals);
    QFETCH(QString, frame);
    QCOMPARE(ToHex(BuildAnswerFrame(type, address, sv, value, decimals)), frame);
}

void TestSimBus::framing_data() {
    QTest::addColumn<QString>("stream");
    QTest::addColumn<QStringList>("answered");
    QTest::addColumn<int>("badChecks");

    const QString poll01 = "02 30 31 52 58 50 30 03 6A";
    const QString sv03 = "02 30 33 52 58 53 30 03 6B";
    const QString trailer = "00 FF*14";

    QTest::newRow("poll block") << poll01 + " " + trailer << QStringList{"01RXP0"} << 0;
    QTest::newRow("two blocks back to back")
        << poll01 + " " + trailer + " " + sv03 + " " + trailer << QStringList{"01RXP0", "03RXS0"} << 0;
    QTest::newRow("two frames with no filler") << poll01 + " " + sv03 << QStringList{"01RXP0", "03RXS0"} << 0;
    QTest::newRow("noise with stray ETX and filler before")
        << "FF 03 41 00 03 03 FF " + poll01 << QStringList{"01RXP0"} << 0;
    QTest::newRow("write") << "02 30 35 57 58 53 30 20 30 33 30 30 03 4B " + trailer
                           << QStringList{"05WXS0 0300"} << 0;
    QTest::newRow("bad block check") << "02 30 31 52 58 50 30 03 6B " + trailer << QStringList{} << 1;
    QTest::newRow("address nobody has") << "02 34 32 52 58 50 30 03 6D " + trailer << QStringList{} << 0;
    QTest::newRow("address 00") << "02 30 30 52 58 50 30 03 6B " + trailer << QStringList{} << 0;
    QTest::newRow("lower-case command") << "02 30 31 72 78 70 30 03 4A " + trailer << QStringList{} << 0;
    QTest::newRow("read of an unknown item") << "02 30 31 52 58 54 30 03 6E " + trailer << QStringList{} << 0;
    QTest::newRow("write to PV") << "02 30 31 57 58 50 30 20 30 33 30 30 03 4C " + trailer << QStringList{}
                                 << 0;
    QTest::newRow("write with a letter in the value")
        << "02 30 31 57 58 53 30 20 30 33 41 30 03 3E " + trailer << QStringList{} << 0;
    QTest::newRow("write with a digit for the sign")
        << "02 30 31 57 58 53 30 30 30 33 30 30 03 5F " + trailer << QStringList{} << 0;
    QTest::newRow("typed 01RX: check byte taken from the filler")
        << "02 30 31 52 58 03 20 00 2A FF*15" << QStringList{} << 1;
    QTest::newRow("STX inside a frame starts it afresh")
        << "02 30 31 52 " + poll01 << QStringList{"01RXP0"} << 0;
    QTest::newRow("broken frame whose check byte is the next STX")
        << "02 41 03 " + poll01 << QStringList{"01RXP0"} << 1;
    QTest::newRow("meaningless frame whose good check byte is the next STX")
        << "02 30 33 03 " + poll01 << QStringList{"01RXP0"} << 0;
    QTest::newRow("frame longer than any request is dropped")
        << "02 41*70 03 01 " + poll01 << QStringList{"01RXP0"} << 0;
    QTest::newRow("frame cut short at the end") << poll01 + " 02 30 31 52 58" << QStringList{"01RXP0"} << 0;
}

void TestSimBus::framing() {
    QFETCH(QString, stream);
    QFETCH(QStringList, answered);
    QFETCH(int, badChecks);
    const Bytes bytes = FromHex(stream);

    // Whole, and one byte per call: frames must survive any cut between reads.
    for (const bool byteByByte : {false, true}) {
        SimBus bus(DefaultControllers());
        std::vector<SimAnswer> answers;
        if (byteByByte) {
            for (unsigned char b : bytes)
                bus.Feed(&b, 1, answers);
        } else {
            bus.Feed(bytes.data(), bytes.size(), answers);
        }
        QStringList requests;
        for (const SimAnswer& a : answers) {
            requests << QString::fromStdString(a.request);
            QCOMPARE(Decode(a.Bytes()), AnswerOutcome::Accepted);
        }
        QCOMPARE(requests, answered);
        QCOMPARE(bus.BadChecks(), uint64_t(badChecks));
    }
}

void TestSimBus::roundTrip_data() {
    QTest::addColumn<QByteArray>("request"); // "poll PV 1", "poll SV 3" or a typed text
    QTest::addColumn<int>("address");
    QTest::addColumn<int>("bSV");
    QTest::addColumn<int>("decimals");
    QTest::addColumn<QString>("readout");
    QTest::addColumn<double>("svAfter");

    QTest::newRow("poll PV of 01") << QByteArray("poll PV 1") << 1 << 0 << 1 << "  18.5" << 25.0;
    QTest::newRow("poll SV of 01") << QByteArray("poll SV 1") << 1 << 1 << 1 << "  25.0" << 25.0;
    QTest::newRow("poll PV of 03") << QByteArray("poll PV 3") << 3 << 0 << 0 << "  150" << 200.0;
    QTest::newRow("poll SV of 05") << QByteArray("poll SV 5") << 5 << 1 << 2 << " 36.60" << 36.6;
    QTest::newRow("poll PV of 12") << QByteArray("poll PV 12") << 12 << 0 << 1 << " -12.3" << -5.0;
    QTest::newRow("typed 05RXP0") << QByteArray("05RXP0") << 5 << 0 << 2 << " 21.50" << 36.6;
    QTest::newRow("typed 12RXS0") << QByteArray("12RXS0") << 12 << 1 << 1 << "  -5.0" << -5.0;
    QTest::newRow("write 01: space sign") << QByteArray("01WXS0 0300") << 1 << 1 << 1 << "  30.0" << 30.0;
    QTest::newRow("write 03: plus sign") << QByteArray("03WXS0+0075") << 3 << 1 << 0 << "   75" << 75.0;
    QTest::newRow("write 05: minus sign") << QByteArray("05WXS0-0150") << 5 << 1 << 2 << " -1.50" << -1.5;
}

void TestSimBus::roundTrip() {
    QFETCH(QByteArray, request);
    QFETCH(int, address);
    QFETCH(int, bSV);
    QFETCH(int, decimals);
    QFETCH(QString, readout);
    QFETCH(double, svAfter);

    Bytes block;
    if (request.startsWith("poll "))
        block = PollBlock(request.mid(8).toInt(), request.mid(5, 2) == "SV");
    else
        block = TypedBlock(request.constData());
    QVERIFY(!block.empty());

    SimBus bus(DefaultControllers());
    // An SV answer is scaled with the decimals of the last PV answer; the console polls PV
    // of the same controller first.
    g_nDecimals = bus.Find(address)->decimals;
    const std::vector<SimAnswer> answers = FeedAll(bus, block);
    QCOMPARE(answers.size(), size_t(1));
    QCOMPARE(answers[0].faults, 0u);

    Reading reading;
    QCOMPARE(Decode(answers[0].Bytes(), &reading), AnswerOutcome::Accepted);
    QCOMPARE(reading.nAddress, address);
    QCOMPARE(reading.bSV, bSV);
    QCOMPARE(reading.nDecimals, decimals);
    char text[READOUT_TEXT_SIZE];
    FormatReading(reading, text);
    QCOMPARE(QString::fromLatin1(text), readout);
    QCOMPARE(bus.Find(address)->sv, svAfter);
}

void TestSimBus::fault_data() {
    QTest::addColumn<QStringList>("faults");
    QTest::addColumn<unsigned>("bits");
    QTest::addColumn<int>("firstRead"); // AnswerOutcome of what has come when the first part is there
    QTest::addColumn<int>("complete");  // AnswerOutcome of the first 60 bytes of the whole answer
    QTest::addColumn<int>("plainAt");   // where the unaltered answer sits in the bytes, -1 nowhere
    QTest::addColumn<int>("total");     // bytes in all
    QTest::addColumn<int>("chunks");
    QTest::addColumn<int>("firstPauseMs");
    QTest::addColumn<bool>("otherAddress");

    const int none = int(AnswerOutcome::NoAnswer), rejected = int(AnswerOutcome::Rejected),
              accepted = int(AnswerOutcome::Accepted);
    QTest::newRow("none") << QStringList{} << 0u << accepted << accepted << 0 << 16 << 1 << 0 << false;
    QTest::newRow("delay") << QStringList{"delay"} << unsigned(FAULT_DELAY) << accepted << accepted << 0 << 16
                           << 1 << 250 << false;
    QTest::newRow("silence") << QStringList{"silence"} << unsigned(FAULT_SILENCE) << none << none << -1 << 0
                             << 0 << 0 << false;
    QTest::newRow("bad-bcc") << QStringList{"bad-bcc"} << unsigned(FAULT_BAD_BCC) << rejected << rejected
                             << -1 << 16 << 1 << 0 << false;
    QTest::newRow("garbage") << QStringList{"garbage"} << unsigned(FAULT_GARBAGE) << rejected << rejected << 7
                             << 23 << 1 << 0 << false;
    QTest::newRow("split") << QStringList{"split"} << unsigned(FAULT_SPLIT) << none << accepted << 0 << 16
                           << 2 << 0 << false;
    QTest::newRow("flood") << QStringList{"flood"} << unsigned(FAULT_FLOOD) << accepted << accepted << 0
                           << 116 << 1 << 0 << false;
    QTest::newRow("wrong-address") << QStringList{"wrong-address"} << unsigned(FAULT_WRONG_ADDRESS)
                                   << accepted << accepted << -1 << 16 << 1 << 0 << true;
    QTest::newRow("silence wins over the rest")
        << QStringList{"silence", "garbage", "flood", "delay"} << unsigned(FAULT_SILENCE) << none << none
        << -1 << 0 << 0 << 0 << false;
    QTest::newRow("delay, garbage, split and flood together")
        << QStringList{"delay", "garbage", "split", "flood"}
        << unsigned(FAULT_DELAY | FAULT_GARBAGE | FAULT_SPLIT | FAULT_FLOOD) << none << rejected << 7 << 123
        << 2 << 250 << false;
}

void TestSimBus::fault() {
    QFETCH(QStringList, faults);
    QFETCH(unsigned, bits);
    QFETCH(int, firstRead);
    QFETCH(int, complete);
    QFETCH(int, plainAt);
    QFETCH(int, total);
    QFETCH(int, chunks);
    QFETCH(int, firstPauseMs);
    QFETCH(bool, otherAddress);

    SimFaults f = Sized();
    for (const QString& name : faults)
        SetFault(f, name, 1.0);
    SimBus bus(DefaultControllers(), f, {}, 99);
    const Bytes plain = BuildAnswerFrame('R', 1, false, 18.5, 1);

    const std::vector<SimAnswer> answers = FeedAll(bus, PollBlock(1, false));
    QCOMPARE(answers.size(), size_t(1));
    const SimAnswer& a = answers[0];
    QCOMPARE(a.faults, bits);
    QCOMPARE(int(a.chunks.size()), chunks);
    const Bytes all = a.Bytes();
    QCOMPARE(int(all.size()), total);

    QCOMPARE(int(Decode(chunks ? a.chunks[0].bytes : Bytes{})), firstRead);
    Reading reading;
    QCOMPARE(int(Decode(all, &reading)), complete);
    if (chunks)
        QCOMPARE(a.chunks[0].pause.count(), firstPauseMs);
    if (chunks == 2)
        QCOMPARE(a.chunks[1].pause.count(), f.splitPauseMs);

    const auto found = std::search(all.begin(), all.end(), plain.begin(), plain.end());
    QCOMPARE(found == all.end() ? -1 : int(found - all.begin()), plainAt);
    if (bits & FAULT_GARBAGE)
        QVERIFY(std::find(all.begin(), all.begin() + f.garbageBytes, ACK) == all.begin() + f.garbageBytes);
    if (bits & FAULT_BAD_BCC) {
        // Only the check byte is wrong.
        QVERIFY(std::equal(plain.begin(), plain.end() - 1, all.begin()));
        QVERIFY(all.back() != plain.back());
    }
    if (otherAddress) {
        QVERIFY(reading.nAddress != 1);
        QVERIFY(reading.nAddress >= 1 && reading.nAddress <= 99);
        QCOMPARE(reading.fValue, 18.5f);
    }
}

void TestSimBus::controllerFaultsOverrideBus_data() {
    QTest::addColumn<QString>("busFault");
    QTest::addColumn<int>("address");
    QTest::addColumn<QString>("ownFault");    // empty: that controller has no fault at all
    QTest::addColumn<QList<int>>("outcomes"); // for 01, 03, 05

    const int none = int(AnswerOutcome::NoAnswer), rejected = int(AnswerOutcome::Rejected),
              accepted = int(AnswerOutcome::Accepted);
    QTest::newRow("silent bus, 03 without faults")
        << "silence" << 3 << "" << QList<int>{none, accepted, none};
    QTest::newRow("quiet bus, 05 with a bad check")
        << "" << 5 << "bad-bcc" << QList<int>{accepted, accepted, rejected};
    QTest::newRow("bad checks on the bus, 01 silent instead")
        << "bad-bcc" << 1 << "silence" << QList<int>{none, rejected, rejected};
}

void TestSimBus::controllerFaultsOverrideBus() {
    QFETCH(QString, busFault);
    QFETCH(int, address);
    QFETCH(QString, ownFault);
    QFETCH(QList<int>, outcomes);

    SimFaults bus, own;
    if (!busFault.isEmpty())
        SetFault(bus, busFault, 1.0);
    if (!ownFault.isEmpty())
        SetFault(own, ownFault, 1.0);
    SimBus sim(DefaultControllers(), bus, {{address, own}});

    const int addresses[] = {1, 3, 5};
    for (int i = 0; i < 3; ++i) {
        const std::vector<SimAnswer> answers = FeedAll(sim, PollBlock(addresses[i], false));
        QCOMPARE(answers.size(), size_t(1));
        QCOMPARE(int(Decode(answers[0].Bytes())), outcomes[i]);
    }
}

void TestSimBus::silencedWriteStillTakesEffect() {
    SimFaults f;
    f.silence = 1.0;
    SimBus bus(DefaultControllers(), f);
    const std::vector<SimAnswer> answers = FeedAll(bus, TypedBlock("01WXS0 0300"));
    QCOMPARE(answers.size(), size_t(1));
    QVERIFY(answers[0].chunks.empty());
    QCOMPARE(bus.Find(1)->sv, 30.0);
}

void TestSimBus::sameSeedSameFaults() {
    SimFaults f = Sized();
    f.delay = f.silence = f.badBcc = f.garbage = f.split = f.flood = f.wrongAddress = 0.3;
    Bytes requests;
    for (int i = 0; i < 300; ++i) {
        const Bytes block = PollBlock(DefaultControllers()[size_t(i % 4)].address, i % 3 == 0);
        requests.insert(requests.end(), block.begin(), block.end());
    }
    const auto run = [&](uint64_t seed) {
        SimBus bus(DefaultControllers(), f, {}, seed);
        std::vector<SimAnswer> answers = FeedAll(bus, requests);
        Q_ASSERT(answers.size() == 300);
        return answers;
    };
    const auto same = [](const std::vector<SimAnswer>& a, const std::vector<SimAnswer>& b) {
        for (size_t i = 0; i < a.size(); ++i) {
            if (a[i].faults != b[i].faults || a[i].chunks.size() != b[i].chunks.size())
                return false;
            for (size_t c = 0; c < a[i].chunks.size(); ++c) {
                if (a[i].chunks[c].pause != b[i].chunks[c].pause ||
                    a[i].chunks[c].bytes != b[i].chunks[c].bytes)
                    return false;
            }
        }
        return true;
    };
    const std::vector<SimAnswer> first = run(7), again = run(7), other = run(8);
    QVERIFY(same(first, again));
    QVERIFY(!same(first, other));
    // Every kind of fault came up, so the comparison covered them all.
    unsigned seen = 0;
    for (const SimAnswer& a : first)
        seen |= a.faults;
    QCOMPARE(seen, unsigned(FAULT_DELAY | FAULT_SILENCE | FAULT_BAD_BCC | FAULT_GARBAGE | FAULT_SPLIT |
                            FAULT_FLOOD | FAULT_WRONG_ADDRESS));
}

void TestSimBus::faultRateFollowsProbability_data() {
    QTest::addColumn<double>("probability");
    QTest::newRow("never") << 0.0;
    QTest::newRow("one in ten") << 0.1;
    QTest::newRow("nine in ten") << 0.9;
    QTest::newRow("always") << 1.0;
}

void TestSimBus::faultRateFollowsProbability() {
    QFETCH(double, probability);
    SimFaults f;
    f.badBcc = probability;
    SimBus bus(DefaultControllers(), f, {}, 5);
    const int n = 4000;
    int hits = 0;
    for (int i = 0; i < n; ++i) {
        for (const SimAnswer& a : FeedAll(bus, PollBlock(1, false)))
            hits += (a.faults & FAULT_BAD_BCC) ? 1 : 0;
    }
    QVERIFY2(std::abs(hits - probability * n) <= 0.03 * n, qPrintable(QString::number(hits)));
}

void TestSimBus::pvMovesTowardSv_data() {
    QTest::addColumn<double>("pv");
    QTest::addColumn<double>("sv");
    QTest::addColumn<int>("decimals");
    QTest::newRow("up") << 18.5 << 25.0 << 1;
    QTest::newRow("down") << 200.0 << 150.0 << 0;
    QTest::newRow("through zero") << -12.34 << 5.0 << 2;
}

void TestSimBus::pvMovesTowardSv() {
    QFETCH(double, pv);
    QFETCH(double, sv);
    QFETCH(int, decimals);
    SimBus bus({{7, pv, sv, decimals}});

    bus.Advance(std::chrono::seconds(-5));
    QCOMPARE(bus.Find(7)->pv, pv);
    bus.Advance(std::chrono::seconds(5));
    const double moved = bus.Find(7)->pv;
    QVERIFY2(std::abs(sv - moved) < std::abs(sv - pv) && std::abs(moved - pv) < std::abs(sv - pv),
             qPrintable(QString::number(moved)));
    // In the end PV sits on SV exactly, rather than creeping forever below the last digit.
    bus.Advance(std::chrono::minutes(10));
    QCOMPARE(bus.Find(7)->pv, sv);
}

void TestSimBus::randomStreamAnswersOnlyValidRequests() {
    // A seeded stream of noise (rich in STX, ETX and filler), broken frames and valid requests.
    // Only the valid requests may be answered, each once and in order.
    uint64_t state = 20240611;
    const auto next = [&state] {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<uint32_t>(state >> 33);
    };
    const std::vector<SimController> controllers = DefaultControllers();
    const char* const writes[] = {"WXS0 0123", "WXS0-0042", "WXS0+0999"};

    Bytes stream;
    QStringList injected;
    while (stream.size() < 300000) {
        const uint32_t noise = next() % 300;
        for (uint32_t i = 0; i < noise; ++i) {
            const uint32_t kind = next() % 8;
            stream.push_back(kind == 0   ? STX
                             : kind == 1 ? ETX
                             : kind == 2 ? 0xFF
                                         : static_cast<unsigned char>(next()));
        }
        const SimController& c = controllers[next() % controllers.size()];
        const std::string address = QString::asprintf("%02d", c.address).toStdString();
        std::string text =
            next() % 3 == 0 ? address + writes[next() % 3] : address + (next() % 2 ? "RXS0" : "RXP0");
        Bytes block = TypedBlock(text.c_str());
        switch (next() % 4) {
        case 0: { // one byte of the frame changed: never a request
            const size_t at = next() % (text.size() + 3);
            block[at] = static_cast<unsigned char>(block[at] ^ (1 + next() % 255));
            break;
        }
        case 1: // a request for an address nobody has
            block = TypedBlock(("4" + std::to_string(next() % 10) + text.substr(2)).c_str());
            break;
        default:
            injected << QString::fromStdString(text);
            break;
        }
        stream.insert(stream.end(), block.begin(), block.end());
    }

    SimBus bus(controllers);
    std::vector<SimAnswer> answers;
    for (size_t at = 0; at < stream.size();) {
        const size_t piece = std::min<size_t>(1 + next() % 700, stream.size() - at);
        bus.Feed(stream.data() + at, piece, answers);
        at += piece;
    }

    QStringList answered;
    for (const SimAnswer& a : answers) {
        answered << QString::fromStdString(a.request);
        Reading reading;
        QCOMPARE(Decode(a.Bytes(), &reading), AnswerOutcome::Accepted);
        QCOMPARE(reading.nAddress, a.address);
    }
    QVERIFY(injected.size() > 500);
    QCOMPARE(answered, injected);
}

QTEST_APPLESS_MAIN(TestSimBus)
#include "tst_sim_bus.moc"
