// The console against the simulated bus: discovery on the real poll timer, a write that
// changes a controller, the decimal count shared between controllers, and a bus full of faults.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSet>
#include <QTest>

#include <cmath>
#include <cstring>

#include "console_rig.h"
#include "sim_server.h"

namespace {

SimOptions Bus(std::vector<SimController> controllers) {
    SimOptions options;
    options.controllers = std::move(controllers);
    options.pvMoves = false;
    return options;
}

// Texts FormatReading can give for a value that a controller sends as four digits with its own
// decimal count, read back with a decimal count of shown.
QByteArray ReadoutText(double value, int decimals, int shown) {
    const long digits = std::lround(value * std::pow(10.0, decimals));
    Reading reading;
    reading.nDecimals = shown;
    reading.fValue = float(double(digits) * std::pow(0.1, std::max(shown, 0)));
    char text[READOUT_TEXT_SIZE];
    FormatReading(reading, text);
    return text;
}

} // namespace

class TestPollingSim : public QObject {
    Q_OBJECT

private slots:
    void init() { ResetProgramState(); }

    void findsControllersOnTheRealTimer();
    void svShownWithAnotherControllersDecimals();
    void typedWriteChangesTheSetValue();
    void faultsNeverBreakTheCycle();

private:
    // One request tick and the answer tick after it, the latter once the bus has answered (or
    // the wait for an answer that may not come has ended).
    void Exchange(ConsoleRig& rig, SimServer& sim, std::chrono::milliseconds answerWait);
};

void TestPollingSim::Exchange(ConsoleRig& rig, SimServer& sim, std::chrono::milliseconds answerWait) {
    const uint64_t requests = sim.RequestsSeen();
    const uint64_t answers = sim.AnswersSent();
    rig.Dlg().OnTimer(0);
    QVERIFY(sim.WaitForRequests(requests + 1, 2s));
    if (sim.Controller(rig.Dlg().m_cCurAddr).address != 0 && sim.WaitForAnswers(answers + 1, answerWait))
        (void)WaitQueuedAtConsole(sim.DevicePath(), MIN_ANSWER_LENGTH, 100ms);
    rig.Dlg().OnTimer(0);
}

// As a user sees it: started, the console finds the bus, shows the selected controller, and
// then takes a typed command once "Autoscan" is unchecked.
void TestPollingSim::findsControllersOnTheRealTimer() {
    SimServer sim(Bus({{1, 21.5, 30.0, 1}, {2, 11.2, 15.0, 1}}));
    std::string error;
    QVERIFY2(sim.Start(&error), error.c_str());
    ConsoleRig rig(sim.DevicePath(), true);
    CTestDlg& dlg = rig.Dlg();
    QVERIFY(dlg.IsPolling());

    // walk 01, poll 01 (PV), walk 02, poll 01 (SV): eight ticks.
    QTRY_COMPARE_WITH_TIMEOUT(rig.List(), QString("01*,02"), 10000);
    QTRY_COMPARE_WITH_TIMEOUT(QByteArray(dlg.m_szSV), QByteArray("  30.0"), 10000);
    QCOMPARE(QByteArray(dlg.m_szPV), QByteArray("  21.5"));
    QVERIFY(rig.Shows(ROW_GREEN, PV_X, PV_Y, "  21.5"));
    QVERIFY(rig.Shows(ROW_RED, SV_X, SV_Y, "  30.0"));

    dlg.m_chkAutoscan->click();
    QVERIFY(!dlg.IsPolling());
    QVERIFY(dlg.m_btnSend->isEnabled());
    QVERIFY(dlg.m_edtCommand->isEnabled());
    dlg.m_edtCommand->setText("01RXS0");
    const uint64_t answers = sim.AnswersSent();
    dlg.m_btnSend->click();
    QCOMPARE(sim.AnswersSent(), answers + 1);
    QCOMPARE(dlg.m_stcBcc->text(), QString("ETX,69"));
    const std::vector<unsigned char> answer = BuildAnswerFrame('R', 1, true, 30.0, 1);
    QCOMPARE(dlg.m_edtResponse->text(),
             DumpOf(QByteArray(reinterpret_cast<const char*>(answer.data()), qsizetype(answer.size()))));
    QCOMPARE(rig.Lamp(RX_LAMP_Y), LAMP_ON);
}

// A PV answer from 05 to a walk step sets the decimal count that 03's next SV is shown with.
void TestPollingSim::svShownWithAnotherControllersDecimals() {
    SimServer sim(Bus({{3, 24.6, 30.0, 1}, {5, 112, 150, 0}}));
    std::string error;
    QVERIFY2(sim.Start(&error), error.c_str());
    ConsoleRig rig(sim.DevicePath());
    CTestDlg& dlg = rig.Dlg();
    rig.SetList("03*");
    g_nDecimals = 1;
    g_bPollSV = 0; // the next poll of 03 asks for SV
    dlg.m_byScanAddr = 4;
    dlg.m_bPollSelected = 0;

    Exchange(rig, sim, 2s);
    QCOMPARE(dlg.m_edtCommand->text(), QString("05RXP0"));
    QCOMPARE(rig.List(), QString("03*,05"));
    QCOMPARE(QByteArray(dlg.m_szPV), QByteArray("    0"));
    Exchange(rig, sim, 2s);
    QCOMPARE(dlg.m_edtCommand->text(), QString("03RXS0"));
    QCOMPARE(QByteArray(dlg.m_szSV), QByteArray("  300"));
    QVERIFY(rig.Shows(ROW_RED, SV_X, SV_Y, "  300"));
}

void TestPollingSim::typedWriteChangesTheSetValue() {
    SimServer sim(Bus({{1, 21.5, 30.0, 1}}));
    std::string error;
    QVERIFY2(sim.Start(&error), error.c_str());
    ConsoleRig rig(sim.DevicePath());
    CTestDlg& dlg = rig.Dlg();
    dlg.m_chkAutoscan->click();
    dlg.m_edtCommand->setText("01WXS0 0250");

    dlg.m_btnSend->click();
    QCOMPARE(sim.Controller(1).sv, 25.0);
    QCOMPARE(dlg.m_stcBcc->text(), QString("ETX,4B"));
    QCOMPARE(dlg.m_edtResponse->text(), DumpOf(Hex("06 02 30 31 57 44 53 30 20 30 32 35 30 03 51")));
    QCOMPARE(rig.Lamp(RX_LAMP_Y), LAMP_ON);
    QCOMPARE(rig.List(), QString("01*"));
    // No PV answer yet: the SV goes with the start-up decimal count of 0.
    QCOMPARE(QByteArray(dlg.m_szSV), QByteArray("  250"));
}

void TestPollingSim::faultsNeverBreakTheCycle() {
    SimOptions options = Bus({{1, 21.5, 30.0, 1},
                              {2, -5.5, 10.0, 1},
                              {3, 7.0, 8.0, 1},
                              {50, 112, 150, 0},
                              {51, -40, 45, 0},
                              {97, 1.25, 2.5, 2},
                              {98, 0.5, 0.75, 3},
                              {99, 3.25, 4.5, 2}});
    SimFaults& f = options.busFaults;
    f.delay = f.silence = f.badBcc = f.garbage = f.split = f.flood = f.wrongAddress = 0.1;
    f.delayMs = 100;
    f.splitPauseMs = 50;
    f.floodBytes = 100;
    options.seed = 20240611;
    SimServer sim(options);
    std::string error;
    QVERIFY2(sim.Start(&error), error.c_str());
    ConsoleRig rig(sim.DevicePath());
    CTestDlg& dlg = rig.Dlg();

    // Every text an accepted answer of these controllers can give, under any decimal count
    // that one of their PV answers can set.
    QSet<QByteArray> pvTexts{"    0"}, svTexts{"    0"};
    for (const SimController& c : options.controllers) {
        pvTexts << ReadoutText(c.pv, c.decimals, c.decimals);
        for (const SimController& other : options.controllers)
            svTexts << ReadoutText(c.sv, c.decimals, other.decimals);
    }

    const QRegularExpression address("^(0[1-9]|[1-9][0-9])$");
    int requests = 0;
    int mostListed = 0;
    for (; requests < 200; ++requests) {
        Exchange(rig, sim, 250ms);
        if (QTest::currentTestFailed())
            return;
        QStringList items;
        for (int i = 0; i < dlg.m_cmbAddress->count(); ++i)
            items << dlg.m_cmbAddress->itemText(i);
        for (const QString& item : items)
            QVERIFY2(address.match(item).hasMatch(), qPrintable(item));
        QStringList sorted = items;
        sorted.sort();
        sorted.removeDuplicates();
        QCOMPARE(items, sorted);
        QCOMPARE(int(dlg.m_byListCount), int(items.size()));
        QVERIFY(items.isEmpty() || dlg.m_cmbAddress->currentIndex() >= 0);
        QVERIFY2(pvTexts.contains(dlg.m_szPV), dlg.m_szPV);
        QVERIFY2(svTexts.contains(dlg.m_szSV), dlg.m_szSV);
        mostListed = std::max(mostListed, int(items.size()));
    }
    QCOMPARE(sim.RequestsSeen(), uint64_t(requests));
    QVERIFY(mostListed >= 2);
    QVERIFY(QByteArray(dlg.m_szPV) != "    0");
}

QTEST_MAIN(TestPollingSim)
#include "tst_polling_sim.moc"
