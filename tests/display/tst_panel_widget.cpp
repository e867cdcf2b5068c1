// The panel widget and its pixel copy: clipping arithmetic, the retained picture that survives
// every repaint, the immediate repaint of a copied rectangle, and the click.
#include <QtTest>

#include <climits>

#include "display_fixture.h"
#include "lamp_display.h"
#include "panel_widget.h"
#include "pixel_copy.h"
#include "segment_display.h"

namespace {

// Records the paint events a widget receives.
class PaintRecorder : public QObject {
public:
    QList<QRect> rects;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            rects.append(static_cast<QPaintEvent*>(event)->rect());
        return false;
    }
};

QImage Grab(PanelWidget& panel) {
    return panel.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

}  // namespace

class TestPanelWidget : public QObject {
    Q_OBJECT
private slots:
    void clipCopy_data();
    void clipCopy();
    void copyPixelsBetweenFormats();
    void showsThePanelPictureAtItsSize();
    void keepsWhatIsDrawnOverRepaints();
    void repaintsACopiedRectangleAtOnce();
    void clicked_data();
    void clicked();
};

void TestPanelWidget::clipCopy_data() {
    // source size, source point, copy size, destination size, destination point
    QTest::addColumn<QList<int>>("in");  // srcW srcH sx sy w h dstW dstH dx dy
    QTest::addColumn<QList<int>>("out"); // sx sy dx dy w h; all 0 when nothing is copied
    QTest::newRow("inside both") << QList<int>{312, 144, 48, 48, 24, 48, 264, 162, 73, 95}
                                 << QList<int>{48, 48, 73, 95, 24, 48};
    QTest::newRow("past the destination's right edge") << QList<int>{264, 162, 0, 0, 288, 48, 264, 162, 73, 34}
                                                       << QList<int>{0, 0, 73, 34, 191, 48};
    QTest::newRow("past the source's right edge") << QList<int>{264, 162, 0, 0, 288, 48, 400, 162, 0, 0}
                                                  << QList<int>{0, 0, 0, 0, 264, 48};
    QTest::newRow("left of the destination") << QList<int>{264, 162, 0, 0, 120, 48, 264, 162, -10, 34}
                                             << QList<int>{10, 0, 0, 34, 110, 48};
    QTest::newRow("left of and above the source") << QList<int>{96, 30, -5, -2, 24, 6, 264, 162, 4, 143}
                                                  << QList<int>{0, 0, 9, 145, 19, 4};
    QTest::newRow("left of both") << QList<int>{96, 30, -3, 24, 24, 6, 264, 162, -5, 0}
                                  << QList<int>{2, 24, 0, 0, 19, 6};
    QTest::newRow("below the destination") << QList<int>{312, 144, 0, 0, 24, 48, 264, 162, 73, 140}
                                           << QList<int>{0, 0, 73, 140, 24, 22};
    QTest::newRow("row below the sheet") << QList<int>{312, 144, 0, 144, 24, 48, 264, 162, 0, 0}
                                         << QList<int>{0, 0, 0, 0, 0, 0};
    QTest::newRow("at the destination's edge") << QList<int>{96, 30, 0, 24, 24, 6, 264, 162, 264, 0}
                                               << QList<int>{0, 0, 0, 0, 0, 0};
    QTest::newRow("no width") << QList<int>{96, 30, 0, 24, 0, 6, 264, 162, 4, 143}
                              << QList<int>{0, 0, 0, 0, 0, 0};
    QTest::newRow("negative height") << QList<int>{96, 30, 0, 24, 24, -6, 264, 162, 4, 143}
                                     << QList<int>{0, 0, 0, 0, 0, 0};
    QTest::newRow("destination at INT_MAX") << QList<int>{96, 30, 0, 24, 24, 6, 264, 162, INT_MAX, INT_MAX}
                                            << QList<int>{0, 0, 0, 0, 0, 0};
    QTest::newRow("destination at INT_MIN") << QList<int>{96, 30, 0, 24, 24, 6, 264, 162, INT_MIN, INT_MIN}
                                            << QList<int>{0, 0, 0, 0, 0, 0};
    QTest::newRow("source at INT_MIN, size INT_MAX") << QList<int>{96, 30, INT_MIN, 0, INT_MAX, 6, 264, 162, 0, 0}
                                                     << QList<int>{0, 0, 0, 0, 0, 0};
    QTest::newRow("size INT_MAX") << QList<int>{96, 30, 0, 0, INT_MAX, INT_MAX, 264, 162, 10, 150}
                                  << QList<int>{0, 0, 10, 150, 96, 12};
}

void TestPanelWidget::clipCopy() {
    QFETCH(QList<int>, in);
    QFETCH(QList<int>, out);
    const CopyRect r = ClipCopy(in[0], in[1], in[2], in[3], in[4], in[5], in[6], in[7], in[8], in[9]);
    QCOMPARE((QList<int>{r.sx, r.sy, r.dx, r.dy, r.w, r.h}), out);
}

// Another 32-bit source is copied pixel by pixel; a destination of another depth is left alone.
void TestPanelWidget::copyPixelsBetweenFormats() {
    QImage source(4, 3, QImage::Format_ARGB32);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x)
            source.setPixel(x, y, fixture::Rgb(0x102030u * uint(1 + x + 4 * y)));
    QImage target = fixture::Solid(10, 10, 0xFF00FF);
    bool changed = false;
    QCOMPARE(CopyPixels(target, 6, 8, source, 1, 0, 3, 3, &changed), QRect(6, 8, 3, 2));
    QVERIFY(changed);
    QImage expected = fixture::Solid(10, 10, 0xFF00FF);
    fixture::Paste(expected, source, QRect(1, 0, 3, 2), QPoint(6, 8));
    COMPARE_IMAGES(target, expected);
    QCOMPARE(CopyPixels(target, 6, 8, source, 1, 0, 3, 3, &changed), QRect(6, 8, 3, 2));
    QVERIFY(!changed);

    // The same for a source of the destination's own format, where a single differing pixel
    // in the last row must still count.
    QImage same = target.copy();
    QVERIFY(CopyPixels(target, 0, 0, same, 0, 0, 10, 10, &changed) == QRect(0, 0, 10, 10) && !changed);
    same.setPixel(9, 9, fixture::Rgb(0x123456));
    QVERIFY(CopyPixels(target, 0, 0, same, 0, 0, 10, 10, &changed) == QRect(0, 0, 10, 10) && changed);
    COMPARE_IMAGES(target, same);

    QImage indexed(10, 10, QImage::Format_Indexed8);
    indexed.setColorTable({fixture::Rgb(0)});
    indexed.fill(0);
    QVERIFY(CopyPixels(indexed, 0, 0, source, 0, 0, 4, 3).isEmpty());
    QCOMPARE(indexed.pixelIndex(0, 0), 0);
}

void TestPanelWidget::showsThePanelPictureAtItsSize() {
    PanelWidget panel;
    const QImage printed = fixture::Load(":/orvel/panel.png");
    COMPARE_IMAGES(panel.image(), printed);
    QCOMPARE(panel.size(), QSize(264, 162));
    QCOMPARE(panel.minimumSize(), panel.maximumSize());
    panel.setPicture(fixture::Solid(40, 20, 0x123456));
    QCOMPARE(panel.size(), QSize(40, 20));
    QCOMPARE(panel.image().format(), PanelWidget::kFormat);
}

// What the renderers drew stays on the panel through full repaints, hiding and showing.
void TestPanelWidget::keepsWhatIsDrawnOverRepaints() {
    PanelWidget panel;
    panel.show();
    QVERIFY(QTest::qWaitForWindowExposed(&panel));
    CSegmentDisplay readout;
    CLampDisplay lamps;
    readout.Attach(&panel);
    lamps.Attach(&panel);
    readout.Draw(73, 34, "  12.3");
    readout.m_nRow = ROW_RED;
    readout.Draw(73, 95, "  25.0");
    lamps.Draw(4, 149, LAMP_YELLOW);
    const QImage drawn = panel.image().copy();
    QVERIFY(drawn != fixture::Load(":/orvel/panel.png"));

    PaintRecorder recorder;
    panel.installEventFilter(&recorder);
    panel.update();
    QTRY_VERIFY(recorder.rects.contains(panel.rect()));
    COMPARE_IMAGES(Grab(panel), drawn);

    panel.hide();
    panel.show();
    QVERIFY(QTest::qWaitForWindowExposed(&panel));
    COMPARE_IMAGES(panel.image(), drawn);
    COMPARE_IMAGES(Grab(panel), drawn);
}

// A lamp drawn before a blocking call must show during it: the copied rectangle is painted
// before copyFrom returns, without the event loop running.
void TestPanelWidget::repaintsACopiedRectangleAtOnce() {
    PanelWidget panel;
    panel.show();
    QVERIFY(QTest::qWaitForWindowExposed(&panel));
    PaintRecorder recorder;
    panel.installEventFilter(&recorder);
    CLampDisplay lamps;
    lamps.Attach(&panel);

    lamps.Draw(4, 143, LAMP_ON);
    QCOMPARE(recorder.rects, QList<QRect>{QRect(4, 143, 24, 6)});

    recorder.rects.clear();
    lamps.Draw(300, 143, LAMP_ON);  // nothing lands on the panel, so nothing is repainted
    QVERIFY(recorder.rects.isEmpty());

    // The same look again changes no pixel: the screen already shows it.
    lamps.Draw(4, 143, LAMP_ON);
    QVERIFY(recorder.rects.isEmpty());
    COMPARE_IMAGES(Grab(panel), panel.image());

    recorder.rects.clear();  // the grab painted the whole panel
    lamps.Draw(4, 143, LAMP_OFF);
    QCOMPARE(recorder.rects, QList<QRect>{QRect(4, 143, 24, 6)});
}

void TestPanelWidget::clicked_data() {
    QTest::addColumn<Qt::MouseButton>("button");
    QTest::addColumn<QPoint>("release");
    QTest::addColumn<int>("clicks");
    QTest::newRow("left button inside") << Qt::LeftButton << QPoint(100, 50) << 1;
    QTest::newRow("left button on the last pixel") << Qt::LeftButton << QPoint(263, 161) << 1;
    QTest::newRow("left button released outside") << Qt::LeftButton << QPoint(264, 50) << 0;
    QTest::newRow("right button") << Qt::RightButton << QPoint(100, 50) << 0;
}

void TestPanelWidget::clicked() {
    QFETCH(Qt::MouseButton, button);
    QFETCH(QPoint, release);
    QFETCH(int, clicks);
    PanelWidget panel;
    panel.show();
    QVERIFY(QTest::qWaitForWindowExposed(&panel));
    QSignalSpy spy(&panel, &PanelWidget::clicked);
    QTest::mousePress(&panel, button, {}, QPoint(100, 50));
    QTest::mouseRelease(&panel, button, {}, release);
    QCOMPARE(spy.count(), clicks);
}

QTEST_MAIN(TestPanelWidget)
#include "tst_panel_widget.moc"
