#pragma once

#include "kit/TMKSettingControllerDelegate.h"

#include <QPointer>
#include <QWidget>

class QLabel;
class TMKSegmentedControl;

// The video page: quality and brightness of both cameras, the rear image's
// flip and frame rate, and the window-tinting compensation of both cameras.
class TMKSettingForVideoViewController : public QWidget, public TMKSettingControllerDelegate {
    Q_OBJECT

public:
    explicit TMKSettingForVideoViewController(QWidget* parent = nullptr);

    void setFileData(_FILEDATA* fileData) override;
    bool populate() override;
    [[nodiscard]] std::optional<QString> validateUserInput() override { return std::nullopt; }
    void setMainController(TMKSettingHost* controller) override;
    void displayFileData();

    TMKSegmentedControl* videoEncodingBitrate = nullptr;
    TMKSegmentedControl* videoBrightness = nullptr;
    TMKSegmentedControl* videoEncodingBitrateRear = nullptr;
    TMKSegmentedControl* videoBrightnessRear = nullptr;
    TMKSegmentedControl* flipVideoRealSeg = nullptr;
    TMKSegmentedControl* rearfpsSeg = nullptr;
    TMKSegmentedControl* frontTinting = nullptr;
    TMKSegmentedControl* rearTinting = nullptr;
    QLabel* brightnessGuide = nullptr;

private:
    void awakeFromNib();

    _FILEDATA* fileData = nullptr;
    QPointer<TMKSettingHost> mainController;
};
