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
    _FILEDATA d{};
    TKMakeDefaultSettings(d);
    // Video
    d.vid_enc_bitrate = 2;
    d.vid_brightness = 4;
    d.vid_enc_bitrate_R = 0;
    d.vid_brightness_R = 3;
    d.flip_video = 1;
    d.rear_fps = 1;
    d.front_cpl_use = 3;
    d.rear_cpl_use = 2;
    // OBD
    d.nodriving_day = 5;
    d.speed_disp_unit = 1;
    d.osd_speed_flag = 0;
    d.time_gmt = 22;
    d.summer_time = 1;
    d.SaveDuration = 0x11; // code 1, OBD in parking
    d.sd_mem_always_reserved = 11800;
    d.sd_mem_event_reserved = 0;
    d.MemConfig = 1;
    d.drivingSecurity = 70;
    d.parkingSecurity = 15;
    // Auxiliary
    d.sd_mem_always_ratio = 60;
    d.sd_mem_motion_ratio = 40;
    d.DayTime = 2;
    d.lcd_autopoweroff = 3;
    d.Gamma = 1;
    d.lcd_brightness = 2;
    d.lcd_brightness_night = 0;
    d.parking_rear_off = 1;
    d.lcd_screensaver = 2;
    d.parking_alarm = 0;
    d.always_mode_recording_time = 0;
    d.pip_position = 3;
    d.autoFormatAlarm = 4;
    // Motion
    d.motion720pCValue = 5;
    d.motion1080pCValue = 1;
    d.motionBlock = 0x0A5;
    d.motionBlock_Rear = 0xF00;
    // Audio
    d.aud_input_vol = 1;
    d.aud_output_vol = 3;
    d.alarm_ontime_flag = 0;
    d.Brightness1 = 13;
    // Kept by every page
    d.vid_contrast = 7;
    d.motion_zone = 3;
    std::memcpy(d.wifi_ssid, "dashnet", 7);
    d.debug_mode = 0;
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
