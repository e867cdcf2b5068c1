// The panel picture control: shows a picture at its natural size and keeps whatever the
// renderers copy onto it, so a repaint never wipes the readouts or the lamps.
#pragma once

#include <QImage>
#include <QWidget>

class PanelWidget : public QWidget {
    Q_OBJECT
public:
    explicit PanelWidget(QWidget* parent = nullptr);

    // Shows picture (converted to the surface format) and fixes the widget's size to it.
    void setPicture(const QImage& picture);

    // What the panel shows now.
    [[nodiscard]] const QImage& image() const { return m_image; }

    // Copies the w x h block of src at (sx, sy) to (dx, dy), clipped to both images,
    // and repaints just that rectangle at once (so it shows during a following blocking call).
    void copyFrom(const QImage& src, int sx, int sy, int w, int h, int dx, int dy);

signals:
    void clicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    [[nodiscard]] QSize sizeHint() const override;

private:
    QImage m_image;
};
