#include "TMKWindowLayout.h"

#include <algorithm>

TMKWindowLayout TMKWindowLayout::compute(QSize content, bool fullScreen)
{
    TMKWindowLayout l;
    l.fullScreen = fullScreen;
    const int w = std::max(0, content.width());
    const int h = std::max(0, content.height());

    if (fullScreen) {
        l.bodyBox = QRect(0, 0, w, h);
        l.bodyLeftBox = QRect(0, 0, w, std::max(0, h - 2));
        const int leftH = l.bodyLeftBox.height();
        l.videoBox = QRect(0, 0, w, std::max(0, leftH - kMediaControlFullScreenHeight));
        l.mediaControlBoxForFullScreen
            = QRect(0, l.videoBox.height(), std::max(0, w - 2), kMediaControlFullScreenHeight);
        return l;
    }

    l.headBox = QRect(0, 0, w, kHeadHeight);
    l.bodyBox = QRect(0, kHeadHeight, w, std::max(0, h - kHeadHeight));
    const int bodyH = l.bodyBox.height();
    const int columnH = std::max(0, bodyH - 8);
    const int leftW = std::max(0, w - 10 - 10 - kSidePanelWidth - 10);
    l.bodyLeftBox = QRect(10, 0, leftW, columnH);
    l.bodyRightBox = QRect(10 + leftW + 10, 0, kSidePanelWidth, columnH);

    const int videoH = std::max(0, columnH - 4 - kGSensorHeight - 4 - kMediaControlHeight);
    l.videoBox = QRect(0, 0, leftW, videoH);
    l.gsensorBox = QRect(0, videoH + 4, leftW, kGSensorHeight);
    l.mediaControlBox = QRect(0, videoH + 4 + kGSensorHeight + 4, leftW, kMediaControlHeight);

    l.sideButtonBox = QRect(0, 0, kSidePanelWidth, kSideButtonHeight);
    const int listH = std::max(0, columnH - kSideButtonHeight - kSubVideoHeight);
    l.mediaListBox = QRect(0, kSideButtonHeight, kSidePanelWidth, listH);
    l.subVideoBox = QRect(0, kSideButtonHeight + listH, kSidePanelWidth, kSubVideoHeight);
    return l;
}

QSize TMKWindowLayout::steppedSize(QSize current, int steps)
{
    QSize size(current.width() + steps * kMinWindowSize.width() / 5,
               current.height() + steps * kMinWindowSize.height() / 5);
    if (size.width() < kMinWindowSize.width() || size.height() < kMinWindowSize.height())
        size = kMinWindowSize;
    return size;
}

std::optional<QRect> TMKWindowLayout::steppedGeometry(QRect window, QRect available, QMargins decoration, int step)
{
    const QRect inside = available.marginsRemoved(decoration);
    QSize size = steppedSize(window.size(), step);
    if (step > 0) {
        if (window.width() >= inside.width() || window.height() >= inside.height())
            return std::nullopt;
        size = size.boundedTo(inside.size()).expandedTo(kMinWindowSize);
    }
    // Keep the origin where the grown window still fits; else move it in.
    QRect result(window.topLeft(), size);
    if (result.right() > inside.right())
        result.moveRight(inside.right());
    if (result.bottom() > inside.bottom())
        result.moveBottom(inside.bottom());
    result.moveLeft(std::max(result.left(), inside.left()));
    result.moveTop(std::max(result.top(), inside.top()));
    return result;
}

QRect TMKWindowLayout::startFrame(QRect visibleArea)
{
    const QSize s = kMinWindowSize;
    return QRect(visibleArea.x() + (visibleArea.width() - s.width()) / 2,
                 visibleArea.y() + (visibleArea.height() - s.height()) / 2, s.width(), s.height());
}
