#include "settings/ui/TMKSettingForBasicViewController.h"

#include "kit/TMKAlertService.h"
#include "settings/TMKValidator.h"
#include "settings/ui/TMKCarNumberTextField.h"
#include "settings/ui/TMKSegmentedControl.h"
#include "settings/ui/TMKSettingController.h"
#include "strings/TMKStrings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleValidator>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpressionValidator>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>

#include <cmath>

namespace {

QString formatted(const char* key, int value)
{
    return TMKLocalizedString(key).arg(value);
}

QString hundredths(int value)
{
    return QString::asprintf("%.2f", value / 100.0);
}

// A threshold as its field shows it: 0 is what an empty field stores, so it
// comes back empty rather than as 0.00, which no check would let pass.
QString thresholdText(int value)
{
    return value == 0 ? QString() : hundredths(value);
}

template <std::size_t N>
int indexOf(const std::array<int, N>& list, uint32_t value, int fallback)
{
    for (std::size_t i = 0; i < N; ++i) {
        if (static_cast<uint32_t>(list[i]) == value)
            return static_cast<int>(i);
    }
    return fallback;
}

// A validation message in the user's words.
QString messageText(const TMKValidationMessage& message)
{
    QString text = TMKLocalizedString(QString::fromStdString(message.key));
    for (double argument : message.arguments)
        text = text.arg(argument, 0, 'g', 3);
    return text;
}

} // namespace

TMKSettingForBasicViewController::TMKSettingForBasicViewController(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("TMKSettingForBasicViewController"));
    awakeFromNib();
}

void TMKSettingForBasicViewController::awakeFromNib()
{
    auto* page = new QVBoxLayout(this);
    const auto group = [this, page](const char* key, const char* name) {
        auto* box = new QGroupBox(TMKLocalizedString(key), this);
        box->setObjectName(QLatin1String(name));
        page->addWidget(box);
        return box;
    };

    // Waiting time before parking mode.
    auto* timeoutBox = group("setting.basic.auto_parking_waiting_time", "boxOfAlwaysModeTimeout");
    auto* timeoutLayout = new QHBoxLayout(timeoutBox);
    alwaysModeTimeoutSeg = new TMKSegmentedControl(timeoutBox);
    alwaysModeTimeoutSeg->setObjectName(QStringLiteral("alwaysModeTimeoutSeg"));
    TKSetSegmentLabels(alwaysModeTimeoutSeg,
                       {TMKLocalizedString("unuse"), formatted("nSecond_fmt", 10), formatted("nSecond_fmt", 30),
                        formatted("nMinute_fmt", 1), formatted("nMinute_fmt", 2), formatted("nMinute_fmt", 3),
                        formatted("nMinute_fmt", 5), formatted("nMinute_fmt", 7), formatted("nMinute_fmt", 10)});
    timeoutLayout->addWidget(alwaysModeTimeoutSeg);
    timeoutLayout->addStretch();

    const QStringList levels{TMKLocalizedString("1(%@)").arg(TMKLocalizedString("insensitive")), QStringLiteral("2"),
                             QStringLiteral("3"), QStringLiteral("4"),
                             TMKLocalizedString("5(%@)").arg(TMKLocalizedString("sensitive")),
                             TMKLocalizedString("setting.basic.customize")};
    // Thresholds in g: one digit, at most two decimals.
    const auto thresholdRow = [this, &levels](QGroupBox* box, TMKSegmentedControl*& seg, std::array<QLineEdit*, 3>& fields,
                                              const char* segName, const char* fieldPrefix) {
        auto* grid = new QGridLayout(box);
        seg = new TMKSegmentedControl(box);
        seg->setObjectName(QLatin1String(segName));
        TKSetSegmentLabels(seg, levels);
        grid->addWidget(seg, 0, 0, 1, 7);
        const char* axes[] = {"X", "Y", "Z"};
        for (int i = 0; i < 3; ++i) {
            auto* label = new QLabel(QLatin1String(axes[i]), box);
            auto* field = new QLineEdit(box);
            field->setObjectName(QStringLiteral("gsensorSensitivityThreshold%1%2").arg(QLatin1String(axes[i]),
                                                                                      QLatin1String(fieldPrefix)));
            field->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("^\\d?(\\.\\d{0,2})?$")), field));
            field->setMaximumWidth(64);
            // A value out of range, from the card or typed, is framed red
            // and says why, even where the field cannot be edited now.
            field->setStyleSheet(QStringLiteral("QLineEdit[invalid=\"true\"] { border: 2px solid #c0392b; }"));
            connect(field, &QLineEdit::textChanged, this, [this, field] { markThreshold(field); });
            grid->addWidget(label, 1, i * 2, Qt::AlignRight);
            grid->addWidget(field, 1, i * 2 + 1);
            fields[static_cast<std::size_t>(i)] = field;
        }
        grid->addWidget(new QLabel(QStringLiteral("g"), box), 1, 6);
        grid->setColumnStretch(7, 1);
    };

    auto* drivingBox = group("setting.basic.driving_impact_sensitivity", "boxOfGsensorSensitivityDriving");
    thresholdRow(drivingBox, gsensorSensitivityDrivingSeg, drivingFields, "gsensorSensitivityDrivingSeg", "Driving");
    gsensorEnableChk = new QCheckBox(TMKLocalizedString("setting.basic.enable_gsensor"), drivingBox);
    gsensorEnableChk->setObjectName(QStringLiteral("gsensorEnableChk"));
    static_cast<QGridLayout*>(drivingBox->layout())->addWidget(gsensorEnableChk, 2, 0, 1, 7);
    auto* parkingBox = group("setting.basic.parking_impact_sensitivity", "boxOfGsensorSensitivityParking");
    thresholdRow(parkingBox, gsensorSensitivityParkingSeg, parkingFields, "gsensorSensitivityParkingSeg", "Parking");

    // LEDs, car number.
    auto* etcBox = group("setting.basic.others", "boxOfEtc");
    auto* etc = new QGridLayout(etcBox);
    frontLedOffChk = new QCheckBox(TMKLocalizedString("setting.basic.enable_front_security_led"), etcBox);
    frontLedOffChk->setObjectName(QStringLiteral("frontLedOffChk"));
    rearLedOffChk = new QCheckBox(TMKLocalizedString("setting.basic.enable_rear_security_led"), etcBox);
    rearLedOffChk->setObjectName(QStringLiteral("rearLedOffChk"));
    auto* carNumberLabelField = new QLabel(TMKLocalizedString("setting.basic.car_number_input"), etcBox);
    carNumberLabelField->setObjectName(QStringLiteral("carNumberLabelField"));
    carNumberField = new TMKCarNumberTextField(etcBox);
    carNumberField->setObjectName(QStringLiteral("carNumberField"));
    carNumberField->setMaximumWidth(140);
    etc->addWidget(frontLedOffChk, 0, 0);
    etc->addWidget(rearLedOffChk, 0, 1);
    etc->addWidget(carNumberLabelField, 1, 0);
    etc->addWidget(carNumberField, 1, 1);
    etc->setColumnStretch(2, 1);

    // Parking power (hidden).
    boxOfPower = group("setting.basic.cutoff_voltage_setting", "boxOfPower");
    auto* power = new QGridLayout(boxOfPower);
    auto* powerVoltageLabel = new QLabel(TMKLocalizedString("setting.basic.set_voltage"), boxOfPower);
    auto* powerTimeLabel = new QLabel(TMKLocalizedString("setting.basic.set_timer"), boxOfPower);
    auto* powerGuide1Field = new QLabel(TMKLocalizedString("setting.basic.power_guide"), boxOfPower);
    powerVoltageCombo = new QComboBox(boxOfPower);
    powerVoltageCombo->setObjectName(QStringLiteral("powerVoltageCombo"));
    powerVoltageCombo->addItems({TMKLocalizedString("unuse"), TMKLocalizedString("auto"), TMKLocalizedString("externpower"),
                                 QStringLiteral("11.5v / 23.0v"), QStringLiteral("11.6v / 23.2v"),
                                 QStringLiteral("11.7v / 23.4v"), QStringLiteral("11.8v / 23.6v"),
                                 QStringLiteral("11.9v / 23.8v"), QStringLiteral("12.0v / 24.0v"),
                                 QStringLiteral("12.1v / 24.2v"), QStringLiteral("12.2v / 24.4v"),
                                 QStringLiteral("12.3v / 24.6v"), QStringLiteral("12.4v / 24.8v")});
    powerTimeCombo = new QComboBox(boxOfPower);
    powerTimeCombo->setObjectName(QStringLiteral("powerTimeCombo"));
    powerTimeCombo->addItem(TMKLocalizedString("unuse"));
    for (std::size_t i = 1; i < kPowerTimers.size(); ++i)
        powerTimeCombo->addItem(formatted("nHour_fmt", kPowerTimers[i]));
    useExternalPowerChk = new QCheckBox(TMKLocalizedString("setting.basic.use_external_power"), boxOfPower);
    useExternalPowerChk->setObjectName(QStringLiteral("useExternalPowerChk"));
    power->addWidget(powerVoltageLabel, 0, 0);
    power->addWidget(powerVoltageCombo, 0, 1);
    power->addWidget(powerTimeLabel, 1, 0);
    power->addWidget(powerTimeCombo, 1, 1);
    power->addWidget(useExternalPowerChk, 2, 0, 1, 2);
    power->addWidget(powerGuide1Field, 3, 0, 1, 2);

    boxOfCableVoltageLoss = group("setting.basic.cable_voltage_loss", "boxOfCableVoltageLoss");
    auto* cable = new QHBoxLayout(boxOfCableVoltageLoss);
    cableLossCombo = new QComboBox(boxOfCableVoltageLoss);
    cableLossCombo->setObjectName(QStringLiteral("cableLossCombo"));
    cableLossCombo->addItems({TMKLocalizedString("none"), QStringLiteral("0.1v"), QStringLiteral("0.2v"),
                              QStringLiteral("0.3v"), QStringLiteral("0.4v"), QStringLiteral("0.5v"),
                              QStringLiteral("0.6v")});
    cable->addWidget(cableLossCombo);

    // External rear camera.
    auto* rearBox = group("setting.basic.external_rear_camera_settings", "boxOfExternalRearCamera");
    auto* rear = new QVBoxLayout(rearBox);
    externalRearCameraUse = new QCheckBox(TMKLocalizedString("setting.basic.external_rear_camera_use"), rearBox);
    externalRearCameraUse->setObjectName(QStringLiteral("externalRearCameraUse"));
    externalRearCameraUseEvent =
        new QCheckBox(TMKLocalizedString("setting.basic.external_rear_camera_led_use_event"), rearBox);
    externalRearCameraUseEvent->setObjectName(QStringLiteral("externalRearCameraUseEvent"));
    externalRearCameraUseMotion =
        new QCheckBox(TMKLocalizedString("setting.basic.external_rear_camera_led_use_motion"), rearBox);
    externalRearCameraUseMotion->setObjectName(QStringLiteral("externalRearCameraUseMotion"));
    rear->addWidget(externalRearCameraUse);
    rear->addWidget(externalRearCameraUseEvent);
    rear->addWidget(externalRearCameraUseMotion);
    page->addStretch();

    // Hidden, but still read and written.
    for (QWidget* hidden : std::initializer_list<QWidget*>{boxOfPower, useExternalPowerChk, powerVoltageLabel, powerTimeLabel,
                                                           powerVoltageCombo, powerTimeCombo, powerGuide1Field,
                                                           boxOfCableVoltageLoss, cableLossCombo})
        hidden->hide();

    connect(gsensorEnableChk, &QCheckBox::clicked, this, &TMKSettingForBasicViewController::clickGsensorEnableCheck);
    connect(gsensorSensitivityDrivingSeg, &TMKSegmentedControl::segmentClicked, this,
            &TMKSettingForBasicViewController::clickDrivingGsensorSensitivity);
    connect(gsensorSensitivityParkingSeg, &TMKSegmentedControl::segmentClicked, this,
            &TMKSettingForBasicViewController::clickParkingGsensorSensitivity);
    connect(useExternalPowerChk, &QCheckBox::clicked, this, &TMKSettingForBasicViewController::clickUseExternalPowerChk);
    connect(powerVoltageCombo, &QComboBox::activated, this, &TMKSettingForBasicViewController::powerVoltageSelected);
    connect(externalRearCameraUse, &QCheckBox::clicked, this,
            &TMKSettingForBasicViewController::clickExternalRearCameraUseCheck);
}

void TMKSettingForBasicViewController::setFileData(_FILEDATA* record)
{
    fileData = record;
    displayFileData();
}

void TMKSettingForBasicViewController::setMainController(TMKSettingHost* controller)
{
    mainController = controller;
}

int TMKSettingForBasicViewController::findAlwaysModeTimeoutIndexByValue(uint32_t value)
{
    return indexOf(kWaitingTimes, value, 2);
}

int TMKSettingForBasicViewController::findPowerVoltageIndexByValue(uint32_t value)
{
    return indexOf(kCutOffVoltages, value, 8);
}

int TMKSettingForBasicViewController::findPowerTimeIndexByValue(uint32_t value)
{
    return indexOf(kPowerTimers, value, 0);
}

int TMKSettingForBasicViewController::findDrivingGsensorThresholdIndexByX(int x, int y, int z)
{
    for (std::size_t i = 0; i < kDrivingX.size(); ++i) {
        if (kDrivingX[i] == x && kDrivingYZ[i] == y && kDrivingYZ[i] == z)
            return static_cast<int>(i);
    }
    return kCustomize;
}

int TMKSettingForBasicViewController::findParkingGsensorThresholdIndexByX(int x, int y, int z)
{
    for (std::size_t i = 0; i < kParking.size(); ++i) {
        if (kParking[i] == x && kParking[i] == y && kParking[i] == z)
            return static_cast<int>(i);
    }
    return kCustomize;
}

int TMKSettingForBasicViewController::GetRearCameraSetting(uint32_t field, int bit)
{
    return static_cast<int>((field >> bit) & 1u);
}

uint32_t TMKSettingForBasicViewController::SetRearCameraSetting(uint32_t field, int bit, int value)
{
    return value == 1 ? (field | (1u << bit)) : (field & ~(1u << bit));
}

void TMKSettingForBasicViewController::displayFileData()
{
    if (!fileData)
        return;
    _FILEDATA& d = *fileData;
    alwaysModeTimeoutSeg->setSelectedSegment(findAlwaysModeTimeoutIndexByValue(d.always_mode_timeout));
    gsensorEnableChk->setChecked(d.g_sensor_enable != 0);
    changeGsensorEnable();
    gsensorSensitivityDrivingSeg->setSelectedSegment(
        findDrivingGsensorThresholdIndexByX(d.gsen_x_threshold, d.gsen_y_threshold, d.gsen_z_threshold));
    parkingFields[0]->setText(thresholdText(d.parkmode_x_threshold));
    parkingFields[1]->setText(thresholdText(d.parkmode_y_threshold));
    parkingFields[2]->setText(thresholdText(d.parkmode_z_threshold));
    gsensorSensitivityParkingSeg->setSelectedSegment(
        findParkingGsensorThresholdIndexByX(d.parkmode_x_threshold, d.parkmode_y_threshold, d.parkmode_z_threshold));
    drivingFields[0]->setText(thresholdText(d.gsen_x_threshold));
    drivingFields[1]->setText(thresholdText(d.gsen_y_threshold));
    drivingFields[2]->setText(thresholdText(d.gsen_z_threshold));
    updateGsensorThreshold();
    for (QLineEdit* field : drivingFields)
        markThreshold(field);
    for (QLineEdit* field : parkingFields)
        markThreshold(field);

    frontLedOffChk->setChecked(d.ledoff == 0);
    rearLedOffChk->setChecked(d.ledoff_rear == 0);
    carNumberField->setText(QString::fromStdString(TKPlateNumber(d)));
    powerVoltageCombo->setCurrentIndex(findPowerVoltageIndexByValue(d.sd_mem_always_reserved));
    powerTimeCombo->setCurrentIndex(findPowerTimeIndexByValue(d.sd_mem_motion_reserved));
    updatePowerUI();
    if (d.CableVoltCorr == 0)
        d.CableVoltCorr = 4;
    cableLossCombo->setCurrentIndex(std::clamp(static_cast<int>(d.CableVoltCorr) - 1, 0, cableLossCombo->count() - 1));
    externalRearCameraUse->setChecked(GetRearCameraSetting(d.external_rear_camera, 0) == 1);
    externalRearCameraUseEvent->setChecked(GetRearCameraSetting(d.external_rear_camera, 1) == 1);
    externalRearCameraUseMotion->setChecked(GetRearCameraSetting(d.external_rear_camera, 2) == 1);
    changeExternalRearCemeraSettings();
}

void TMKSettingForBasicViewController::changeGsensorEnable()
{
    const bool on = gsensorEnableChk->isChecked();
    gsensorSensitivityDrivingSeg->setEnabled(on);
    gsensorSensitivityParkingSeg->setEnabled(on);
    // The thresholds are the user's to type only at the customize level;
    // validation checks them exactly then, so nothing editable goes unchecked.
    const bool drivingCustom = gsensorSensitivityDrivingSeg->selectedSegment() == kCustomize;
    const bool parkingCustom = gsensorSensitivityParkingSeg->selectedSegment() == kCustomize;
    for (QLineEdit* field : drivingFields)
        field->setEnabled(on && drivingCustom);
    for (QLineEdit* field : parkingFields)
        field->setEnabled(on && parkingCustom);
}

void TMKSettingForBasicViewController::updateGsensorThreshold()
{
    const int driving = gsensorSensitivityDrivingSeg->selectedSegment();
    if (driving >= 0 && driving < kCustomize) {
        drivingFields[0]->setText(hundredths(kDrivingX[static_cast<std::size_t>(driving)]));
        drivingFields[1]->setText(hundredths(kDrivingYZ[static_cast<std::size_t>(driving)]));
        drivingFields[2]->setText(hundredths(kDrivingYZ[static_cast<std::size_t>(driving)]));
    }
    const bool on = gsensorEnableChk->isChecked();
    for (QLineEdit* field : drivingFields)
        field->setEnabled(on && driving == kCustomize);
    const int parking = gsensorSensitivityParkingSeg->selectedSegment();
    if (parking >= 0 && parking < kCustomize) {
        for (QLineEdit* field : parkingFields)
            field->setText(hundredths(kParking[static_cast<std::size_t>(parking)]));
    }
    for (QLineEdit* field : parkingFields)
        field->setEnabled(on && parking == kCustomize);
}

void TMKSettingForBasicViewController::updatePowerUI()
{
    const bool external = fileData && fileData->sd_mem_event_reserved == 1;
    powerVoltageCombo->setEnabled(!external);
    powerTimeCombo->setEnabled(!external);
    useExternalPowerChk->setChecked(external);
}

void TMKSettingForBasicViewController::changeExternalRearCemeraSettings()
{
    const bool use = fileData && GetRearCameraSetting(fileData->external_rear_camera, 0) == 1;
    externalRearCameraUseEvent->setEnabled(use);
    externalRearCameraUseMotion->setEnabled(use);
}

void TMKSettingForBasicViewController::clickGsensorEnableCheck()
{
    changeGsensorEnable();
}

void TMKSettingForBasicViewController::clickDrivingGsensorSensitivity()
{
    updateGsensorThreshold();
}

void TMKSettingForBasicViewController::clickParkingGsensorSensitivity()
{
    updateGsensorThreshold();
}

void TMKSettingForBasicViewController::clickUseExternalPowerChk()
{
    if (fileData)
        fileData->sd_mem_event_reserved = useExternalPowerChk->isChecked() ? 1 : 0;
    updatePowerUI();
}

void TMKSettingForBasicViewController::powerVoltageSelected(int index)
{
    if (index == 2 && mainController)
        mainController->alerts().showAlert(mainController, TMKAlertService::Kind::Warning, QStringLiteral("Warning"),
                                           TMKLocalizedString("msg.use_external_power_10v"));
}

void TMKSettingForBasicViewController::clickExternalRearCameraUseCheck()
{
    if (fileData)
        fileData->external_rear_camera =
            SetRearCameraSetting(fileData->external_rear_camera, 0, externalRearCameraUse->isChecked() ? 1 : 0);
    changeExternalRearCemeraSettings();
}

void TMKSettingForBasicViewController::focus(QWidget* control)
{
    QTimer::singleShot(0, control, [control] { control->setFocus(Qt::OtherFocusReason); });
}

std::optional<QString> TMKSettingForBasicViewController::validateFields(const std::array<QLineEdit*, 3>& fields)
{
    for (QLineEdit* field : fields) {
        if (const auto message = TMKValidator::validateGsensorThreshold(field->text().toStdString())) {
            focus(field);
            return messageText(*message);
        }
    }
    return std::nullopt;
}

void TMKSettingForBasicViewController::markThreshold(QLineEdit* field)
{
    const auto message = TMKValidator::validateGsensorThreshold(field->text().toStdString());
    field->setProperty("invalid", message.has_value());
    field->setToolTip(message ? messageText(*message) : QString());
    field->style()->unpolish(field);
    field->style()->polish(field);
}

// Only what the user can type into now is checked: a disabled field at
// fault would hold the page with an alert nobody can act on. Its value is
// written back as it came.
std::optional<QString> TMKSettingForBasicViewController::validateUserInput()
{
    if (!gsensorEnableChk->isChecked())
        return std::nullopt;
    if (gsensorSensitivityDrivingSeg->selectedSegment() == kCustomize) {
        if (auto message = validateFields(drivingFields))
            return message;
    }
    if (gsensorSensitivityParkingSeg->selectedSegment() == kCustomize) {
        if (auto message = validateFields(parkingFields))
            return message;
    }
    return std::nullopt;
}

bool TMKSettingForBasicViewController::populate()
{
    if (!fileData || validateUserInput())
        return false;
    _FILEDATA& d = *fileData;
    const int timeout = std::max(0, alwaysModeTimeoutSeg->selectedSegment());
    d.always_mode_timeout = static_cast<uint32_t>(kWaitingTimes[static_cast<std::size_t>(timeout)]);
    d.g_sensor_enable = gsensorEnableChk->isChecked() ? 1 : 0;
    const auto stored = [](QLineEdit* field) {
        // Hundredths of g truncated toward zero, in doubles: 0.29 stores 28.
        return static_cast<int32_t>(std::trunc(TMKValidator::leadingNumber(field->text().toStdString()).value_or(0) * 100));
    };
    d.gsen_x_threshold = stored(drivingFields[0]);
    d.gsen_y_threshold = stored(drivingFields[1]);
    d.gsen_z_threshold = stored(drivingFields[2]);
    d.parkmode_x_threshold = stored(parkingFields[0]);
    d.parkmode_y_threshold = stored(parkingFields[1]);
    d.parkmode_z_threshold = stored(parkingFields[2]);
    d.ledoff = frontLedOffChk->isChecked() ? 0 : 1;
    d.ledoff_rear = rearLedOffChk->isChecked() ? 0 : 1;
    // Leaving the field by a click on a tab or a button does not end its
    // editing; clean it here so only a car number the camera takes is stored.
    carNumberField->textDidEndEditing();
    TKSetPlateNumber(d, carNumberField->text().toStdString());
    d.sd_mem_always_reserved = static_cast<uint32_t>(kCutOffVoltages[static_cast<std::size_t>(std::max(0, powerVoltageCombo->currentIndex()))]);
    d.sd_mem_motion_reserved = static_cast<uint32_t>(kPowerTimers[static_cast<std::size_t>(std::max(0, powerTimeCombo->currentIndex()))]);
    d.sd_mem_event_reserved = useExternalPowerChk->isChecked() ? 1 : 0;
    d.CableVoltCorr = static_cast<uint32_t>(cableLossCombo->currentIndex() + 1);
    uint32_t rear = d.external_rear_camera;
    rear = SetRearCameraSetting(rear, 0, externalRearCameraUse->isChecked() ? 1 : 0);
    rear = SetRearCameraSetting(rear, 1, externalRearCameraUseEvent->isChecked() ? 1 : 0);
    rear = SetRearCameraSetting(rear, 2, externalRearCameraUseMotion->isChecked() ? 1 : 0);
    d.external_rear_camera = rear;
    if (mainController) {
        mainController->userDefaults().setInteger(kTKExternalRearCameraKey, rear);
        mainController->userDefaults().synchronize();
    }
    return true;
}
