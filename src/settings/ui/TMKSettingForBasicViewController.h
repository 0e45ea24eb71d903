#pragma once

#include "kit/TMKSettingControllerDelegate.h"

#include <QPointer>
#include <QWidget>

#include <array>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class TMKCarNumberTextField;
class TMKSegmentedControl;

// The basic page: parking waiting time, impact sensitivity while driving
// and parked, security LEDs, car number and the external rear camera (plus
// the parking-power and cable-loss groups, hidden but still edited).
class TMKSettingForBasicViewController : public QWidget, public TMKSettingControllerDelegate {
    Q_OBJECT

public:
    static constexpr std::array<int, 9> kWaitingTimes{0, 10, 30, 60, 120, 180, 300, 420, 600};
    static constexpr std::array<int, 5> kDrivingX{70, 60, 50, 40, 30};
    static constexpr std::array<int, 5> kDrivingYZ{65, 55, 45, 35, 25};
    static constexpr std::array<int, 5> kParking{25, 20, 15, 12, 8};
    static constexpr std::array<int, 13> kCutOffVoltages{0,     1,     10000, 11500, 11600, 11700, 11800,
                                                         11900, 12000, 12100, 12200, 12300, 12400};
    static constexpr std::array<int, 8> kPowerTimers{0, 3, 6, 9, 12, 24, 36, 48};
    static constexpr int kCustomize = 5;

    explicit TMKSettingForBasicViewController(QWidget* parent = nullptr);

    // The page protocol
    void setFileData(_FILEDATA* fileData) override;
    bool populate() override;
    [[nodiscard]] std::optional<QString> validateUserInput() override;
    void setMainController(TMKSettingHost* controller) override;

    void displayFileData();
    [[nodiscard]] static int findAlwaysModeTimeoutIndexByValue(uint32_t value);
    [[nodiscard]] static int findPowerVoltageIndexByValue(uint32_t value);
    [[nodiscard]] static int findPowerTimeIndexByValue(uint32_t value);
    [[nodiscard]] static int findDrivingGsensorThresholdIndexByX(int x, int y, int z);
    [[nodiscard]] static int findParkingGsensorThresholdIndexByX(int x, int y, int z);
    [[nodiscard]] static int GetRearCameraSetting(uint32_t field, int bit);
    [[nodiscard]] static uint32_t SetRearCameraSetting(uint32_t field, int bit, int value);

    void changeGsensorEnable();
    void updateGsensorThreshold();
    void updatePowerUI();
    void changeExternalRearCemeraSettings();

    // Actions
    void clickGsensorEnableCheck();
    void clickDrivingGsensorSensitivity();
    void clickParkingGsensorSensitivity();
    void clickUseExternalPowerChk();
    void powerVoltageSelected(int index);
    void clickExternalRearCameraUseCheck();

    // Controls, by their names, for the window and for checks.
    TMKSegmentedControl* alwaysModeTimeoutSeg = nullptr;
    QCheckBox* gsensorEnableChk = nullptr;
    TMKSegmentedControl* gsensorSensitivityDrivingSeg = nullptr;
    std::array<QLineEdit*, 3> drivingFields{};
    TMKSegmentedControl* gsensorSensitivityParkingSeg = nullptr;
    std::array<QLineEdit*, 3> parkingFields{};
    QCheckBox* frontLedOffChk = nullptr;
    QCheckBox* rearLedOffChk = nullptr;
    TMKCarNumberTextField* carNumberField = nullptr;
    QGroupBox* boxOfPower = nullptr;
    QComboBox* powerVoltageCombo = nullptr;
    QComboBox* powerTimeCombo = nullptr;
    QCheckBox* useExternalPowerChk = nullptr;
    QGroupBox* boxOfCableVoltageLoss = nullptr;
    QComboBox* cableLossCombo = nullptr;
    QCheckBox* externalRearCameraUse = nullptr;
    QCheckBox* externalRearCameraUseEvent = nullptr;
    QCheckBox* externalRearCameraUseMotion = nullptr;

private:
    void awakeFromNib();
    void focus(QWidget* control);
    void markThreshold(QLineEdit* field);
    [[nodiscard]] std::optional<QString> validateFields(const std::array<QLineEdit*, 3>& fields);

    _FILEDATA* fileData = nullptr;
    QPointer<TMKSettingHost> mainController;
};
