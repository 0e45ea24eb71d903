#include "viewer/window/TMKWindowLayout.h"

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
        l.layOutControls();
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
    l.layOutControls();
    return l;
}

// Laid out also for the rows not shown, so a switch of mode finds every
// control in place.
void TMKWindowLayout::layOutControls()
{
    const int headW = headBox.width();
    const int headH = headBox.height();
    head.openButton = QRect(kMargin, kHeadButtonTop, kOpenButtonWidth, kHeadButtonHeight);
    // The folder to the left of the middle, messages to the right of it.
    head.folderLabel = QRect(kMargin + kOpenButtonWidth + kMargin, 0, std::max(0, headW / 2 - 230), headH);
    head.messageLabel = QRect(headW / 2 + 90, 0, std::max(0, headW / 2 - 396), headH);
    head.settingsButton
        = QRect(headW - kMargin - kSettingsButtonWidth, kHeadButtonTop, kSettingsButtonWidth, kHeadButtonHeight);
    head.timeSetupButton = QRect(head.settingsButton.left() - kButtonGap - kTimeSetupButtonWidth, kHeadButtonTop,
                                 kTimeSetupButtonWidth, kHeadButtonHeight);
    head.progress = QRect(QPoint((headW - kProgressSize.width()) / 2, kProgressTop), kProgressSize);

    const int cw = mediaControlBox.width();
    controls.positionSlider = QRect(kMargin, kSliderTop, std::max(0, cw - 130), kSliderHeight);
    controls.timeLabel = QRect(cw - kButtonGap - kTimeLabelWidth, kSliderTop, kTimeLabelWidth, kSliderHeight);
    int x = kMargin;
    const auto next = [&x](int width) {
        const QRect r(x, kButtonRowTop, width, kButtonSize);
        x += width + kButtonGap;
        return r;
    };
    controls.jumpBackward = next(kButtonSize);
    controls.play = next(kButtonSize);
    controls.jumpForward = next(kButtonSize);
    x += kMargin;
    controls.speed = next(kSpeedButtonWidth);
    controls.size = next(kSizeButtonWidth);
    controls.swap = next(kButtonSize);
    x += kMargin;
    controls.capture = next(kButtonSize);
    controls.print = next(kButtonSize);
    controls.fullScreen = QRect(cw - kMargin - kButtonSize, kButtonRowTop, kButtonSize, kButtonSize);
    controls.volume = QRect(controls.fullScreen.left() - kMargin - kVolumeWidth, kButtonRowTop + 4, kVolumeWidth,
                            kSliderHeight);
    controls.audioToggle = QRect(controls.volume.left() - kButtonGap - kButtonSize, kButtonRowTop, kButtonSize,
                                 kButtonSize);

    const int fw = mediaControlBoxForFullScreen.width();
    const int fullScreenTop = (kMediaControlFullScreenHeight - kFullScreenButtonSize) / 2;
    fullScreenControls.play = QRect(8, fullScreenTop, kFullScreenButtonSize, kFullScreenButtonSize);
    fullScreenControls.positionSlider = QRect(44, 8, std::max(0, fw - 44 - 48), 20);
    fullScreenControls.fullScreen
        = QRect(fw - 8 - kFullScreenButtonSize, fullScreenTop, kFullScreenButtonSize, kFullScreenButtonSize);

    const int gx = gsensorBox.width() - kReadoutColumnWidth;
    gsensor.graph = QRect(0, 0, std::max(0, gx - 4), gsensorBox.height());
    const int gy = (gsensorBox.height() - 3 * kReadoutPitch) / 2;
    gsensor.x = QRect(gx, gy, kReadoutWidth, kReadoutHeight);
    gsensor.y = gsensor.x.translated(0, kReadoutPitch);
    gsensor.z = gsensor.y.translated(0, kReadoutPitch);

    const int half = sideButtonBox.width() / 2;
    sideButtons.list = QRect(0, 0, half, sideButtonBox.height());
    sideButtons.map = QRect(half, 0, sideButtonBox.width() - half, sideButtonBox.height());
}

TMKWindowLayout::MapPanel TMKWindowLayout::mapPanel(QSize size)
{
    MapPanel p;
    const int stripTop = std::max(0, size.height() - kMapStripHeight);
    p.top = QRect(0, 0, size.width(), stripTop);
    p.strip = QRect(0, stripTop, size.width(), kMapStripHeight);
    const int third = size.width() / 3;
    for (int column = 0; column < 3; ++column) {
        p.caption[column] = QRect(column * third, kMapCaptionTop, third, kMapCaptionHeight);
        p.value[column] = QRect(column * third, kMapValueTop, third, kMapValueHeight);
    }
    return p;
}

QRect TMKWindowLayout::banner(int videoWidth, int textHeight)
{
    const int width = std::max(0, videoWidth - 2 * kBannerInset);
    return QRect(kBannerInset, kBannerInset, width, std::max(textHeight, kBannerMinHeight));
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
