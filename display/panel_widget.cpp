#include "panel_widget.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

#include "panel_geometry.h"
#include "pixel_copy.h"

PanelWidget::PanelWidget(QWidget* parent) : QWidget(parent) {
    // Every pixel is painted from the retained image, so Qt need not erase first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    const QImage picture(QString::fromLatin1(geo::kPanelResource));
    if (picture.isNull())
        qWarning("PanelWidget: the panel picture %s is missing from the resources", geo::kPanelResource);
    setPicture(picture);
}

void PanelWidget::setPicture(const QImage& picture) {
    // Own, unshared pixels: a copy that later copies write into must never have to detach.
    m_image = picture.format() == kFormat ? picture.copy() : picture.convertToFormat(kFormat);
    setFixedSize(m_image.size());
    update();
}

void PanelWidget::copyFrom(const QImage& src, int sx, int sy, int w, int h, int dx, int dy) {
    // The readouts are redrawn on every tick, mostly with the text they already show: a copy
    // that changes no pixel needs no repaint, since the screen shows the retained image.
    bool changed = false;
    const QRect written = CopyPixels(m_image, dx, dy, src, sx, sy, w, h, &changed);
    if (changed)
        repaint(written);
}

void PanelWidget::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(event->rect(), m_image, event->rect());
}

void PanelWidget::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
    QWidget::mouseReleaseEvent(event);
}

QSize PanelWidget::sizeHint() const {
    return m_image.size();
}
