#include "widgets/TMKImageButton.h"

#include "widgets/TMKImages.h"

#include <QPainter>

namespace {

// A base name without an image of its own ("record") starts in its normal
// state ("record_n").
QString resolved(const QString& image)
{
    if (TMKHasImageNamed(image))
        return image;
    const QString normal = image + QStringLiteral("_n");
    return TMKHasImageNamed(normal) ? normal : image;
}

} // namespace

TMKImageButton::TMKImageButton(const QString& image, QWidget* parent)
    : QAbstractButton(parent), m_image(resolved(image))
{
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_Hover);
}

void TMKImageButton::setImage(const QString& image)
{
    const QString name = resolved(image);
    if (name == m_image)
        return;
    m_image = name;
    update();
}

void TMKImageButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const bool tab = m_image.endsWith(QLatin1String("_n")) || m_image.endsWith(QLatin1String("_p"));
    if (!tab && (m_hovered || isDown() || isChecked())) {
        QColor wash = isDown() ? QColor(255, 255, 255, 30) : QColor(255, 255, 255, 18);
        if (isChecked())
            wash = QColor(0x4f, 0xa3, 0xe0, isDown() ? 110 : 80);
        painter.setPen(Qt::NoPen);
        painter.setBrush(wash);
        painter.drawRoundedRect(rect().adjusted(1, 1, -1, -1), 5, 5);
    }
    const qreal ratio = devicePixelRatioF();
    QImage image = TMKImageNamed(m_image, size() * ratio);
    if (image.isNull())
        return;
    image.setDevicePixelRatio(ratio);
    if (!isEnabled())
        painter.setOpacity(0.4);
    else if (tab && m_hovered && !m_image.endsWith(QLatin1String("_p")))
        painter.setOpacity(0.85);
    painter.drawImage(QPoint(0, 0), image);
}

void TMKImageButton::enterEvent(QEnterEvent* event)
{
    m_hovered = true;
    update();
    QAbstractButton::enterEvent(event);
}

void TMKImageButton::leaveEvent(QEvent* event)
{
    m_hovered = false;
    update();
    QAbstractButton::leaveEvent(event);
}
