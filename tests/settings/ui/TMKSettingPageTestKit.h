#pragma once

// Records and user input shared by the settings page and window tests.

#include "settings/TKSettingFields.h"
#include "settings/TKSettingFile.h"
#include "settings/ui/TMKSegmentedControl.h"

#include <QAbstractButton>
#include <QPushButton>
#include <QStringList>
#include <QTest>

#include <cstring>

// A record in which every field a page edits holds a value other than its
// default, and a few kept fields do too.
inline _FILEDATA TKNonDefaultRecord()
{
    static const std::pair<const char*, int64_t> values[] = {
        // Video
        {"vid_enc_bitrate", 2}, {"vid_brightness", 4}, {"vid_enc_bitrate_R", 0}, {"vid_brightness_R", 3},
        {"flip_video", 1}, {"rear_fps", 1}, {"front_cpl_use", 3}, {"rear_cpl_use", 2},
        // OBD; SaveDuration: code 1, OBD in parking
        {"nodriving_day", 5}, {"speed_disp_unit", 1}, {"osd_speed_flag", 0}, {"time_gmt", 22}, {"summer_time", 1},
        {"SaveDuration", 0x11}, {"sd_mem_always_reserved", 11800}, {"sd_mem_event_reserved", 0}, {"MemConfig", 1},
        {"drivingSecurity", 70}, {"parkingSecurity", 15},
        // Auxiliary
        {"sd_mem_always_ratio", 60}, {"sd_mem_motion_ratio", 40}, {"DayTime", 2}, {"lcd_autopoweroff", 3},
        {"Gamma", 1}, {"lcd_brightness", 2}, {"lcd_brightness_night", 0}, {"parking_rear_off", 1},
        {"lcd_screensaver", 2}, {"parking_alarm", 0}, {"always_mode_recording_time", 0}, {"pip_position", 3},
        {"autoFormatAlarm", 4},
        // Motion
        {"motion720pCValue", 5}, {"motion1080pCValue", 1}, {"motionBlock", 0x0A5}, {"motionBlock_Rear", 0xF00},
        // Audio
        {"aud_input_vol", 1}, {"aud_output_vol", 3}, {"alarm_ontime_flag", 0}, {"Brightness1", 13},
        // Kept by every page
        {"vid_contrast", 7}, {"motion_zone", 3}, {"debug_mode", 0},
    };
    _FILEDATA d{};
    TKMakeDefaultSettings(d);
    for (const auto& [name, value] : values) {
        if (!TKSetFieldElement(d, *TKFindSettingField(name), 0, value))
            qFatal("cannot set %s", name);
    }
    std::memcpy(d.wifi_ssid, "dashnet", 7);
    return d;
}

// The names of the fields whose bytes differ.
inline QStringList TKChangedFields(const _FILEDATA& a, const _FILEDATA& b)
{
    QStringList names;
    const auto* pa = reinterpret_cast<const unsigned char*>(&a);
    const auto* pb = reinterpret_cast<const unsigned char*>(&b);
    for (const TKSettingField& field : TKSettingFields()) {
        if (std::memcmp(pa + field.offset, pb + field.offset, field.size()) != 0)
            names << QString::fromUtf8(field.name.data(), static_cast<qsizetype>(field.name.size()));
    }
    return names;
}

// A user's click on segment i.
inline void TKClickSegment(TMKSegmentedControl* control, int segment)
{
    const auto buttons = control->findChildren<QPushButton*>(Qt::FindDirectChildrenOnly);
    QVERIFY2(segment < buttons.size(), "no such segment");
    QTest::mouseClick(buttons[segment], Qt::LeftButton);
}

inline void TKClick(QAbstractButton* button)
{
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(8, button->height() / 2));
}
