#include "settings/ui/TMKSettingForAuxViewController.h"

#include "settings/TMKValidator.h"
#include "settings/ui/TMKSegmentedControl.h"
#include "settings/ui/TMKSettingController.h"
#include "settings/ui/TMKSettingPageKit.h"
#include "strings/TMKStrings.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSlider>
#include <QTimer>
#include <QVBoxLayout>

namespace {

QString percent(int value)
{
    return QString::asprintf("%d%%", value);
}

// The screen saver's segments in order stand for these stored codes.
constexpr std::array<uint32_t, 3> kScreenSaverCodes{1, 0, 2};

} // namespace

TMKSettingForAuxViewController::TMKSettingForAuxViewController(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("TMKSettingForAuxViewController"));
    awakeFromNib();
}

void TMKSettingForAuxViewController::awakeFromNib()
{
    auto* page = new QVBoxLayout(this);

    // Card share: slider positions are tenths of the card.
    QGroupBox* capacity = TKMakeBox(this, "setting.aux.sdcard_capacity", "boxOfSDCardCapacity");
    auto* capacityLayout = new QGridLayout(capacity);
    memeryRatioSlider = new QSlider(Qt::Horizontal, capacity);
    memeryRatioSlider->setObjectName(QStringLiteral("memeryRatioSlider"));
    memeryRatioSlider->setRange(0, 10);
    memeryRatioSlider->setPageStep(1);
    memeryRatioSlider->setTickPosition(QSlider::TicksBelow);
    memeryRatioSlider->setTickInterval(1);
    memeryRatioSlider->setMinimumWidth(220);
    auto* alwaysLabel = new QLabel(TMKLocalizedString("setting.aux.always"), capacity);
    alwaysLabel->setObjectName(QStringLiteral("alwaysLabel"));
    auto* motionLabel = new QLabel(TMKLocalizedString("setting.aux.motion"), capacity);
    motionLabel->setObjectName(QStringLiteral("motionLabel"));
    const auto shareField = [capacity](const char* name) {
        auto* field = new QLineEdit(capacity);
        field->setObjectName(QLatin1String(name));
        field->setReadOnly(true);
        field->setFocusPolicy(Qt::NoFocus);
        field->setAlignment(Qt::AlignRight);
        field->setMaximumWidth(56);
        return field;
    };
    alwaysField = shareField("alwaysField");
    motionField = shareField("motionField");
    sdcardCapacityWarningLabel = new QLabel(TMKLocalizedString("msg.memconfig_warning"), capacity);
    sdcardCapacityWarningLabel->setObjectName(QStringLiteral("sdcardCapacityWarningLabel"));
    sdcardCapacityWarningLabel->setWordWrap(true);
    sdcardCapacityWarningLabel->setStyleSheet(QStringLiteral("color: #c0392b;"));
    sdcardCapacityWarningLabel->hide();
    capacityLayout->addWidget(alwaysLabel, 0, 0);
    capacityLayout->addWidget(alwaysField, 0, 1);
    capacityLayout->addWidget(memeryRatioSlider, 0, 2);
    capacityLayout->addWidget(motionField, 0, 3);
    capacityLayout->addWidget(motionLabel, 0, 4);
    capacityLayout->addWidget(sdcardCapacityWarningLabel, 1, 0, 1, 5);
    capacityLayout->setColumnStretch(2, 1);
    page->addWidget(capacity);

    auto* grid = new QGridLayout;
    page->addLayout(grid);
    int cell = 0;
    const auto place = [this, grid, &cell](const char* key, const char* name, const QStringList& labels,
                                           int span = 1) {
        QGroupBox* box = TKMakeBox(this, key, name);
        box->setObjectName(QLatin1String(name) + QStringLiteral("Box"));
        auto* layout = new QHBoxLayout(box);
        TMKSegmentedControl* control = TKMakeSegments(box, name, labels);
        layout->addWidget(control);
        layout->addStretch();
        if (span == 2 && cell % 2 == 1)
            ++cell;
        grid->addWidget(box, cell / 2, cell % 2, 1, span);
        cell += span;
        return control;
    };
    // Segment controls carry the outlet names; their boxes are named after them.
    dayTimeAESeg = place("setting.aux.night_ae_setting", "dayTimeAESeg",
                         TKLocalizedList({"setting.aux.low", "setting.aux.medium_sedan", "setting.aux.high_suv"}));
    lcdAutoPowerOffSeg = place("setting.aux.lcd_auto_off", "lcdAutoPowerOffSeg",
                               {TMKLocalizedString("none"), TMKLocalizedString("nSecond_fmt").arg(15),
                                TMKLocalizedString("nSecond_fmt").arg(30), TMKLocalizedString("nSecond_fmt").arg(60)});
    gammaSeg = place("setting.aux.country_ac_power_setting", "gammaSeg",
                     {QStringLiteral("60Hz(30fps)"), QStringLiteral("50Hz(25fps)")});
    lcdBrightnessSeg = place("setting.aux.lcd_brightness", "lcdBrightnessSeg",
                             {QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3")});
    lcdNightBrightnessSeg = place("setting.aux.lcd_brightness_night", "lcdNightBrightnessSeg",
                                  TKLocalizedList({"unuse", "use"}));
    parkingRearOffSeg = place("setting.aux.parking_rear_setting", "parkingRearOffSeg", TKLocalizedList({"unuse", "use"}));
    lcdScreenSaverSeg = place("setting.aux.lcd_screensaver", "lcdScreenSaverSeg",
                              TKLocalizedList({"unuse", "default", "customize"}));
    parkingAlarmSeg = place("setting.aux.parking_monitor_notice", "parkingAlarmSeg", TKLocalizedList({"unuse", "use"}));
    recordingLengthSeg = place("setting.aux.recording_length", "recordingLengthSeg", TKLocalizedList({"5min", "3min"}));

    QGroupBox* pipBox = TKMakeBox(this, "setting.aux.pip_position", "boxOfPipPosition");
    auto* pipGrid = new QGridLayout(pipBox);
    pipPositionRadio = new QButtonGroup(this);
    pipPositionRadio->setObjectName(QStringLiteral("pipPositionRadio"));
    const std::array<const char*, 4> corners{"setting.aux.pip_top_left", "setting.aux.pip_top_right",
                                             "setting.aux.pip_bottom_left", "setting.aux.pip_bottom_right"};
    for (int i = 0; i < 4; ++i) {
        auto* radio = new QRadioButton(TMKLocalizedString(corners[static_cast<std::size_t>(i)]), pipBox);
        radio->setObjectName(QStringLiteral("pipCell%1%2").arg(i / 2).arg(i % 2));
        pipPositionRadio->addButton(radio, i);
        pipGrid->addWidget(radio, i / 2, i % 2);
    }
    grid->addWidget(pipBox, cell / 2, cell % 2);
    ++cell;

    autoFormatAlarmSeg = place("setting.aux.auto_format_alarm", "autoFormatAlarmSeg",
                               TKLocalizedList({"setting.aux.auto_format_notuse", "setting.aux.auto_format_4week",
                                                "setting.aux.auto_format_8week", "setting.aux.auto_format_16week",
                                                "setting.aux.auto_format_32week"}),
                               2);
    // Only a caption in this version: the motion options live on their own page.
    QGroupBox* boxOfMotion = TKMakeBox(this, "setting.aux.motion_sense_setting", "boxOfMotion");
    boxOfMotion->hide();
    page->addStretch();

    connect(memeryRatioSlider, &QSlider::valueChanged, this, &TMKSettingForAuxViewController::sliderMoved);
}

void TMKSettingForAuxViewController::setFileData(_FILEDATA* record)
{
    fileData = record;
    displayFileData();
}

void TMKSettingForAuxViewController::setMainController(TMKSettingHost* controller)
{
    mainController = controller;
}

std::pair<int, int> TMKSettingForAuxViewController::pipCellOf(uint32_t code)
{
    switch (code) {
    case 1:
        return {0, 1};
    case 2:
        return {0, 0};
    case 3:
        return {1, 0};
    default: // 0, and any code the camera does not have
        return {1, 1};
    }
}

uint32_t TMKSettingForAuxViewController::pipCodeOf(int row, int column)
{
    if (row == 0)
        return column == 0 ? 2 : 1;
    return column == 0 ? 3 : 0;
}

QRadioButton* TMKSettingForAuxViewController::pipCell(int row, int column) const
{
    return qobject_cast<QRadioButton*>(pipPositionRadio->button(row * 2 + column));
}

void TMKSettingForAuxViewController::displayFileData()
{
    if (!fileData)
        return;
    const _FILEDATA& d = *fileData;
    m_displaying = true;
    alwaysField->setText(percent(static_cast<int>(d.sd_mem_always_ratio)));
    motionField->setText(percent(static_cast<int>(d.sd_mem_motion_ratio)));
    memeryRatioSlider->setValue(static_cast<int>(std::min<uint32_t>(d.sd_mem_always_ratio / 10, 10)));
    m_displaying = false;
    TKShowSegment(dayTimeAESeg, d.DayTime);
    TKShowSegment(lcdAutoPowerOffSeg, d.lcd_autopoweroff);
    TKShowSegment(gammaSeg, d.Gamma);
    TKShowSegment(lcdBrightnessSeg, d.lcd_brightness);
    TKShowSegment(lcdNightBrightnessSeg, d.lcd_brightness_night);
    // Stored the other way round: 1 means the rear camera is off.
    parkingRearOffSeg->setSelectedSegment(d.parking_rear_off != 0 ? 0 : 1);
    if (d.lcd_screensaver == 0 || d.lcd_screensaver == 1)
        lcdScreenSaverSeg->setSelectedSegment(d.lcd_screensaver == 0 ? 1 : 0);
    else
        TKShowSegment(lcdScreenSaverSeg, d.lcd_screensaver);
    TKShowSegment(parkingAlarmSeg, d.parking_alarm);
    TKShowSegment(recordingLengthSeg, d.always_mode_recording_time);
    const auto [row, column] = pipCellOf(d.pip_position);
    pipCell(row, column)->setChecked(true);
    TKShowSegment(autoFormatAlarmSeg, d.autoFormatAlarm);
}

void TMKSettingForAuxViewController::sliderMoved(int value)
{
    if (m_displaying)
        return;
    alwaysField->setText(percent(value * 10));
    motionField->setText(percent((10 - value) * 10));
    sdcardCapacityWarningLabel->show();
}

std::optional<QString> TMKSettingForAuxViewController::validateUserInput()
{
    const int always = memeryRatioSlider->value() * 10;
    auto message = TMKValidator::validateSDCardSizeRatio(always);
    if (!message)
        message = TMKValidator::validateSDCardSizeRatio(100 - always);
    if (!message)
        return std::nullopt;
    QTimer::singleShot(0, memeryRatioSlider, [slider = memeryRatioSlider] { slider->setFocus(Qt::OtherFocusReason); });
    return TKMessageText(*message);
}

bool TMKSettingForAuxViewController::populate()
{
    if (!fileData || validateUserInput())
        return false;
    _FILEDATA& d = *fileData;
    d.sd_mem_always_ratio = static_cast<uint32_t>(memeryRatioSlider->value() * 10);
    d.sd_mem_motion_ratio = 100 - d.sd_mem_always_ratio;
    d.DayTime = TKStoredSegment(dayTimeAESeg);
    d.lcd_autopoweroff = TKStoredSegment(lcdAutoPowerOffSeg);
    d.Gamma = TKStoredSegment(gammaSeg);
    d.lcd_brightness = TKStoredSegment(lcdBrightnessSeg);
    d.lcd_brightness_night = TKStoredSegment(lcdNightBrightnessSeg);
    d.parking_rear_off = TKStoredSegment(parkingRearOffSeg) == 0 ? 1 : 0;
    d.lcd_screensaver = kScreenSaverCodes[std::min<std::size_t>(TKStoredSegment(lcdScreenSaverSeg), 2)];
    d.parking_alarm = TKStoredSegment(parkingAlarmSeg);
    d.always_mode_recording_time = TKStoredSegment(recordingLengthSeg);
    const int checked = std::max(0, pipPositionRadio->checkedId());
    d.pip_position = pipCodeOf(checked / 2, checked % 2);
    d.autoFormatAlarm = TKStoredSegment(autoFormatAlarmSeg);
    return true;
}
