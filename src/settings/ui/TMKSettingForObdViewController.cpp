#include "settings/ui/TMKSettingForObdViewController.h"

#include "lib/RangeSlider/SMDoubleSlider.h"
#include "settings/TKTimeZone.h"
#include "settings/ui/TMKSegmentedControl.h"
#include "settings/ui/TMKSettingController.h"
#include "settings/ui/TMKSettingPageKit.h"
#include "strings/TMKStrings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr uint32_t kIntervalBits = 0x0F;
constexpr uint32_t kParkingBits = 0xF0;
constexpr uint32_t kObdInParking = 0x10;

QLabel* guide(QWidget* parent, const char* key, const char* name)
{
    auto* label = new QLabel(TMKLocalizedString(key), parent);
    label->setObjectName(QLatin1String(name));
    label->setWordWrap(true);
    label->setStyleSheet(QStringLiteral("color: #5a6068;"));
    return label;
}

// 100 minus a stored bound, held to what a knob can show.
int knobOf(uint32_t stored)
{
    return static_cast<int>(100 - std::min<int64_t>(stored, 1000));
}

} // namespace

std::vector<EcoSliderAxisView::Tick> EcoSliderAxisView::ticks(int left, int right)
{
    std::vector<Tick> result;
    result.reserve(kTickCount);
    for (int i = 0; i < kTickCount; ++i) {
        const bool longTick = i == 0 || i == 10 || i == kTickCount - 1;
        const int x = left + static_cast<int>(std::lround(double(i) * (right - left) / (kTickCount - 1)));
        result.push_back(longTick ? Tick{x, 3, 8} : Tick{x, 5, 5});
    }
    return result;
}

EcoSliderAxisView::EcoSliderAxisView(SMDoubleSlider* slider, QWidget* parent) : QWidget(parent), m_slider(slider)
{
    setObjectName(QStringLiteral("ecoSliderAxisView"));
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setFixedHeight(14);
}

void EcoSliderAxisView::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    // The axis sits under the slider with the same width, so the slider's
    // own track ends are the axis's ends.
    const int offset = m_slider->mapTo(window(), QPoint(0, 0)).x() - mapTo(window(), QPoint(0, 0)).x();
    for (const Tick& tick : ticks(offset + m_slider->trackLeft(), offset + m_slider->trackRight()))
        p.fillRect(tick.x, tick.y, 1, tick.height, QColor(0x8a, 0x90, 0x98));
}

TMKSettingForObdViewController::TMKSettingForObdViewController(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("TMKSettingForObdViewController"));
    awakeFromNib();
}

void TMKSettingForObdViewController::awakeFromNib()
{
    auto* page = new QVBoxLayout(this);
    auto* grid = new QGridLayout;
    page->addLayout(grid);
    const auto box = [this](const char* key, const char* name) {
        QGroupBox* group = TKMakeBox(this, key, name);
        new QVBoxLayout(group);
        return group;
    };
    const auto row = [](QGroupBox* group, QWidget* control) {
        auto* line = new QHBoxLayout;
        control->setParent(group);
        line->addWidget(control);
        line->addStretch();
        static_cast<QVBoxLayout*>(group->layout())->addLayout(line);
    };

    QGroupBox* boxOfDay = box("setting.obd.weekly_alarm", "boxOfDay");
    drivingDaySeg = TKMakeSegments(boxOfDay, "drivingDaySeg",
                                   TKLocalizedList({"none", "mon", "tue", "wed", "thu", "fri", "sat", "sun"}));
    row(boxOfDay, drivingDaySeg);
    boxOfDay->layout()->addWidget(guide(boxOfDay, "setting.obd.obd_guide1", "obdGuide1Field"));
    grid->addWidget(boxOfDay, 0, 0, 1, 2);

    QGroupBox* boxOfSpeedDisplayUnit = box("setting.obd.speed_display", "boxOfSpeedDisplayUnit");
    speedDisplayUnitSeg = TKMakeSegments(boxOfSpeedDisplayUnit, "speedDisplayUnitSeg",
                                         {QStringLiteral("Km/h"), QStringLiteral("Mi/h")});
    row(boxOfSpeedDisplayUnit, speedDisplayUnitSeg);
    boxOfSpeedDisplayUnit->layout()->addWidget(
        guide(boxOfSpeedDisplayUnit, "setting.obd.obd_speed_guide1", "speedGuide1Field"));
    grid->addWidget(boxOfSpeedDisplayUnit, 1, 0);

    QGroupBox* boxOfObdSpeedDisplay = box("setting.obd.osd_speed_display", "boxOfObdSpeedDisplay");
    osdSpeedDisplaySeg = TKMakeSegments(boxOfObdSpeedDisplay, "osdSpeedDisplaySeg", TKLocalizedList({"off", "on"}));
    row(boxOfObdSpeedDisplay, osdSpeedDisplaySeg);
    grid->addWidget(boxOfObdSpeedDisplay, 1, 1);

    QGroupBox* boxOfTime = box("setting.obd.timezone_setting", "boxOfTime");
    auto* timeLine = new QHBoxLayout;
    timeGmtCombo = new QComboBox(boxOfTime);
    timeGmtCombo->setObjectName(QStringLiteral("timeGmtCombo"));
    for (int32_t i = 0; i < static_cast<int32_t>(kTKTimeZoneCodes.size()); ++i)
        timeGmtCombo->addItem(QString::fromStdString(TKTimeZoneText(i)));
    summerTimeChk = new QCheckBox(TMKLocalizedString("summerTime"), boxOfTime);
    summerTimeChk->setObjectName(QStringLiteral("summerTimeChk"));
    timeLine->addWidget(timeGmtCombo);
    timeLine->addWidget(summerTimeChk);
    timeLine->addStretch();
    static_cast<QVBoxLayout*>(boxOfTime->layout())->addLayout(timeLine);
    boxOfTime->layout()->addWidget(guide(boxOfTime, "setting.obd.obd_time_guide1", "timeGuide1Field"));
    grid->addWidget(boxOfTime, 2, 0);

    QGroupBox* boxOfSaveDuration = box("setting.obd.driving_route_info_saving_interval", "boxOfSaveDuration");
    saveDurationSeg = TKMakeSegments(boxOfSaveDuration, "saveDurationSeg",
                                     TKLocalizedList({"setting.obd.save_interval_1", "setting.obd.save_interval_2",
                                                      "setting.obd.save_interval_3", "setting.obd.save_interval_4"}));
    row(boxOfSaveDuration, saveDurationSeg);
    grid->addWidget(boxOfSaveDuration, 2, 1);

    QGroupBox* boxOfNightTime = box("setting.obd.obd_on_parking_mode", "boxOfNightTime");
    useObdParkingSeg = TKMakeSegments(boxOfNightTime, "useObdParkingSeg", TKLocalizedList({"off", "on"}));
    row(boxOfNightTime, useObdParkingSeg);
    boxOfNightTime->layout()->addWidget(guide(boxOfNightTime, "setting.obd.obd_guide2", "obdGuide2Field"));
    grid->addWidget(boxOfNightTime, 3, 0);

    QGroupBox* boxOfPower = box("setting.obd.voltage_setting", "boxOfPower");
    auto* powerLine = new QHBoxLayout;
    powerVoltageCombo = new QComboBox(boxOfPower);
    powerVoltageCombo->setObjectName(QStringLiteral("powerVoltageCombo"));
    for (int i = 0; i < kVoltageCount; ++i)
        powerVoltageCombo->addItem(QString::asprintf("%.1fv", (kLowestVoltage + kVoltageStep * i) / 1000.0));
    useExternalPowerChk = new QCheckBox(TMKLocalizedString("setting.basic.use_external_power"), boxOfPower);
    useExternalPowerChk->setObjectName(QStringLiteral("useExternalPowerChk"));
    powerLine->addWidget(powerVoltageCombo);
    powerLine->addWidget(useExternalPowerChk);
    powerLine->addStretch();
    static_cast<QVBoxLayout*>(boxOfPower->layout())->addLayout(powerLine);
    boxOfPower->layout()->addWidget(guide(boxOfPower, "setting.obd.cutoff_guide1", "powerGuide1Field"));
    grid->addWidget(boxOfPower, 3, 1);

    // Eco-drive band: the low knob is the eco bound, the high knob the uneco one.
    QGroupBox* boxOfEco = box("setting.obd.ecodrive", "boxOfEco");
    useEcoDriveChk = new QCheckBox(TMKLocalizedString("setting.obd.use_ecodrive"), boxOfEco);
    useEcoDriveChk->setObjectName(QStringLiteral("useEcoDriveChk"));
    boxOfEco->layout()->addWidget(useEcoDriveChk);
    ecoSlider = new SMDoubleSlider(boxOfEco);
    ecoSlider->setObjectName(QStringLiteral("ecoSlider"));
    ecoSlider->setMinValue(0);
    ecoSlider->setMaxValue(100);
    ecoSlider->setAltIncrementValue(1);
    ecoSlider->setTrackedKnob(SMDoubleSlider::Knob::Low);
    ecoSlider->setLoValue(m_ecoLo);
    ecoSlider->setHiValue(m_ecoHi);
    boxOfEco->layout()->addWidget(ecoSlider);
    ecoSliderAxisView = new EcoSliderAxisView(ecoSlider, boxOfEco);
    boxOfEco->layout()->setSpacing(2);
    boxOfEco->layout()->addWidget(ecoSliderAxisView);
    auto* ecoTexts = new QHBoxLayout;
    const auto ecoText = [boxOfEco, ecoTexts](const char* name, Qt::Alignment alignment) {
        auto* label = new QLabel(boxOfEco);
        label->setObjectName(QLatin1String(name));
        label->setAlignment(alignment);
        ecoTexts->addWidget(label, 1);
        return label;
    };
    ecoDriveLabel = ecoText("ecoDriveLabel", Qt::AlignLeft);
    normalDriveLabel = ecoText("normalDriveLabel", Qt::AlignHCenter);
    unecoDriveLabel = ecoText("unecoDriveLabel", Qt::AlignRight);
    static_cast<QVBoxLayout*>(boxOfEco->layout())->addLayout(ecoTexts);
    grid->addWidget(boxOfEco, 4, 0, 1, 2);
    page->addStretch();

    // The knobs and the page's two values follow each other both ways.
    connect(ecoSlider, &SMDoubleSlider::loValueChanged, this, &TMKSettingForObdViewController::setEcoLoValue);
    connect(ecoSlider, &SMDoubleSlider::hiValueChanged, this, &TMKSettingForObdViewController::setEcoHiValue);
    connect(this, &TMKSettingForObdViewController::ecoLoValueChanged, ecoSlider, &SMDoubleSlider::setLoValue);
    connect(this, &TMKSettingForObdViewController::ecoHiValueChanged, ecoSlider, &SMDoubleSlider::setHiValue);
    connect(this, &TMKSettingForObdViewController::ecoLoValueChanged, this, &TMKSettingForObdViewController::updateEco);
    connect(this, &TMKSettingForObdViewController::ecoHiValueChanged, this, &TMKSettingForObdViewController::updateEco);
    connect(useExternalPowerChk, &QCheckBox::clicked, this, &TMKSettingForObdViewController::clickUseExternalPowerChk);
    updateEco();
}

void TMKSettingForObdViewController::setFileData(_FILEDATA* record)
{
    fileData = record;
    displayFileData();
}

void TMKSettingForObdViewController::setMainController(TMKSettingHost* controller)
{
    mainController = controller;
}

void TMKSettingForObdViewController::setEcoLoValue(int value)
{
    if (value == m_ecoLo)
        return;
    m_ecoLo = value;
    emit ecoLoValueChanged(value);
}

void TMKSettingForObdViewController::setEcoHiValue(int value)
{
    if (value == m_ecoHi)
        return;
    m_ecoHi = value;
    emit ecoHiValueChanged(value);
}

int TMKSettingForObdViewController::voltageItemOf(uint32_t millivolts)
{
    if (millivolts < kLowestVoltage || (millivolts - kLowestVoltage) % kVoltageStep != 0)
        return -1;
    const uint32_t item = (millivolts - kLowestVoltage) / kVoltageStep;
    return item < kVoltageCount ? static_cast<int>(item) : -1;
}

void TMKSettingForObdViewController::displayFileData()
{
    if (!fileData)
        return;
    _FILEDATA& d = *fileData;
    TKShowSegment(drivingDaySeg, d.nodriving_day);
    TKShowSegment(speedDisplayUnitSeg, d.speed_disp_unit);
    TKShowSegment(osdSpeedDisplaySeg, static_cast<uint32_t>(std::max(0, d.osd_speed_flag)));
    timeGmtCombo->setCurrentIndex(d.time_gmt >= 0 && d.time_gmt < timeGmtCombo->count() ? d.time_gmt : -1);
    summerTimeChk->setChecked(d.summer_time != 0);
    powerVoltageCombo->setCurrentIndex(voltageItemOf(d.sd_mem_always_reserved));
    useExternalPowerChk->setChecked(d.sd_mem_event_reserved == 1);
    // Code 3 is shown, and kept from now on, as code 4.
    if ((d.SaveDuration & kIntervalBits) == 3)
        d.SaveDuration = 4;
    const uint32_t code = d.SaveDuration & kIntervalBits;
    saveDurationSeg->setSelectedSegment(code >= 1 && code <= 4 ? static_cast<int>(code) - 1 : 3);
    useObdParkingSeg->setSelectedSegment((d.SaveDuration & kParkingBits) == kObdInParking ? 1 : 0);
    useEcoDriveChk->setChecked(d.MemConfig != 0);
    // Both knobs at once: one at a time could be held back by the other's old place.
    ecoSlider->setValues(knobOf(d.drivingSecurity), knobOf(d.parkingSecurity));
    updateEco();
    updatePowerUI();
}

void TMKSettingForObdViewController::updatePowerUI()
{
    const bool external = fileData && fileData->sd_mem_event_reserved == 1;
    powerVoltageCombo->setEnabled(!external);
    useObdParkingSeg->setEnabled(!external);
    useExternalPowerChk->setChecked(external);
}

void TMKSettingForObdViewController::clickUseExternalPowerChk()
{
    if (fileData)
        fileData->sd_mem_event_reserved = useExternalPowerChk->isChecked() ? 1 : 0;
    updatePowerUI();
}

void TMKSettingForObdViewController::updateEco()
{
    const int lo = m_ecoLo;
    const int hi = m_ecoHi;
    const QString a = QString::number((100 - lo) / 100.0, 'f', 2);
    const QString b = QString::number((100 - hi) / 100.0, 'f', 2);
    ecoDriveLabel->setText(QStringLiteral("Eco Drive : %1 %2").arg(a, TMKLocalizedString("over")));
    normalDriveLabel->setText(QStringLiteral("Normal Drive : %1 ~ %2").arg(a, b));
    unecoDriveLabel->setText(QStringLiteral("Uneco Drive : %1 %2").arg(b, TMKLocalizedString("under")));
}

bool TMKSettingForObdViewController::populate()
{
    if (!fileData)
        return false;
    _FILEDATA& d = *fileData;
    d.nodriving_day = TKStoredSegment(drivingDaySeg);
    d.speed_disp_unit = TKStoredSegment(speedDisplayUnitSeg);
    d.osd_speed_flag = static_cast<int32_t>(TKStoredSegment(osdSpeedDisplaySeg));
    d.time_gmt = timeGmtCombo->currentIndex();
    d.summer_time = summerTimeChk->isChecked() ? 1 : 0;

    uint32_t saveDuration = d.SaveDuration & kParkingBits;
    const int interval = saveDurationSeg->selectedSegment();
    saveDuration |= interval >= 0 && interval <= 2 ? static_cast<uint32_t>(interval) + 1 : 4;
    if (useObdParkingSeg->selectedSegment() == 1)
        saveDuration |= kObdInParking;
    else
        saveDuration &= kIntervalBits;
    d.SaveDuration = saveDuration;

    // A stored voltage the list does not have stays as it was unless the
    // user picks one.
    const int voltage = powerVoltageCombo->currentIndex();
    if (voltage >= 0)
        d.sd_mem_always_reserved = kLowestVoltage + kVoltageStep * static_cast<uint32_t>(voltage);
    d.sd_mem_event_reserved = useExternalPowerChk->isChecked() ? 1 : 0;
    d.MemConfig = useEcoDriveChk->isChecked() ? 1 : 0;
    d.drivingSecurity = static_cast<uint32_t>(100 - m_ecoLo);
    d.parkingSecurity = static_cast<uint32_t>(100 - m_ecoHi);
    return true;
}
