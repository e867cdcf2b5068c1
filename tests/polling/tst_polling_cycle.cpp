// The polling cycle against a scripted line: every request byte the console sends is checked,
// and each answer tick meets exactly the bytes the test chose.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QTest>

#include <cstring>
#include <vector>

#include "console_rig.h"

namespace {

// Answers of the scripted controllers. 03: one decimal; 05: none.
const char* const k03Pv246 = "06 02 30 33 52 44 50 30 20 30 32 34 36 31 03 63";
const char* const k03Pv247 = "06 02 30 33 52 44 50 30 20 30 32 34 37 31 03 62";
const char* const k03Pv248 = "06 02 30 33 52 44 50 30 20 30 32 34 38 31 03 6D";
const char* const k03Sv300 = "06 02 30 33 52 44 53 30 20 30 33 30 30 31 03 63";
const char* const k05Pv112 = "06 02 30 35 52 44 50 30 20 30 31 31 32 30 03 66";
const char* const k05Sv150 = "06 02 30 35 52 44 53 30 20 30 31 35 30 30 03 63";
const char* const k07PvNeg55 = "06 02 30 37 52 44 50 30 2D 30 30 35 35 31 03 6A";
const char* const k07Sv421 = "06 02 30 37 52 44 53 30 20 30 34 32 31 31 03 63";
const char* const kSilence = "";

const char* const kZero = "    0"; // both readouts after start-up

// A helper that failed has recorded why; say where, and end the test.
#define CHECKED(call, where)                                                                                 \
    do {                                                                                                     \
        call;                                                                                                \
        if (QTest::currentTestFailed()) {                                                                    \
            qWarning() << "at" << where;                                                                     \
            return;                                                                                          \
        }                                                                                                    \
    } while (0)

// One request tick and the answer tick after it.
struct Exchange {
    const char* request; // text between STX and ETX on the wire, and the echo in the command edit
    const char* bcc;
    const char* reply; // what the line answers; "" for silence
    int scanAddr;      // polling state after the request tick
    int pollSelected;
    int pollSV;
    const char* list; // after the answer tick, '*' marking the selection
    int rxLamp;
    const char* pv; // readout texts after the answer tick
    const char* sv;
};

struct Sequence {
    const char* name;
    bool pnp;
    const char* list; // before the first tick
    std::vector<Exchange> exchanges;
};

// Two controllers, 03 and 05; with "PNP" checked the cycle starts from an empty list.
const Sequence kSequences[] = {
    {"pnp checked: walk finds 03 and 05, polls 03 in between",
     true,
     "",
     {
         {"01RXP0", "6A", kSilence, 1, 1, 1, "", LAMP_YELLOW, kZero, kZero},
         {"02RXP0", "69", kSilence, 2, 1, 1, "", LAMP_YELLOW, kZero, kZero},
         {"03RXP0", "68", k03Pv246, 3, 1, 1, "03*", LAMP_ON, "  24.6", kZero},
         {"03RXP0", "68", k03Pv247, 3, 0, 0, "03*", LAMP_ON, "  24.7", kZero},
         {"04RXP0", "6F", kSilence, 4, 1, 0, "03*", LAMP_YELLOW, "  24.7", kZero},
         {"03RXS0", "6B", k03Sv300, 4, 0, 1, "03*", LAMP_ON, "  24.7", "  30.0"},
         {"05RXP0", "6E", k05Pv112, 5, 1, 1, "03*,05", LAMP_ON, "  24.7", "  30.0"},
         {"03RXP0", "68", k03Pv248, 5, 0, 0, "03*,05", LAMP_ON, "  24.8", "  30.0"},
     }},
    // 03 stops answering after its SV; the walk state is never touched in this mode. 05's SV
    // is scaled with the decimal count of 03's PV, the latest accepted PV answer.
    {"pnp unchecked: 03 polled until silent, then 05",
     false,
     "03*,05",
     {
         {"03RXP0", "68", k03Pv246, 0, 1, 0, "03*,05", LAMP_ON, "  24.6", kZero},
         {"03RXS0", "6B", k03Sv300, 0, 1, 1, "03*,05", LAMP_ON, "  24.6", "  30.0"},
         {"03RXP0", "68", kSilence, 0, 1, 0, "05*", LAMP_YELLOW, "  24.6", "  30.0"},
         {"05RXS0", "6D", k05Sv150, 0, 1, 1, "05*", LAMP_ON, "  24.6", "  15.0"},
     }},
};

} // namespace

class TestPollingCycle : public QObject {
    Q_OBJECT

private slots:
    void init() { ResetProgramState(); }

    void workedSequence_data();
    void workedSequence();
    void requestAddresses_data();
    void requestAddresses();
    void singleExchange_data();
    void singleExchange();
    void pendingInputBeforeRequest();
    void reopenKeepsListButNotCount();
    void otherTimerIdOnlyRedraws();

private:
    // The request tick, with what went out; the caller checks QTest::currentTestFailed().
    void RequestTick(ConsoleRig& rig, ScriptedLine& line, const char* text, const char* bcc);
    void AnswerTick(ConsoleRig& rig, ScriptedLine& line, const QByteArray& reply);
    // The list and lamps, and both readouts as kept and as drawn, after an answer tick.
    void CheckShown(ConsoleRig& rig, const QString& list, int rxLamp, const QByteArray& pv,
                    const QByteArray& sv);
};

void TestPollingCycle::RequestTick(ConsoleRig& rig, ScriptedLine& line, const char* text, const char* bcc) {
    CTestDlg& dlg = rig.Dlg();
    QCOMPARE(int(dlg.m_bAnswerDue), 0);
    dlg.OnTimer(0);
    QCOMPARE(line.Take(POLL_BLOCK_LENGTH).toHex(' '), RequestBlock(text, bcc).toHex(' '));
    QCOMPARE(dlg.m_edtCommand->text(), QString(text));
    QCOMPARE(dlg.m_stcBcc->text(), QString("ETX,") + bcc);
    QCOMPARE(int(dlg.m_cCurAddr), QByteArray(text).left(2).toInt());
    QCOMPARE(int(dlg.m_bAnswerDue), 1);
    QCOMPARE(rig.Lamp(TX_LAMP_Y), LAMP_OFF);
    QCOMPARE(rig.Lamp(RX_LAMP_Y), LAMP_OFF);
}

void TestPollingCycle::AnswerTick(ConsoleRig& rig, ScriptedLine& line, const QByteArray& reply) {
    line.Send(reply);
    QVERIFY(WaitQueuedAtConsole(line.Path(), int(reply.size())));
    rig.Dlg().OnTimer(0);
    QCOMPARE(int(rig.Dlg().m_bAnswerDue), 0);
    QCOMPARE(rig.Dlg().m_edtResponse->text(), DumpOf(reply));
}

void TestPollingCycle::CheckShown(ConsoleRig& rig, const QString& list, int rxLamp, const QByteArray& pv,
                                  const QByteArray& sv) {
    CTestDlg& dlg = rig.Dlg();
    QCOMPARE(rig.List(), list);
    QCOMPARE(int(dlg.m_byListCount), dlg.m_cmbAddress->count());
    QCOMPARE(rig.Lamp(TX_LAMP_Y), LAMP_OFF);
    QCOMPARE(rig.Lamp(RX_LAMP_Y), rxLamp);
    QCOMPARE(QByteArray(dlg.m_szPV), pv);
    QCOMPARE(QByteArray(dlg.m_szSV), sv);
    QVERIFY(rig.Shows(ROW_GREEN, PV_X, PV_Y, pv));
    QVERIFY(rig.Shows(ROW_RED, SV_X, SV_Y, sv));
}

void TestPollingCycle::workedSequence_data() {
    QTest::addColumn<int>("sequence");
    for (int i = 0; i < int(std::size(kSequences)); ++i)
        QTest::newRow(kSequences[i].name) << i;
}

void TestPollingCycle::workedSequence() {
    QFETCH(int, sequence);
    const Sequence& s = kSequences[sequence];
    ScriptedLine line;
    ConsoleRig rig(line.Path());
    CTestDlg& dlg = rig.Dlg();
    dlg.m_chkPnp->setChecked(s.pnp);
    rig.SetList(s.list);
    QCOMPARE(rig.List(), QString(s.list));

    int exchange = 0;
    for (const Exchange& e : s.exchanges) {
        const QByteArray at = "exchange " + QByteArray::number(++exchange) + ", " + e.request;
        CHECKED(RequestTick(rig, line, e.request, e.bcc), at);
        CHECKED(
            [&] {
                QCOMPARE(int(dlg.m_byScanAddr), e.scanAddr);
                QCOMPARE(int(dlg.m_bPollSelected), e.pollSelected);
                QCOMPARE(g_bPollSV, e.pollSV);
            }(),
            at);

        CHECKED(AnswerTick(rig, line, Hex(e.reply)), at);
        CHECKED(CheckShown(rig, e.list, e.rxLamp, e.pv, e.sv), at);
    }
    QVERIFY(line.TakeQueued().isEmpty());
}

void TestPollingCycle::requestAddresses_data() {
    QTest::addColumn<bool>("pnp");
    QTest::addColumn<QStringList>("requests");

    QStringList walk;
    for (int address = 1; address <= 99; ++address)
        walk << QString::asprintf("%02dRXP0", address);
    walk << "01RXP0";
    QTest::newRow("pnp checked, nobody answers: the walk wraps from 99 to 01") << true << walk;
    QTest::newRow("pnp unchecked, empty list: 00 asked for PV and SV by turns")
        << false << QStringList{"00RXP0", "00RXS0", "00RXP0", "00RXS0"};
}

void TestPollingCycle::requestAddresses() {
    QFETCH(bool, pnp);
    QFETCH(QStringList, requests);
    ScriptedLine line;
    ConsoleRig rig(line.Path());
    CTestDlg& dlg = rig.Dlg();
    dlg.m_chkPnp->setChecked(pnp);

    for (const QString& request : requests) {
        dlg.OnTimer(0);
        const QByteArray wire = line.Take(POLL_BLOCK_LENGTH);
        QCOMPARE(wire.size(), POLL_BLOCK_LENGTH);
        QCOMPARE(QString::fromLatin1(wire.mid(1, 6)), request);
        QCOMPARE(dlg.m_edtCommand->text(), request);
        QCOMPARE(dlg.m_stcBcc->text(), QString::asprintf("ETX,%02X", static_cast<unsigned char>(wire[8])));
        dlg.OnTimer(0);
        QCOMPARE(rig.List(), QString());
        QCOMPARE(int(dlg.m_byListCount), 0);
        QCOMPARE(rig.Lamp(RX_LAMP_Y), LAMP_YELLOW);
    }
}

void TestPollingCycle::singleExchange_data() {
    QTest::addColumn<bool>("pnp");
    QTest::addColumn<QString>("list");
    QTest::addColumn<int>("scanAddr"); // walk state before the request tick
    QTest::addColumn<int>("pollSelected");
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("listAfter");
    QTest::addColumn<int>("rxLamp");
    QTest::addColumn<QByteArray>("pv");
    QTest::addColumn<QByteArray>("sv");

    const QByteArray pv = "  11.1", sv = "  22.2"; // shown before the exchange
    QTest::newRow("asked 05, answered by 03: 03 joins in front, the selection stays on 05")
        << false << "05*" << 0 << 1 << QByteArray("05RXP0") << Hex(k03Pv246) << "03,05*" << LAMP_ON << pv
        << sv;
    QTest::newRow("asked 00, answered by 07 on an empty list: selected and shown at once")
        << false << "" << 0 << 1 << QByteArray("00RXP0") << Hex(k07PvNeg55) << "07*" << LAMP_ON
        << QByteArray("  -5.5") << sv;
    QTest::newRow("walk asks 03 for PV, selected 07 answers with SV: SV shown")
        << true << "03,07*" << 2 << 0 << QByteArray("03RXP0") << Hex(k07Sv421) << "03,07*" << LAMP_ON << pv
        << QByteArray("  421");
    QTest::newRow("selected 05 silent: removed, the first item selected")
        << false << "03,05*,07" << 0 << 1 << QByteArray("05RXP0") << QByteArray() << "03*,07" << LAMP_YELLOW
        << pv << sv;
    QTest::newRow("walk step to 07 silent while 05 is selected: the first item selected")
        << true << "03,05*,07" << 6 << 0 << QByteArray("07RXP0") << QByteArray() << "03*,05" << LAMP_YELLOW
        << pv << sv;
    QTest::newRow("14 bytes: silence") << false << "03*" << 0 << 1 << QByteArray("03RXP0")
                                       << Hex(k03Pv246).left(14) << "" << LAMP_YELLOW << pv << sv;
    QTest::newRow("15 bytes of a 16-byte answer: rejected, list and lamps alone")
        << false << "03*" << 0 << 1 << QByteArray("03RXP0") << Hex(k03Pv246).left(15) << "03*" << LAMP_OFF
        << pv << sv;
    QByteArray badCheck = Hex(k03Pv246);
    badCheck[15] = char(badCheck[15] ^ 0x01);
    QTest::newRow("wrong block check: rejected, list and lamps alone")
        << false << "03*" << 0 << 1 << QByteArray("03RXP0") << badCheck << "03*" << LAMP_OFF << pv << sv;
}

void TestPollingCycle::singleExchange() {
    QFETCH(bool, pnp);
    QFETCH(QString, list);
    QFETCH(int, scanAddr);
    QFETCH(int, pollSelected);
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, reply);
    QFETCH(QString, listAfter);
    QFETCH(int, rxLamp);
    QFETCH(QByteArray, pv);
    QFETCH(QByteArray, sv);

    ScriptedLine line;
    ConsoleRig rig(line.Path());
    CTestDlg& dlg = rig.Dlg();
    dlg.m_chkPnp->setChecked(pnp);
    rig.SetList(list);
    dlg.m_byScanAddr = static_cast<uint8_t>(scanAddr);
    dlg.m_bPollSelected = static_cast<uint8_t>(pollSelected);
    g_bPollSV = 1; // a poll of the selected address asks for PV
    std::strcpy(dlg.m_szPV, "  11.1");
    std::strcpy(dlg.m_szSV, "  22.2");

    dlg.OnTimer(0);
    QCOMPARE(QString::fromLatin1(line.Take(POLL_BLOCK_LENGTH).mid(1, 6)), QString::fromLatin1(request));
    CHECKED(AnswerTick(rig, line, reply), request);
    CheckShown(rig, listAfter, rxLamp, pv, sv);
}

void TestPollingCycle::pendingInputBeforeRequest() {
    ScriptedLine line;
    ConsoleRig rig(line.Path());
    CTestDlg& dlg = rig.Dlg();
    dlg.m_chkPnp->setChecked(false);
    rig.SetList("03*");

    QByteArray pending;
    for (int i = 0; i < 100; ++i)
        pending.append(char(0x80 + i));
    line.Send(pending);
    QVERIFY(WaitQueuedAtConsole(line.Path(), 100));

    dlg.OnTimer(0);
    QCOMPARE(line.Take(POLL_BLOCK_LENGTH).toHex(' '), RequestBlock("03RXP0", "68").toHex(' '));
    QCOMPARE(QueuedAtConsole(line.Path()), 40);

    // The 40 left over come first, so the answer behind them is not at the start of the read.
    const QByteArray answer = Hex(k03Pv246);
    line.Send(answer);
    QVERIFY(WaitQueuedAtConsole(line.Path(), 40 + int(answer.size())));
    dlg.OnTimer(0);
    QCOMPARE(dlg.m_edtResponse->text(), DumpOf(pending.mid(60) + answer));
    QCOMPARE(QueuedAtConsole(line.Path()), 0);
    QCOMPARE(rig.List(), QString("03*"));
    QCOMPARE(rig.Lamp(RX_LAMP_Y), LAMP_OFF);
    QCOMPARE(QByteArray(dlg.m_szPV), QByteArray(kZero));
}

void TestPollingCycle::reopenKeepsListButNotCount() {
    ScriptedLine line;
    ConsoleRig rig(line.Path());
    CTestDlg& dlg = rig.Dlg();
    rig.SetList("03*,05");
    dlg.m_byScanAddr = 40;
    dlg.m_bPollSelected = 1;
    dlg.OnTimer(0); // a poll of 03 is under way
    QCOMPARE(line.Take(POLL_BLOCK_LENGTH).mid(1, 6), QByteArray("03RXP0"));

    dlg.CloseLink();
    dlg.OpenLink();
    QVERIFY(dlg.m_port.IsOpen());
    QCOMPARE(rig.List(), QString("03*,05"));
    QCOMPARE(int(dlg.m_byListCount), 0);
    QCOMPARE(int(dlg.m_byScanAddr), 0);
    QCOMPARE(int(dlg.m_cCurAddr), -1);
    QCOMPARE(int(dlg.m_bAnswerDue), 0);
    QCOMPARE(int(dlg.m_bPollSelected), 1);

    // With the count at 0 the next request is a walk step, even though 03 is selected.
    CHECKED(RequestTick(rig, line, "01RXP0", "6A"), "walk after the reopen");
    dlg.OnTimer(0);
    QCOMPARE(rig.List(), QString("03*,05"));
    QCOMPARE(int(dlg.m_byListCount), 2);
    QCOMPARE(rig.Lamp(RX_LAMP_Y), LAMP_YELLOW);
    RequestTick(rig, line, "03RXS0", "6B");
}

void TestPollingCycle::otherTimerIdOnlyRedraws() {
    ScriptedLine line;
    ConsoleRig rig(line.Path());
    CTestDlg& dlg = rig.Dlg();
    std::strcpy(dlg.m_szPV, "  12.3");
    std::strcpy(dlg.m_szSV, "  -4.5");
    line.Send(Hex(k03Pv246));
    QVERIFY(WaitQueuedAtConsole(line.Path(), 16));

    dlg.OnTimer(1);
    QVERIFY(rig.Shows(ROW_GREEN, PV_X, PV_Y, "  12.3"));
    QVERIFY(rig.Shows(ROW_RED, SV_X, SV_Y, "  -4.5"));
    QCOMPARE(int(dlg.m_bAnswerDue), 0);
    QCOMPARE(QueuedAtConsole(line.Path()), 16);
    QVERIFY(line.TakeQueued().isEmpty());
    QCOMPARE(rig.List(), QString());
}

QTEST_MAIN(TestPollingCycle)
#include "tst_polling_cycle.moc"
