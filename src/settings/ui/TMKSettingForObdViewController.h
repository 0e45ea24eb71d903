#pragma once

#include "kit/TMKSettingControllerDelegate.h"

#include <QPointer>
#include <QWidget>

#include <array>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class SMDoubleSlider;
class TMKSegmentedControl;

// The tick marks under the eco-drive slider, lined up with its knob travel.
class EcoSliderAxisView : public QWidget {
    Q_OBJECT

public:
    static constexpr int kTickCount = 22;

    struct Tick {
        int x;
        int y;
        int height;
    };
    // Ticks 0, 10 and the last are long; the others short. They run from
    // `left` to `right` evenly.
    [[nodiscard]] static std::vector<Tick> ticks(int left, int right);

    explicit EcoSliderAxisView(SMDoubleSlider* slider, QWidget* parent = nullptr);
    [[nodiscard]] QSize sizeHint() const override { return {240, 14}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    SMDoubleSlider* m_slider;
};

// The OBD page: weekly alarm, speed unit and overlay, time zone, route
// saving interval, OBD in parking, cut-off voltage and external power, and
// the eco-drive band.
class TMKSettingForObdViewController : public QWidget, public TMKSettingControllerDelegate {
    Q_OBJECT
    Q_PROPERTY(int ecoLoValue READ ecoLoValue WRITE setEcoLoValue NOTIFY ecoLoValueChanged)
    Q_PROPERTY(int ecoHiValue READ ecoHiValue WRITE setEcoHiValue NOTIFY ecoHiValueChanged)

public:
    static constexpr int kVoltageCount = 10;
    static constexpr uint32_t kLowestVoltage = 11500;
    static constexpr uint32_t kVoltageStep = 100;

    explicit TMKSettingForObdViewController(QWidget* parent = nullptr);

    void setFileData(_FILEDATA* fileData) override;
    bool populate() override;
    [[nodiscard]] std::optional<QString> validateUserInput() override { return std::nullopt; }
    void setMainController(TMKSettingHost* controller) override;
    void displayFileData();

    [[nodiscard]] int ecoLoValue() const { return m_ecoLo; }
    [[nodiscard]] int ecoHiValue() const { return m_ecoHi; }
    void setEcoLoValue(int value);
    void setEcoHiValue(int value);

    void updatePowerUI();
    void updateEco();
    void clickUseExternalPowerChk();

    // The voltage item of a stored cut-off voltage; -1 when it has none.
    [[nodiscard]] static int voltageItemOf(uint32_t millivolts);

    TMKSegmentedControl* drivingDaySeg = nullptr;
    TMKSegmentedControl* speedDisplayUnitSeg = nullptr;
    TMKSegmentedControl* osdSpeedDisplaySeg = nullptr;
    QComboBox* timeGmtCombo = nullptr;
    QCheckBox* summerTimeChk = nullptr;
    TMKSegmentedControl* saveDurationSeg = nullptr;
    TMKSegmentedControl* useObdParkingSeg = nullptr;
    QComboBox* powerVoltageCombo = nullptr;
    QCheckBox* useExternalPowerChk = nullptr;
    QCheckBox* useEcoDriveChk = nullptr;
    SMDoubleSlider* ecoSlider = nullptr;
    QLabel* ecoDriveLabel = nullptr;
    QLabel* normalDriveLabel = nullptr;
    QLabel* unecoDriveLabel = nullptr;
    EcoSliderAxisView* ecoSliderAxisView = nullptr;

signals:
    void ecoLoValueChanged(int value);
    void ecoHiValueChanged(int value);

private:
    void awakeFromNib();

    _FILEDATA* fileData = nullptr;
    QPointer<TMKSettingHost> mainController;
    // They mirror the slider, which starts with the whole range.
    int m_ecoLo = 0;
    int m_ecoHi = 100;
};
