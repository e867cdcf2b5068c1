// The panel picture control: shows a picture at its natural size and keeps whatever the
// renderers copy onto it, so a repaint never wipes the readouts or the lamps.
#pragma once

#include <QImage>
#include <QWidget>

class PanelWidget : public QWidget {
    Q_OBJECT
public:
    // The pixel format of the panel and of every surface and sheet copied onto it.
    static constexpr QImage::Format kFormat = QImage::Format_RGB32;

    // Shows the panel picture from the program's resources.
    explicit PanelWidget(QWidget* parent = nullptr);

    // Shows picture (converted to kFormat) and fixes the widget's size to it.
    void setPicture(const QImage& picture);

    // What the panel shows now.
    [[nodiscard]] const QImage& image() const { return m_image; }

    // Copies the w x h block of src at (sx, sy) to (dx, dy), clipped to both images,
    // and repaints just that rectangle at once (so it shows during a following blocking call).
    // A plain pixel copy; src of kFormat is copied without any allocation.
    void copyFrom(const QImage& src, int sx, int sy, int w, int h, int dx, int dy);

signals:
    // Left button released over the panel.
    void clicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    [[nodiscard]] QSize sizeHint() const override;

private:
    QImage m_image;
};
