// The port settings dialog on its own, and as the main dialog applies it: a confirmed change
// reopens the link, anything else leaves the link and the poll cycle alone.
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

#include "com_map.h"
#include "console_fixture.h"
#include "panel_widget.h"
#include "port_settings.h"
#include "serial_port.h"
#include "setup_dlg.h"
#include "test_dlg.h"

namespace {

// The lists in the order the dialog fills them.
const QStringList kLists = {QStringLiteral("IDC_PORT"), QStringLiteral("IDC_SPEED"),
                            QStringLiteral("IDC_PARITY"), QStringLiteral("IDC_DATABITS"),
                            QStringLiteral("IDC_STOPBITS")};

template <typename Settings> QList<int> Positions(const Settings& s) {
    return {s.m_nPort, s.m_nSpeed, s.m_nParity, s.m_nDataBits, s.m_nStopBits};
}

template <typename Settings> void SetPositions(Settings& s, const QList<int>& p) {
    s.m_nPort = p[0];
    s.m_nSpeed = p[1];
    s.m_nParity = p[2];
    s.m_nDataBits = p[3];
    s.m_nStopBits = p[4];
}

// Picks as "IDC_SPEED=8", made in the given order, the way a user moves a list's selection.
void Pick(QDialog* dlg, const QStringList& picks) {
    for (const QString& pick : picks) {
        const QStringList parts = pick.split(QLatin1Char('='));
        auto* list = dlg->findChild<QComboBox*>(parts[0]);
        QVERIFY2(list, qPrintable(parts[0]));
        list->setCurrentIndex(parts[1].toInt());
    }
}

QStringList Texts(const QComboBox* list) {
    QStringList texts;
    for (int i = 0; i < list->count(); ++i)
        texts << list->itemText(i);
    return texts;
}

template <size_t N> QStringList Texts(const std::array<const char*, N>& table) {
    QStringList texts;
    for (const char* text : table)
        texts << QString::fromLatin1(text);
    return texts;
}

// True when COM<port> cannot be had because a port of this process holds it.
bool Held(int port) {
    CSerialPort probe;
    return probe.Open(port, 9600, 8, 0, 0) == nullptr;
}

} // namespace

class TestSettingsDialog : public QObject {
    Q_OBJECT
private slots:
    void init() { ResetComDevicePaths(); }

    void listsLabelsAndTooltips();
    void showsAndHandsBack_data();
    void showsAndHandsBack();
    void panelClickApplies_data();
    void panelClickApplies();
};

void TestSettingsDialog::listsLabelsAndTooltips() {
    SetComDevicePath(3, "/dev/ttyUSB0");
    CSetupDlg dlg;
    dlg.show();
    QCOMPARE(dlg.windowTitle(), QStringLiteral("Setup RS232C/RS485"));
    QCOMPARE(dlg.findChild<QGroupBox*>()->title(), QStringLiteral("RS232C"));

    const QStringList expected[] = {Texts(kPortTexts), Texts(kSpeedTexts), Texts(kParityTexts),
                                    Texts(kDataBitsTexts), Texts(kStopBitsTexts)};
    QCOMPARE(expected[1].size(), 15);
    QCOMPARE(expected[1].first(), QStringLiteral("110"));
    QCOMPARE(expected[1].last(), QStringLiteral("256000"));
    for (int i = 0; i < kLists.size(); ++i)
        QCOMPARE(Texts(dlg.findChild<QComboBox*>(kLists[i])), expected[i]);

    auto* port = dlg.findChild<QComboBox*>(QStringLiteral("IDC_PORT"));
    for (int i = 0; i < port->count(); ++i) {
        const QString tip = port->itemData(i, Qt::ToolTipRole).toString();
        QCOMPARE(tip, i == 2 ? QStringLiteral("/dev/ttyUSB0") : QStringLiteral("/dev/ttyS%1").arg(i));
    }

    // Each list stands beside its label, in the same row.
    const QStringList labels = {QStringLiteral("Port :"), QStringLiteral("Speed :"),
                                QStringLiteral("Parity :"), QStringLiteral("Data :"),
                                QStringLiteral("Stop :")};
    for (int i = 0; i < labels.size(); ++i) {
        QLabel* label = nullptr;
        for (QLabel* l : dlg.findChildren<QLabel*>())
            if (l->text() == labels[i])
                label = l;
        QVERIFY2(label, qPrintable(labels[i]));
        const QRect list = dlg.findChild<QComboBox*>(kLists[i])->geometry();
        QVERIFY(label->geometry().right() < list.left());
        QVERIFY(label->geometry().center().y() >= list.top() &&
                label->geometry().center().y() <= list.bottom());
    }

    // Tab order: the lists as filled, then OK and Cancel; OK is the default button.
    auto* ok = dlg.findChild<QPushButton*>(QStringLiteral("IDOK"));
    auto* cancel = dlg.findChild<QPushButton*>(QStringLiteral("IDCANCEL"));
    QCOMPARE(ok->text(), QStringLiteral("OK"));
    QCOMPARE(cancel->text(), QStringLiteral("Cancel"));
    QVERIFY(ok->isDefault());
    QList<QWidget*> chain;
    QWidget* w = port;
    for (int i = 0; i < 7; ++i, w = w->nextInFocusChain()) {
        while (w->focusPolicy() == Qt::NoFocus)
            w = w->nextInFocusChain();
        chain << w;
    }
    QCOMPARE(chain,
             (QList<QWidget*>{port, dlg.findChild<QComboBox*>(kLists[1]),
                              dlg.findChild<QComboBox*>(kLists[2]), dlg.findChild<QComboBox*>(kLists[3]),
                              dlg.findChild<QComboBox*>(kLists[4]), ok, cancel}));
    QCOMPARE(dlg.focusWidget(), port);
}

void TestSettingsDialog::showsAndHandsBack_data() {
    QTest::addColumn<QList<int>>("given"); // port, speed, parity, data bits, stop bits
    QTest::addColumn<QStringList>("picks");
    QTest::addColumn<QString>("end"); // OK, Enter, Cancel, Escape
    QTest::addColumn<QStringList>("shown");
    QTest::addColumn<QList<int>>("after");
    QTest::addColumn<int>("result");

    const QList<int> defaults = {0, 6, 0, 1, 0};
    const QStringList defaultTexts = {"COM1", "9600", "None", "8-bit", "1-bit"};
    const int ok = QDialog::Accepted, cancel = QDialog::Rejected;
    QTest::newRow("defaults shown, OK")
        << defaults << QStringList() << "OK" << defaultTexts << defaults << ok;
    QTest::newRow("every list changed, OK")
        << defaults
        << QStringList{"IDC_PORT=7", "IDC_SPEED=14", "IDC_PARITY=2", "IDC_DATABITS=0", "IDC_STOPBITS=1"}
        << "OK" << defaultTexts << QList<int>{7, 14, 2, 0, 1} << ok;
    QTest::newRow("first positions, Enter")
        << defaults << QStringList{"IDC_PORT=0", "IDC_SPEED=0", "IDC_PARITY=0", "IDC_DATABITS=0"} << "Enter"
        << defaultTexts << QList<int>{0, 0, 0, 0, 0} << ok;
    QTest::newRow("changed, Cancel") << defaults << QStringList{"IDC_PORT=3", "IDC_SPEED=0"} << "Cancel"
                                     << defaultTexts << defaults << cancel;
    QTest::newRow("changed, Escape") << defaults << QStringList{"IDC_STOPBITS=1"} << "Escape" << defaultTexts
                                     << defaults << cancel;
    QTest::newRow("last positions shown")
        << QList<int>{7, 14, 2, 0, 1} << QStringList() << "OK"
        << QStringList{"COM8", "256000", "Even", "7-bit", "2-bit"} << QList<int>{7, 14, 2, 0, 1} << ok;
    QTest::newRow("-1 selects nothing")
        << QList<int>{-1, -1, -1, -1, -1} << QStringList() << "OK" << QStringList{"", "", "", "", ""}
        << QList<int>{-1, -1, -1, -1, -1} << ok;
    QTest::newRow("a position past the list selects nothing")
        << QList<int>{8, 15, 3, 2, 2} << QStringList() << "OK" << QStringList{"", "", "", "", ""}
        << QList<int>{-1, -1, -1, -1, -1} << ok;
}

void TestSettingsDialog::showsAndHandsBack() {
    QFETCH(QList<int>, given);
    QFETCH(QStringList, picks);
    QFETCH(QString, end);
    QFETCH(QStringList, shown);
    QFETCH(QList<int>, after);
    QFETCH(int, result);

    CSetupDlg dlg;
    QCOMPARE(Positions(dlg), (QList<int>{-1, -1, -1, -1, -1}));
    SetPositions(dlg, given);
    dlg.show();
    QStringList texts;
    for (const QString& name : kLists)
        texts << dlg.findChild<QComboBox*>(name)->currentText();
    QCOMPARE(texts, shown);

    Pick(&dlg, picks);
    if (end == QLatin1String("OK"))
        dlg.findChild<QPushButton*>(QStringLiteral("IDOK"))->click();
    else if (end == QLatin1String("Cancel"))
        dlg.findChild<QPushButton*>(QStringLiteral("IDCANCEL"))->click();
    else
        QTest::keyClick(dlg.findChild<QComboBox*>(QStringLiteral("IDC_PORT")),
                        end == QLatin1String("Enter") ? Qt::Key_Return : Qt::Key_Escape);
    QVERIFY(!dlg.isVisible());
    QCOMPARE(dlg.result(), result);
    QCOMPARE(Positions(dlg), after);
}

void TestSettingsDialog::panelClickApplies_data() {
    QTest::addColumn<bool>("autoscan");
    QTest::addColumn<QStringList>("picks");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QList<int>>("settings"); // port, speed, parity, data bits, stop bits afterwards
    QTest::addColumn<QString>("box");         // the failure message, if any
    QTest::addColumn<int>("line"); // terminal the port is open on afterwards: 1, 2, or 0 for closed
    QTest::addColumn<uint>("speed");
    QTest::addColumn<uint>("frame"); // data bits, parity and stop bits of that terminal

    const QList<int> defaults = {0, 6, 0, 1, 0};
    const uint frame8N1 = CS8;
    QTest::newRow("Cancel after a change")
        << true << QStringList{"IDC_SPEED=8"} << false << defaults << "" << 1 << uint(B9600) << frame8N1;
    QTest::newRow("OK without a change")
        << true << QStringList() << true << defaults << "" << 1 << uint(B9600) << frame8N1;
    QTest::newRow("OK after changing and changing back")
        << true << QStringList{"IDC_SPEED=8", "IDC_PARITY=1", "IDC_SPEED=6", "IDC_PARITY=0"} << true
        << defaults << "" << 1 << uint(B9600) << frame8N1;
    QTest::newRow("OK with a new speed") << true << QStringList{"IDC_SPEED=8"} << true
                                         << QList<int>{0, 8, 0, 1, 0} << "" << 1 << uint(B19200) << frame8N1;
    QTest::newRow("OK with a new speed, Autoscan off")
        << false << QStringList{"IDC_SPEED=12"} << true << QList<int>{0, 12, 0, 1, 0} << "" << 1
        << uint(B115200) << frame8N1;
    // A pseudo-terminal always keeps 8 bits without parity; the stop bits show.
    QTest::newRow("OK with 7E2") << true << QStringList{"IDC_PARITY=2", "IDC_DATABITS=0", "IDC_STOPBITS=1"}
                                 << true << QList<int>{0, 6, 2, 0, 1} << "" << 1 << uint(B9600)
                                 << uint(CS8 | CSTOPB);
    QTest::newRow("OK with COM2") << true << QStringList{"IDC_PORT=1"} << true << QList<int>{1, 6, 0, 1, 0}
                                  << "" << 2 << uint(B9600) << frame8N1;
    QTest::newRow("OK with COM8, which is missing")
        << true << QStringList{"IDC_PORT=7"} << true << QList<int>{7, 6, 0, 1, 0} << "COM8 can't open!" << 0
        << 0u << 0u;
    QTest::newRow("OK with COM8, which is missing, Autoscan off")
        << false << QStringList{"IDC_PORT=7"} << true << QList<int>{7, 6, 0, 1, 0} << "COM8 can't open!" << 0
        << 0u << 0u;
}

void TestSettingsDialog::panelClickApplies() {
    QFETCH(bool, autoscan);
    QFETCH(QStringList, picks);
    QFETCH(bool, ok);
    QFETCH(QList<int>, settings);
    QFETCH(QString, box);
    QFETCH(int, line);
    QFETCH(uint, speed);
    QFETCH(uint, frame);

    TerminalLine line1, line2;
    SetComDevicePath(1, line1.Path());
    SetComDevicePath(2, line2.Path());
    SetComDevicePath(8, MissingDevicePath());
    CTestDlg dlg;
    StartConsole(dlg);
    QVERIFY(dlg.m_port.IsOpen());
    if (!autoscan)
        QTest::mouseClick(dlg.m_chkAutoscan, Qt::LeftButton);
    dlg.m_cmbAddress->addItem(QStringLiteral("03"));
    // A walk far from 03, so that the cycle leaves the list alone while the dialog is open,
    // and a state that a reopen would reset.
    dlg.m_byScanAddr = 50;
    dlg.m_cCurAddr = 50;

    QList<int> shown;
    BoxSeen failure;
    ModalDriver driver;
    driver.Then(
        "settings dialog, with a tick under it while polling",
        [&] { return ModalOf<CSetupDlg>() && (!autoscan || dlg.m_byScanAddr > 50); },
        [&] {
            CSetupDlg* setup = ModalOf<CSetupDlg>();
            shown = Positions(*setup);
            Pick(setup, picks);
            setup->findChild<QPushButton*>(ok ? QStringLiteral("IDOK") : QStringLiteral("IDCANCEL"))->click();
        });
    if (!box.isEmpty())
        driver.Then(
            "failure box", [] { return ModalOf<QMessageBox>() != nullptr; },
            [&] { RecordAndClose(ModalOf<QMessageBox>(), dlg, &failure); });
    QTest::mouseClick(dlg.m_stcPanel, Qt::LeftButton, Qt::NoModifier, QPoint(100, 80));

    QVERIFY2(driver.Finished(), qPrintable(driver.Pending()));
    QCOMPARE(shown, (QList<int>{0, 6, 0, 1, 0}));
    QCOMPARE(Positions(dlg), settings);
    const bool reopened = settings != shown;
    QCOMPARE(dlg.m_byScanAddr == 0, reopened);
    QCOMPARE(dlg.IsPolling(), autoscan);
    QCOMPARE(dlg.m_chkAutoscan->isChecked(), autoscan);
    QCOMPARE(dlg.m_btnSend->isEnabled(), !autoscan);
    if (reopened) {
        QCOMPARE(dlg.m_cCurAddr, int8_t(-1));
        QCOMPARE(dlg.m_byListCount, uint8_t(0));
        QCOMPARE(dlg.m_cmbAddress->count(), 1);
    } else {
        QVERIFY(dlg.m_byScanAddr >= 50);
    }

    QCOMPARE(failure.seen, !box.isEmpty());
    if (failure.seen) {
        QCOMPARE(failure.text, box);
        QVERIFY(!failure.polling); // no tick under the box of a reopen
        QVERIFY(!failure.portOpen);
    }
    QCOMPARE(dlg.m_port.IsOpen(), line != 0);
    if (line != 0) {
        const termios tio = (line == 1 ? line1 : line2).Settings();
        QCOMPARE(uint(cfgetospeed(&tio)), speed);
        QCOMPARE(uint(tio.c_cflag & (CSIZE | PARENB | PARODD | CSTOPB)), frame);
    }
    // Last, since a probe that gets a terminal sets it up its own way.
    QCOMPARE(Held(1), line == 1);
    QCOMPARE(Held(2), line == 2);
}

QTEST_MAIN(TestSettingsDialog)
#include "tst_settings_dialog.moc"
