// Helpers shared by the display tests: the pictures as the program loads them, an independent
// way to build the expected images (QPainter in source mode, not the code under test), and a
// comparison that names the first wrong pixel.
#pragma once

#include <QImage>
#include <QPainter>
#include <QRect>
#include <QString>
#include <QTest>

#include <climits>
#include <cstdint>

namespace fixture {

inline QRgb Rgb(uint32_t rgb) {
    return 0xFF000000u | rgb;
}

// A resource picture in the panel's pixel format; null when it is missing.
inline QImage Load(const char* resource) {
    return QImage(QString::fromLatin1(resource)).convertToFormat(QImage::Format_RGB32);
}

inline QImage Solid(int w, int h, uint32_t rgb) {
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(Rgb(rgb));
    return image;
}

// Pastes the part `from` of src with its top left corner at `to` of dst, clipped to dst.
inline void Paste(QImage& dst, const QImage& src, const QRect& from, const QPoint& to) {
    QPainter painter(&dst);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(to, src, from);
}

// Empty when the images are equal; otherwise what differs, for the failure message.
inline QByteArray Difference(const QImage& actual, const QImage& expected) {
    if (actual.size() != expected.size())
        return QStringLiteral("size %1x%2, expected %3x%4")
            .arg(actual.width()).arg(actual.height()).arg(expected.width()).arg(expected.height())
            .toUtf8();
    int count = 0;
    QString first;
    for (int y = 0; y < actual.height(); ++y)
        for (int x = 0; x < actual.width(); ++x)
            if (actual.pixel(x, y) != expected.pixel(x, y) && count++ == 0)
                first = QStringLiteral("(%1, %2) is #%3, expected #%4")
                            .arg(x).arg(y)
                            .arg(actual.pixel(x, y) & 0xFFFFFF, 6, 16, QLatin1Char('0'))
                            .arg(expected.pixel(x, y) & 0xFFFFFF, 6, 16, QLatin1Char('0'));
    if (count == 0)
        return {};
    return QStringLiteral("%1 pixels differ; first %2").arg(count).arg(first).toUtf8();
}

// Rows of a "steps" column: sequences after which a renderer must be detached. A attaches to
// the panel, 0 attaches to no panel, D detaches.
inline void AddDetachedRows() {
    QTest::addColumn<QByteArray>("steps");
    QTest::newRow("never attached") << QByteArray("");
    QTest::newRow("attached, then detached") << QByteArray("AD");
    QTest::newRow("attached to no panel") << QByteArray("0");
    QTest::newRow("attached again to no panel") << QByteArray("A0");
    QTest::newRow("detached twice") << QByteArray("ADD");
}

template <typename Renderer, typename Panel>
void RunSteps(Renderer& renderer, Panel& panel, const QByteArray& steps) {
    for (const char step : steps) {
        if (step == 'A')
            renderer.Attach(&panel);
        else if (step == '0')
            renderer.Attach(nullptr);
        else if (step == 'D')
            renderer.Detach();
    }
}

// Rows of a "value" column: a colour row or lamp state past the sheet, from the first one on.
inline void AddOutsideTheSheetRows(int firstPast) {
    QTest::addColumn<int>("value");
    QTest::newRow("-1") << -1;
    QTest::addRow("%d", firstPast) << firstPast;
    QTest::newRow("INT_MAX") << INT_MAX;
    QTest::newRow("INT_MIN") << INT_MIN;
}

}  // namespace fixture

#define COMPARE_IMAGES(actual, expected)                                                                   \
    do {                                                                                                   \
        const QByteArray difference_ = fixture::Difference((actual), (expected));                          \
        QVERIFY2(difference_.isEmpty(), difference_.constData());                                          \
    } while (false)
