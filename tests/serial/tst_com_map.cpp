// COM numbers to device paths: the defaults, bindings, and what is refused.
#include <QtTest>

#include "com_map.h"

class TestComMap : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { ResetComDevicePaths(); }
    void defaults_data();
    void defaults();
    void bindOnePort();
    void refusedBindings_data();
    void refusedBindings();
};

void TestComMap::defaults_data() {
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("path");
    QTest::newRow("COM1") << 1 << "/dev/ttyS0";
    QTest::newRow("COM8") << 8 << "/dev/ttyS7";
    QTest::newRow("COM0") << 0 << "";
    QTest::newRow("COM9") << 9 << "";
    QTest::newRow("negative") << -1 << "";
}

void TestComMap::defaults() {
    QFETCH(int, port);
    QFETCH(QString, path);
    QCOMPARE(QString::fromStdString(ComDevicePath(port)), path);
}

void TestComMap::bindOnePort() {
    QVERIFY(SetComDevicePath(1, "/dev/ttyUSB0"));
    QVERIFY(SetComDevicePath(8, "/tmp/bus"));
    QCOMPARE(ComDevicePath(1), std::string("/dev/ttyUSB0"));
    QCOMPARE(ComDevicePath(2), std::string("/dev/ttyS1"));
    QCOMPARE(ComDevicePath(8), std::string("/tmp/bus"));
    QVERIFY(SetComDevicePath(1, "/dev/ttyUSB1")); // a later binding wins
    QCOMPARE(ComDevicePath(1), std::string("/dev/ttyUSB1"));
    ResetComDevicePaths();
    QCOMPARE(ComDevicePath(1), std::string("/dev/ttyS0"));
    QCOMPARE(ComDevicePath(8), std::string("/dev/ttyS7"));
}

void TestComMap::refusedBindings_data() {
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("path");
    QTest::newRow("COM0") << 0 << "/dev/ttyUSB0";
    QTest::newRow("COM9") << 9 << "/dev/ttyUSB0";
    QTest::newRow("empty path") << 3 << "";
}

void TestComMap::refusedBindings() {
    QFETCH(int, port);
    QFETCH(QString, path);
    QVERIFY(SetComDevicePath(3, "/dev/ttyACM0"));
    QVERIFY(!SetComDevicePath(port, path.toStdString()));
    QCOMPARE(ComDevicePath(3), std::string("/dev/ttyACM0"));
    QCOMPARE(ComDevicePath(port), port == 3 ? std::string("/dev/ttyACM0") : std::string());
}

QTEST_APPLESS_MAIN(TestComMap)
#include "tst_com_map.moc"
