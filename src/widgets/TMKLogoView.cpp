#include "widgets/TMKLogoView.h"

#include "widgets/TMKImages.h"

#include <QPainter>

TMKLogoView::TMKLogoView(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TMKLogoView::setBackgroundImage(const QString& image)
{
    m_background = image;
    update();
}

void TMKLogoView::setLogoImage(const QString& image)
{
    m_logo = image;
    update();
}

void TMKLogoView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    const qreal ratio = devicePixelRatioF();
    QImage background = TMKImageNamed(m_background, size() * ratio);
    if (!background.isNull()) {
        background.setDevicePixelRatio(ratio);
        painter.drawImage(QPoint(0, 0), background);
    }
    const int side = std::min(width(), height()) * 2 / 5;
    if (side <= 0)
        return;
    QImage logo = TMKImageNamed(m_logo, QSize(side, side) * ratio);
    if (logo.isNull())
        return;
    logo.setDevicePixelRatio(ratio);
    painter.drawImage(QPoint((width() - side) / 2, (height() - side) / 2), logo);
}
