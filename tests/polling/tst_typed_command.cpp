// The typed command against a scripted line that answers while the console waits: the bytes
// sent, the label, the dump, the lamps and the list after the answer has been handled.
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTest>

#include <cstring>

#include "console_rig.h"

namespace {

const char* const k01Pv215 = "06 02 30 31 52 44 50 30 20 30 32 31 35 31 03 67";
const char* const k01WdSv300 = "06 02 30 31 57 44 53 30 20 30 33 30 30 03 55";

// Left on the dialog before each command, so that "nothing changed" can be seen.
const char* const kLabelBefore = "ETX,77";
const char* const kDumpBefore = "AA BB ";
const QByteArray kZero = "    0"; // both readouts after start-up

} // namespace

class TestTypedCommand : public QObject {
    Q_OBJECT

private slots:
    void init() { ResetProgramState(); }

    void send_data();
    void send();
    void inputDuringTheWaitComesAfter();
};

void TestTypedCommand::send_data() {
    QTest::addColumn<QString>("text");       // typed into the command edit
    QTest::addColumn<QString>("list");       // before; '*' marks the selection
    QTest::addColumn<int>("curAddr");        // the address the cycle asked last; -1: the link was just opened
    QTest::addColumn<QByteArray>("pending"); // waiting at the console before the send
    QTest::addColumn<QByteArray>("sent");    // the request block; empty: nothing at all happens
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("listAfter");
    QTest::addColumn<int>("countAfter"); // m_byListCount
    QTest::addColumn<int>("rxLamp");
    QTest::addColumn<QByteArray>("pv");
    QTest::addColumn<QByteArray>("sv");

    const QByteArray zero = kZero;
    QTest::newRow("01RXP0: the poll request for 01, answer handled as at an answer tick")
        << "01RXP0"
        << "" << -1 << QByteArray() << RequestBlock("01RXP0", "6A") << Hex(k01Pv215) << "01*" << 1 << LAMP_ON
        << QByteArray("  21.5") << zero;
    QTest::newRow("pending input is only thrown away")
        << "01RXP0"
        << "" << -1 << Hex(k01Pv215) + "late" << RequestBlock("01RXP0", "6A") << Hex(k01Pv215) << "01*" << 1
        << LAMP_ON << QByteArray("  21.5") << zero;
    QTest::newRow("01rxp0: lower case is no command, nothing happens")
        << "01rxp0"
        << "03*" << 3 << QByteArray() << QByteArray() << QByteArray() << "03*" << 1 << LAMP_YELLOW << zero
        << zero;
    QTest::newRow("01R: too short, nothing happens")
        << "01R"
        << "03*" << 3 << QByteArray() << QByteArray() << QByteArray() << "03*" << 1 << LAMP_YELLOW << zero
        << zero;
    QTest::newRow("01RX: block check over whatever the buffer holds at 0..7")
        << "01RX"
        << "" << -1 << QByteArray() << Hex("02 30 31 52 58 03 20 00 2A") + QByteArray(15, char(0xFF))
        << QByteArray() << "" << 0 << LAMP_YELLOW << zero << zero;
    QTest::newRow("11-character write: 29 bytes, the WD answer accepted")
        << "01WXS0 0300"
        << "" << -1 << QByteArray() << RequestBlock("01WXS0 0300", "4F", 29) << Hex(k01WdSv300) << "01*" << 1
        << LAMP_ON << zero << QByteArray("  300");
    QTest::newRow("silent command removes the address polled last, not the typed one")
        << "07RXP0"
        << "03,05*" << 5 << QByteArray() << RequestBlock("07RXP0", "6C") << QByteArray() << "03*" << 1
        << LAMP_YELLOW << zero << zero;
    QTest::newRow("silent command before any poll since the link opened removes nothing")
        << "07RXP0"
        << "03,05*" << -1 << QByteArray() << RequestBlock("07RXP0", "6C") << QByteArray() << "03,05*" << 0
        << LAMP_YELLOW << zero << zero;
    // The edit takes 60 characters; the 60 go out framed as an RX command, with the block
    // check over STX and the first seven characters.
    QTest::newRow("61 characters: cut to 60 by the edit, sent as RX")
        << "01RXP0abcdefghijklmnopqrstuvwxyz0123456789ABCDEFGHIJKLMNOPQRS"
        << "" << -1 << QByteArray()
        << Hex("02 30 31 52 58 50 30 61 08 63 64 65 66 67 68 69 6A 6B 6C 6D 6E 6F 70 71") << QByteArray()
        << "" << 0 << LAMP_YELLOW << zero << zero;
    QTest::newRow("a character beyond Latin-1 goes out as '?'")
        << QString::fromUtf8("0\u20acRXP0") << "" << -1 << QByteArray() << RequestBlock("0?RXP0", "64")
        << QByteArray() << "" << 0 << LAMP_YELLOW << zero << zero;
}

void TestTypedCommand::send() {
    QFETCH(QString, text);
    QFETCH(QString, list);
    QFETCH(int, curAddr);
    QFETCH(QByteArray, pending);
    QFETCH(QByteArray, sent);
    QFETCH(QByteArray, reply);
    QFETCH(QString, listAfter);
    QFETCH(int, countAfter);
    QFETCH(int, rxLamp);
    QFETCH(QByteArray, pv);
    QFETCH(QByteArray, sv);

    ScriptedLine line;
    ConsoleRig rig(line.Path());
    CTestDlg& dlg = rig.Dlg();
    dlg.m_chkAutoscan->setChecked(false);
    dlg.OnAutoscan();
    rig.SetList(list);
    if (curAddr < 0) { // the list stays, the count and the address asked last are reset
        dlg.CloseLink();
        dlg.OpenLink();
    } else {
        dlg.m_cCurAddr = static_cast<int8_t>(curAddr);
    }
    // Lamps and texts in looks that no send leaves, so that any change shows.
    dlg.m_lamps.Draw(LAMP_X, TX_LAMP_Y, LAMP_RED);
    dlg.m_lamps.Draw(LAMP_X, RX_LAMP_Y, LAMP_YELLOW);
    dlg.m_stcBcc->setText(kLabelBefore);
    dlg.m_edtResponse->setText(kDumpBefore);
    dlg.m_edtCommand->clear();
    dlg.m_edtCommand->insert(text);
    const QString typed = dlg.m_edtCommand->text();
    if (!pending.isEmpty()) {
        line.Send(pending);
        QVERIFY(WaitQueuedAtConsole(line.Path(), int(pending.size())));
    }

    if (!sent.isEmpty())
        line.AnswerInBackground(int(sent.size()), reply);
    dlg.OnSend();

    QCOMPARE(dlg.m_edtCommand->text(), typed);
    QCOMPARE(int(dlg.m_cCurAddr), curAddr);
    QCOMPARE(rig.List(), listAfter);
    QCOMPARE(int(dlg.m_byListCount), countAfter);
    QCOMPARE(QByteArray(dlg.m_szPV), pv);
    QCOMPARE(QByteArray(dlg.m_szSV), sv);
    if (sent.isEmpty()) {
        QVERIFY(line.TakeQueued().isEmpty());
        QCOMPARE(QueuedAtConsole(line.Path()), int(pending.size()));
        QCOMPARE(dlg.m_stcBcc->text(), QString(kLabelBefore));
        QCOMPARE(dlg.m_edtResponse->text(), QString(kDumpBefore));
        QCOMPARE(rig.Lamp(TX_LAMP_Y), LAMP_RED);
        QCOMPARE(rig.Lamp(RX_LAMP_Y), LAMP_YELLOW);
        return;
    }
    QCOMPARE(line.BackgroundRequest().toHex(' '), sent.toHex(' '));
    QVERIFY(line.TakeQueued().isEmpty());
    const int frameLength = int(sent.size()) - REQUEST_TRAILER;
    QCOMPARE(dlg.m_stcBcc->text(),
             QString::asprintf("ETX,%02X", static_cast<unsigned char>(sent[frameLength - 1])));
    QCOMPARE(dlg.m_edtResponse->text(), DumpOf(reply));
    QCOMPARE(rig.Lamp(TX_LAMP_Y), LAMP_OFF);
    QCOMPARE(rig.Lamp(RX_LAMP_Y), rxLamp);
    // Only the readout of the answer's kind is drawn, and only for the selected address.
    if (pv != kZero)
        QVERIFY(rig.Shows(ROW_GREEN, PV_X, PV_Y, pv));
    if (sv != kZero)
        QVERIFY(rig.Shows(ROW_RED, SV_X, SV_Y, sv));
}

void TestTypedCommand::inputDuringTheWaitComesAfter() {
    ScriptedLine line;
    ConsoleRig rig(line.Path());
    CTestDlg& dlg = rig.Dlg();
    dlg.m_chkAutoscan->setChecked(false);
    dlg.OnAutoscan();
    dlg.m_edtCommand->setText("01RXP0");

    // Queued before the send: were anything to run the event loop during the wait, this key
    // would reach the edit before the answer is handled.
    QCoreApplication::postEvent(dlg.m_edtCommand,
                                new QKeyEvent(QEvent::KeyPress, Qt::Key_Z, Qt::NoModifier, "z"));
    line.AnswerInBackground(POLL_BLOCK_LENGTH, Hex(k01Pv215));
    dlg.OnSend();
    QCOMPARE(dlg.m_edtCommand->text(), QString("01RXP0"));
    QCOMPARE(rig.List(), QString("01*"));

    QCoreApplication::processEvents();
    QCOMPARE(dlg.m_edtCommand->text(), QString("01RXP0z"));
}

QTEST_MAIN(TestTypedCommand)
#include "tst_typed_command.moc"
