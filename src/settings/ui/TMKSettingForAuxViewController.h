#pragma once

#include "kit/TMKSettingControllerDelegate.h"

#include <QPointer>
#include <QWidget>

#include <array>

class QButtonGroup;
class QLabel;
class QLineEdit;
class QRadioButton;
class QSlider;
class TMKSegmentedControl;

// The auxiliary page: how the card is shared between continuous and motion
// recording, and the screen, exposure, mains, parking, recording-length,
// picture-in-picture and format-reminder options.
class TMKSettingForAuxViewController : public QWidget, public TMKSettingControllerDelegate {
    Q_OBJECT

public:
    explicit TMKSettingForAuxViewController(QWidget* parent = nullptr);

    void setFileData(_FILEDATA* fileData) override;
    bool populate() override;
    [[nodiscard]] std::optional<QString> validateUserInput() override;
    void setMainController(TMKSettingHost* controller) override;
    void displayFileData();

    void sliderMoved(int value);

    // pip_position and its cell (row 0 on top, column 0 on the left).
    [[nodiscard]] static std::pair<int, int> pipCellOf(uint32_t code);
    [[nodiscard]] static uint32_t pipCodeOf(int row, int column);
    [[nodiscard]] QRadioButton* pipCell(int row, int column) const;

    QSlider* memeryRatioSlider = nullptr;
    QLineEdit* alwaysField = nullptr;
    QLineEdit* motionField = nullptr;
    QLabel* sdcardCapacityWarningLabel = nullptr;
    TMKSegmentedControl* dayTimeAESeg = nullptr;
    TMKSegmentedControl* lcdAutoPowerOffSeg = nullptr;
    TMKSegmentedControl* gammaSeg = nullptr;
    TMKSegmentedControl* lcdBrightnessSeg = nullptr;
    TMKSegmentedControl* lcdNightBrightnessSeg = nullptr;
    TMKSegmentedControl* parkingRearOffSeg = nullptr;
    TMKSegmentedControl* lcdScreenSaverSeg = nullptr;
    TMKSegmentedControl* parkingAlarmSeg = nullptr;
    TMKSegmentedControl* recordingLengthSeg = nullptr;
    QButtonGroup* pipPositionRadio = nullptr;
    TMKSegmentedControl* autoFormatAlarmSeg = nullptr;

private:
    void awakeFromNib();

    _FILEDATA* fileData = nullptr;
    QPointer<TMKSettingHost> mainController;
    bool m_displaying = false;
};
