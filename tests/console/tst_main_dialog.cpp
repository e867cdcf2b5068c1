// The main dialog as a user meets it: start-up, the failure message, "Autoscan", the keys that
// end it, the about item, and its layout. Driven through the real dialog on a pseudo-terminal.
#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QCursor>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTest>

#include <memory>
#include <optional>

#include "about_dlg.h"
#include "com_map.h"
#include "console_fixture.h"
#include "panel_widget.h"
#include "serial_port.h"
#include "setup_dlg.h"
#include "test_dlg.h"

namespace {

enum class Com1 { Missing, Taken, Free };

// Drawing with a detached renderer must leave the panel alone.
bool RenderersDetached(CTestDlg& dlg) {
    const QImage before = dlg.m_stcPanel->image().copy();
    dlg.m_readout.m_nRow = ROW_RED;
    dlg.m_readout.Draw(PV_X, PV_Y, "88888");
    dlg.m_lamps.Draw(LAMP_X, TX_LAMP_Y, LAMP_RED);
    return dlg.m_stcPanel->image() == before;
}

} // namespace

class TestMainDialog : public QObject {
    Q_OBJECT
private slots:
    void init() { ResetComDevicePaths(); }

    void startUp_data();
    void startUp();
    void autoscanSwitchesControlsAndTimer();
    void keysAndCloseBoxEndIt_data();
    void keysAndCloseBoxEndIt();
    void contextMenuOpensAboutBox_data();
    void contextMenuOpensAboutBox();
    void aboutBoxForSystemCommands_data();
    void aboutBoxForSystemCommands();
    void layoutFitsItsTexts_data();
    void layoutFitsItsTexts();
    void opensCentredOnPointer_data();
    void opensCentredOnPointer();
};

void TestMainDialog::startUp_data() {
    QTest::addColumn<Com1>("com1");
    QTest::newRow("COM1 missing") << Com1::Missing;
    QTest::newRow("COM1 taken by another program") << Com1::Taken;
    QTest::newRow("COM1 free") << Com1::Free;
}

void TestMainDialog::startUp() {
    QFETCH(Com1, com1);
    TerminalLine line;
    SetComDevicePath(1, com1 == Com1::Missing ? MissingDevicePath() : line.Path());
    CSerialPort other;
    if (com1 == Com1::Taken)
        QVERIFY(other.Open(1, 9600, 8, 0, 0));

    CTestDlg dlg;
    BoxSeen box;
    StartConsole(dlg, &box, 2);

    const bool fails = com1 != Com1::Free;
    QCOMPARE(box.seen, fails);
    if (fails) {
        QCOMPARE(box.text, QStringLiteral("COM1 can't open!"));
        QCOMPARE(box.caption, QCoreApplication::applicationName());
        QVERIFY2(!box.informative.isEmpty(), "the system's reason is missing");
        // The timer was set before the port was tried, and ticked under the box.
        QVERIFY(box.polling);
        QVERIFY(!box.portOpen);
    }
    // OpenLink gave the polling state its start values after the ticks under the box.
    QCOMPARE(dlg.m_byScanAddr, uint8_t(0));
    QCOMPARE(dlg.m_cCurAddr, int8_t(-1));
    QCOMPARE(dlg.m_bAnswerDue, uint8_t(0));
    QCOMPARE(dlg.m_port.IsOpen(), !fails);

    QVERIFY(dlg.m_chkAutoscan->isChecked());
    QVERIFY(dlg.m_chkPnp->isChecked());
    QVERIFY(dlg.m_chkPnp->isEnabled());
    QVERIFY(!dlg.m_btnSend->isEnabled());
    QVERIFY(!dlg.m_edtCommand->isEnabled());
    QCOMPARE(dlg.m_szPV, "    0");
    QCOMPARE(dlg.m_szSV, "    0");
    QCOMPARE(dlg.m_cmbAddress->count(), 0);
    QCOMPARE(dlg.focusWidget(), dlg.m_cmbAddress);
    QCOMPARE(dlg.m_nPort, 0);
    QCOMPARE(dlg.m_nSpeed, 6);
    QCOMPARE(dlg.m_nDataBits, 1);
    QCOMPARE(dlg.m_nParity, 0);
    QCOMPARE(dlg.m_nStopBits, 0);
    QCOMPARE(dlg.windowTitle(), QStringLiteral("Orvel(N) Series RS485 test app."));
    QVERIFY(!dlg.windowIcon().isNull());

    if (!fails) {
        const termios tio = line.Settings();
        QCOMPARE(cfgetospeed(&tio), speed_t(B9600));
        QCOMPARE(tio.c_cflag & CSIZE, tcflag_t(CS8));
        QCOMPARE(tio.c_cflag & (PARENB | CSTOPB), tcflag_t(0));
        // The first poll is a tick away, not at once: a walk step to 01.
        QVERIFY(line.TakeQueued().isEmpty());
        QByteArray sent;
        QTRY_VERIFY_WITH_TIMEOUT((sent += line.TakeQueued()).size() >= 24, 3000);
        QCOMPARE(sent.toHex(' '),
                 QByteArray("02 30 31 52 58 50 30 03 6a 00 ff ff ff ff ff ff ff ff ff ff ff ff ff ff"));
    } else {
        // Polling goes on against the closed port.
        QVERIFY(dlg.IsPolling());
        QTRY_COMPARE_WITH_TIMEOUT(dlg.m_byScanAddr, uint8_t(1), 3000);
    }
}

void TestMainDialog::autoscanSwitchesControlsAndTimer() {
    TerminalLine line;
    SetComDevicePath(1, line.Path());
    CTestDlg dlg;
    StartConsole(dlg);
    // Stop right after a request tick, so that a restart that kept the phase would read first.
    QTRY_COMPARE_WITH_TIMEOUT(dlg.m_bAnswerDue, uint8_t(1), 3000);

    QTest::mouseClick(dlg.m_chkAutoscan, Qt::LeftButton);
    QVERIFY(!dlg.m_chkAutoscan->isChecked());
    QVERIFY(!dlg.IsPolling());
    QVERIFY(dlg.m_btnSend->isEnabled());
    QVERIFY(dlg.m_edtCommand->isEnabled());
    QVERIFY(!dlg.m_chkPnp->isEnabled());
    QVERIFY(dlg.m_chkPnp->isChecked());
    QVERIFY(dlg.m_port.IsOpen());

    line.TakeQueued();
    QTest::mouseClick(dlg.m_chkAutoscan, Qt::LeftButton);
    QVERIFY(dlg.m_chkAutoscan->isChecked());
    QVERIFY(dlg.IsPolling());
    QVERIFY(!dlg.m_btnSend->isEnabled());
    QVERIFY(!dlg.m_edtCommand->isEnabled());
    QVERIFY(dlg.m_chkPnp->isEnabled());
    QVERIFY(dlg.m_chkPnp->isChecked());
    QCOMPARE(dlg.m_bAnswerDue, uint8_t(0));
    QCOMPARE(dlg.m_bPollSelected, uint8_t(1));
    // The first tick after the restart is a request tick.
    QTRY_COMPARE_WITH_TIMEOUT(dlg.m_bAnswerDue, uint8_t(1), 3000);
    QCOMPARE(line.TakeQueued().left(1), QByteArray("\x02"));
}

void TestMainDialog::keysAndCloseBoxEndIt_data() {
    QTest::addColumn<QString>("focus"); // object name of the control the key goes to
    QTest::addColumn<int>("key");       // 0: the close box
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<bool>("typing"); // "Autoscan" unchecked, so the command edit and Send take focus
    QTest::addColumn<int>("result");  // -1: the dialog goes on

    const int plain = Qt::NoModifier;
    QTest::newRow("Return in the address list")
        << "IDC_ADDRESS" << int(Qt::Key_Return) << plain << false << int(QDialog::Accepted);
    QTest::newRow("keypad Enter in the address list")
        << "IDC_ADDRESS" << int(Qt::Key_Enter) << int(Qt::KeypadModifier) << false << int(QDialog::Accepted);
    QTest::newRow("Return on PNP") << "IDC_PNP" << int(Qt::Key_Return) << plain << false
                                   << int(QDialog::Accepted);
    QTest::newRow("Return in the command edit")
        << "IDC_COMMAND" << int(Qt::Key_Return) << plain << true << int(QDialog::Accepted);
    QTest::newRow("Return in the response line")
        << "IDC_RESPONSE" << int(Qt::Key_Return) << plain << false << int(QDialog::Accepted);
    QTest::newRow("Return on Send clicks it") << "IDC_SEND" << int(Qt::Key_Return) << plain << true << -1;
    QTest::newRow("Shift+Return in the address list")
        << "IDC_ADDRESS" << int(Qt::Key_Return) << int(Qt::ShiftModifier) << false << int(QDialog::Accepted);
    QTest::newRow("Escape in the address list")
        << "IDC_ADDRESS" << int(Qt::Key_Escape) << plain << false << int(QDialog::Rejected);
    QTest::newRow("Escape in the command edit")
        << "IDC_COMMAND" << int(Qt::Key_Escape) << plain << true << int(QDialog::Rejected);
    QTest::newRow("close box") << "IDC_ADDRESS" << 0 << plain << false << int(QDialog::Rejected);
}

void TestMainDialog::keysAndCloseBoxEndIt() {
    QFETCH(QString, focus);
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(bool, typing);
    QFETCH(int, result);

    TerminalLine line;
    SetComDevicePath(1, line.Path());
    CTestDlg dlg;
    StartConsole(dlg);
    if (typing) {
        QTest::mouseClick(dlg.m_chkAutoscan, Qt::LeftButton);
        dlg.m_edtCommand->clear(); // Send with no command sends nothing and does not wait
    }
    auto* target = dlg.findChild<QWidget*>(focus);
    QVERIFY(target);
    target->setFocus();
    QCOMPARE(dlg.focusWidget(), target);

    if (key == 0)
        dlg.close();
    else
        QTest::keyClick(target, Qt::Key(key), Qt::KeyboardModifiers(modifiers));

    if (result < 0) {
        QVERIFY(dlg.isVisible());
        QVERIFY(dlg.m_port.IsOpen());
        QVERIFY(!RenderersDetached(dlg));
        return;
    }
    QVERIFY(!dlg.isVisible());
    QCOMPARE(dlg.result(), result);
    // Timer, port and renderers are let go while the controls still exist.
    QVERIFY(!dlg.IsPolling());
    QVERIFY(!dlg.m_port.IsOpen());
    QVERIFY(RenderersDetached(dlg));
    // The port is really free again.
    CSerialPort again;
    QVERIFY(again.Open(1, 9600, 8, 0, 0));
}

void TestMainDialog::contextMenuOpensAboutBox_data() {
    QTest::addColumn<QString>("how");
    QTest::newRow("right button on the panel") << "mouse";
    QTest::newRow("Shift+F10") << "shift-f10";
    QTest::newRow("context menu key") << "menu-key";
}

void TestMainDialog::contextMenuOpensAboutBox() {
    QFETCH(QString, how);
    SetComDevicePath(1, MissingDevicePath());
    CTestDlg dlg;
    BoxSeen failure;
    StartConsole(dlg, &failure);
    QVERIFY(failure.seen);

    QStringList items;
    QString caption, version, button;
    bool buttonIsDefault = false;
    std::optional<int> scanAtOpen;
    ModalDriver driver;
    driver
        .Then(
            "context menu", [] { return qobject_cast<QMenu*>(QApplication::activePopupWidget()) != nullptr; },
            [&] {
                auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
                for (QAction* action : menu->actions())
                    items << (action->isSeparator() ? QStringLiteral("--") : action->text());
                QTest::keyClick(menu, Qt::Key_Down);
                QTest::keyClick(menu, Qt::Key_Return);
            })
        .Then(
            "about box with a tick under it",
            [&] {
                if (!ModalOf<CAboutDlg>())
                    return false;
                if (!scanAtOpen)
                    scanAtOpen = dlg.m_byScanAddr;
                return dlg.m_byScanAddr > *scanAtOpen;
            },
            [&] {
                CAboutDlg* about = ModalOf<CAboutDlg>();
                caption = about->windowTitle();
                for (QLabel* label : about->findChildren<QLabel*>())
                    if (label->text().startsWith(QStringLiteral("OrvelSeries")))
                        version = label->text();
                auto* ok = about->findChild<QPushButton*>();
                button = ok->text();
                buttonIsDefault = ok->isDefault();
                QTest::keyClick(about, Qt::Key_Return);
            });

    if (how == QLatin1String("mouse")) {
        // What the window system sends for a right-button press.
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(10, 10),
                                dlg.m_stcPanel->mapToGlobal(QPoint(10, 10)));
        QApplication::sendEvent(dlg.m_stcPanel, &event);
    } else if (how == QLatin1String("shift-f10")) {
        QTest::keyClick(dlg.m_cmbAddress, Qt::Key_F10, Qt::ShiftModifier);
    } else {
        // What the window system sends for the Menu key.
        QContextMenuEvent event(QContextMenuEvent::Keyboard, QPoint(5, 5),
                                dlg.m_cmbAddress->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(dlg.m_cmbAddress, &event);
    }

    QVERIFY2(driver.Finished(), qPrintable(driver.Pending()));
    QCOMPARE(items, (QStringList{QStringLiteral("--"), QStringLiteral("OrvelSeries 정보(&A)...")}));
    QCOMPARE(caption, QStringLiteral("OrvelSeries 정보"));
    QCOMPARE(version, QStringLiteral("OrvelSeries 버전 1.0"));
    QCOMPARE(button, QStringLiteral("확인"));
    QVERIFY(buttonIsDefault);
    QVERIFY(dlg.isVisible());
    QVERIFY(dlg.IsPolling());
}

void TestMainDialog::aboutBoxForSystemCommands_data() {
    QTest::addColumn<uint>("id");
    QTest::addColumn<bool>("opens");
    QTest::newRow("15") << 15u << false;
    QTest::newRow("16, IDM_ABOUTBOX") << 16u << true;
    QTest::newRow("17") << 17u << true;
    QTest::newRow("31") << 31u << true;
    QTest::newRow("32") << 32u << false;
    QTest::newRow("0x10010, high bits masked off") << 0x10010u << true;
    QTest::newRow("0xF060, close") << 0xF060u << false;
}

void TestMainDialog::aboutBoxForSystemCommands() {
    QFETCH(uint, id);
    QFETCH(bool, opens);
    CTestDlg dlg;
    ModalDriver driver(2s);
    driver.Then(
        "about box", [] { return ModalOf<CAboutDlg>() != nullptr; },
        [] { ModalOf<CAboutDlg>()->findChild<QPushButton*>()->click(); });
    dlg.OnSysCommand(id, 0);
    QCOMPARE(driver.Finished(), opens);
}

void TestMainDialog::layoutFitsItsTexts_data() {
    QTest::addColumn<QString>("which");
    QTest::addColumn<QString>("caption");
    QTest::newRow("main dialog") << "main"
                                 << "Orvel(N) Series RS485 test app.";
    QTest::newRow("settings dialog") << "setup"
                                     << "Setup RS232C/RS485";
    QTest::newRow("about box") << "about"
                               << "OrvelSeries 정보";
}

// Controls side by side never overlap, every text has the room it asks for, and the Korean
// texts have a font with Hangul in it.
void TestMainDialog::layoutFitsItsTexts() {
    QFETCH(QString, which);
    QFETCH(QString, caption);
    SetComDevicePath(1, MissingDevicePath());
    std::unique_ptr<QDialog> dialog;
    if (which == QLatin1String("main")) {
        auto main = std::make_unique<CTestDlg>();
        StartConsole(*main);
        QCOMPARE(main->m_stcPanel->geometry(), QRect(0, 0, 264, 162));
        dialog = std::move(main);
    } else {
        if (which == QLatin1String("setup"))
            dialog = std::make_unique<CSetupDlg>();
        else
            dialog = std::make_unique<CAboutDlg>();
        dialog->show();
    }
    QCOMPARE(dialog->windowTitle(), caption);
    QVERIFY(QFontMetrics(dialog->font()).inFont(QChar(0xD655))); // 확

    const QList<QWidget*> controls = dialog->findChildren<QWidget*>();
    QVERIFY(controls.size() >= 4);
    for (QWidget* a : controls) {
        if (!a->isVisible() || a->isWindow())
            continue;
        QVERIFY2(a->parentWidget()->rect().contains(a->geometry()),
                 qPrintable(a->objectName() + " sticks out"));
        const QSize wanted = a->minimumSizeHint().expandedTo(
            qobject_cast<QLabel*>(a) || qobject_cast<QAbstractButton*>(a) || qobject_cast<QGroupBox*>(a)
                ? a->sizeHint()
                : QSize());
        QVERIFY2(
            a->width() >= wanted.width() && a->height() >= wanted.height(),
            qPrintable(
                QStringLiteral("%1 (%2) is clipped").arg(a->objectName(), a->metaObject()->className())));
        for (QWidget* b : controls) {
            if (a == b || b->isWindow() || !b->isVisible() || a->parentWidget() != b->parentWidget())
                continue;
            QVERIFY2(!a->geometry().intersects(b->geometry()),
                     qPrintable(QStringLiteral("%1 overlaps %2").arg(a->objectName(), b->objectName())));
        }
    }
}

void TestMainDialog::opensCentredOnPointer_data() {
    QTest::addColumn<bool>("settings");
    QTest::addColumn<QPoint>("pointer"); // from the top left of the available area
    QTest::newRow("main dialog") << false << QPoint(230, 170);
    QTest::newRow("settings dialog") << true << QPoint(200, 260);
    QTest::newRow("main dialog, pointer in a corner: kept on the screen") << false << QPoint(3, 3);
    QTest::newRow("settings dialog, pointer in a corner: kept on the screen") << true << QPoint(3, 3);
}

void TestMainDialog::opensCentredOnPointer() {
    QFETCH(bool, settings);
    QFETCH(QPoint, pointer);
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    QCursor::setPos(area.topLeft() + pointer);
    QCOMPARE(QCursor::pos(), area.topLeft() + pointer);

    SetComDevicePath(1, MissingDevicePath());
    std::unique_ptr<QDialog> dialog;
    if (settings) {
        dialog = std::make_unique<CSetupDlg>();
        dialog->show();
    } else {
        auto main = std::make_unique<CTestDlg>();
        StartConsole(*main);
        dialog = std::move(main);
    }
    const QRect placed = dialog->frameGeometry();
    QVERIFY2(area.contains(placed),
             qPrintable(QStringLiteral("placed at %1,%2").arg(placed.x()).arg(placed.y())));
    const QPoint wanted = area.topLeft() + pointer - QPoint(placed.width() / 2, placed.height() / 2);
    if (area.contains(QRect(wanted, placed.size())))
        QCOMPARE(placed.topLeft(), wanted);
    else
        QCOMPARE(placed.topLeft(), area.topLeft());
}

QTEST_MAIN(TestMainDialog)
#include "tst_main_dialog.moc"
