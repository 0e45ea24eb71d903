#include "settings/ui/TMKSettingForVideoViewController.h"

#include "settings/ui/TMKSegmentedControl.h"
#include "settings/ui/TMKSettingController.h"
#include "settings/ui/TMKSettingPageKit.h"
#include "strings/TMKStrings.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

TMKSettingForVideoViewController::TMKSettingForVideoViewController(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("TMKSettingForVideoViewController"));
    awakeFromNib();
}

void TMKSettingForVideoViewController::awakeFromNib()
{
    auto* page = new QVBoxLayout(this);
    auto* grid = new QGridLayout;
    page->addLayout(grid);
    const auto place = [this, grid](const char* key, const char* name, QWidget* control, int row, int column,
                                    const char* labelKey = nullptr, const char* labelName = nullptr) {
        QGroupBox* box = TKMakeBox(this, key, name);
        auto* layout = new QHBoxLayout(box);
        if (labelKey) {
            auto* label = new QLabel(TMKLocalizedString(labelKey), box);
            label->setObjectName(QLatin1String(labelName));
            layout->addWidget(label);
        }
        control->setParent(box);
        layout->addWidget(control);
        layout->addStretch();
        grid->addWidget(box, row, column);
    };

    const QStringList quality =
        TKLocalizedList({"setting.video.quality_normal", "setting.video.quality_high", "setting.video.quality_highest"});
    const QStringList brightness{QStringLiteral("1"), QStringLiteral("2"),
                                 TMKLocalizedString("3(%@)").arg(TMKLocalizedString("default")), QStringLiteral("4"),
                                 QStringLiteral("5")};
    // Made row by row, front before rear: the order Tab walks them.
    videoEncodingBitrate = TKMakeSegments(this, "videoEncodingBitrate", quality);
    videoEncodingBitrateRear = TKMakeSegments(this, "videoEncodingBitrateRear", quality);
    videoBrightness = TKMakeSegments(this, "videoBrightness", brightness);
    videoBrightnessRear = TKMakeSegments(this, "videoBrightnessRear", brightness);
    flipVideoRealSeg = TKMakeSegments(this, "flipVideoRealSeg", TKLocalizedList({"unuse", "use"}));
    rearfpsSeg = TKMakeSegments(this, "rearfpsSeg", TKLocalizedList({"30fps", "15fps"}));
    frontTinting = TKMakeSegments(this, "frontTinting",
                                  TKLocalizedList({"cpl_unuse", "cpl_use", "light_tinting", "dark_tinting"}));
    rearTinting = TKMakeSegments(this, "rearTinting", TKLocalizedList({"unuse", "light_tinting", "dark_tinting"}));

    place("setting.video.front_quality", "boxOfFrontVideoQuality", videoEncodingBitrate, 0, 0);
    place("setting.video.rear_quality", "boxOfRealVideoQuality", videoEncodingBitrateRear, 0, 1);
    place("setting.video.front_setting", "boxOfFrontVideoSetting", videoBrightness, 1, 0, "brightness", "brightnessLabel");
    place("setting.video.rear_setting", "boxOfRealVideoSetting", videoBrightnessRear, 1, 1, "brightness",
          "brightnessLabelReal");
    place("setting.video.rear_reversal", "boxOfFlipVideoReal", flipVideoRealSeg, 2, 0);
    place("setting.video.rear_fps", "boxOfRearFps", rearfpsSeg, 2, 1);
    place("setting.video.front_tinting", "boxOfFrontTinting", frontTinting, 3, 0);
    place("setting.video.rear_tinting", "boxOfRearTinting", rearTinting, 3, 1);

    brightnessGuide = new QLabel(TMKLocalizedString("setting.video.cpl_filter_use"), this);
    brightnessGuide->setObjectName(QStringLiteral("brightnessGuide"));
    brightnessGuide->setWordWrap(true);
    page->addWidget(brightnessGuide);
    page->addStretch();
}

void TMKSettingForVideoViewController::setFileData(_FILEDATA* record)
{
    fileData = record;
    displayFileData();
}

void TMKSettingForVideoViewController::setMainController(TMKSettingHost* controller)
{
    mainController = controller;
}

void TMKSettingForVideoViewController::displayFileData()
{
    if (!fileData)
        return;
    const _FILEDATA& d = *fileData;
    TKShowSegment(videoEncodingBitrate, d.vid_enc_bitrate);
    TKShowSegment(videoBrightness, d.vid_brightness);
    TKShowSegment(videoEncodingBitrateRear, d.vid_enc_bitrate_R);
    TKShowSegment(videoBrightnessRear, d.vid_brightness_R);
    // Only 1 means flipped / the lower rate; anything else is the usual.
    flipVideoRealSeg->setSelectedSegment(d.flip_video == 1 ? 1 : 0);
    rearfpsSeg->setSelectedSegment(d.rear_fps == 1 ? 1 : 0);
    // At 50 Hz mains the camera films at 25 fps instead of 30.
    rearfpsSeg->setLabel(TMKLocalizedString(d.Gamma != 0 ? "25fps" : "30fps"), 0);
    rearfpsSeg->setLabel(TMKLocalizedString("15fps"), 1);
    TKShowSegment(frontTinting, d.front_cpl_use);
    TKShowSegment(rearTinting, d.rear_cpl_use);
}

bool TMKSettingForVideoViewController::populate()
{
    if (!fileData)
        return false;
    _FILEDATA& d = *fileData;
    d.vid_enc_bitrate = TKStoredSegment(videoEncodingBitrate);
    d.vid_brightness = TKStoredSegment(videoBrightness);
    d.vid_enc_bitrate_R = TKStoredSegment(videoEncodingBitrateRear);
    d.vid_brightness_R = TKStoredSegment(videoBrightnessRear);
    d.flip_video = TKStoredSegment(flipVideoRealSeg);
    d.rear_fps = TKStoredSegment(rearfpsSeg);
    d.front_cpl_use = TKStoredSegment(frontTinting);
    d.rear_cpl_use = TKStoredSegment(rearTinting);
    return true;
}
