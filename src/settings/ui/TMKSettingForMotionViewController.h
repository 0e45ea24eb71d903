#pragma once

#include "kit/TMKSettingControllerDelegate.h"

#include <QPointer>
#include <QWidget>

#include <array>

class QCheckBox;
class TMKSegmentedControl;

// The motion page: motion-detection sensitivity of both cameras and the 12
// image blocks of each that take part in detection.
class TMKSettingForMotionViewController : public QWidget, public TMKSettingControllerDelegate {
    Q_OBJECT

public:
    static constexpr int kBlockCount = 12;
    // Mask bit of blocks 01..12; a set bit leaves the block out.
    static constexpr std::array<int, kBlockCount> kBlockBits{8, 9, 10, 11, 4, 5, 6, 7, 0, 1, 2, 3};

    explicit TMKSettingForMotionViewController(QWidget* parent = nullptr);

    void setFileData(_FILEDATA* fileData) override;
    bool populate() override;
    [[nodiscard]] std::optional<QString> validateUserInput() override { return std::nullopt; }
    void setMainController(TMKSettingHost* controller) override;
    void displayFileData();

    // The sensitivity controls' actions: "unuse" disables the camera's boxes.
    void updateFrontMotionBlock();
    void updateRearMotionBlock();

    // The mask the checked boxes stand for; bits 12..31 are always clear.
    [[nodiscard]] static uint32_t maskOf(const std::array<QCheckBox*, kBlockCount>& boxes);

    TMKSegmentedControl* frontSensitivitySeg = nullptr;
    TMKSegmentedControl* rearSensitivitySeg = nullptr;
    // Index 0 is block 01.
    std::array<QCheckBox*, kBlockCount> frontMotionBlockChk{};
    std::array<QCheckBox*, kBlockCount> rearMotionBlockChk{};

private:
    void awakeFromNib();

    _FILEDATA* fileData = nullptr;
    QPointer<TMKSettingHost> mainController;
};
