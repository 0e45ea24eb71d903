#pragma once

#include "base/TKAtomicFile.h"
#include "settings/TKUserDefaults.h"

#include <bit>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The camera reads config.bin as a raw memory image of this record:
// little-endian, no gaps, 428 bytes. Field names are the camera's own; several
// hold values their names do not suggest (see the comments).
static_assert(std::endian::native == std::endian::little,
    "config.bin is a little-endian memory image; a big-endian host needs byte swapping");

#pragma pack(push, 1)
struct _FILEDATA {
    uint16_t cfg_ver;
    uint16_t checksum; // XOR of the low halves of words 1..106, set when sealing
    uint32_t disp_segment_mode;
    uint32_t sd_mem_always_ratio; // continuous recording share, percent
    uint32_t sd_mem_event_ratio;
    uint32_t sd_mem_motion_ratio; // motion recording share, percent
    uint32_t sd_mem_always_reserved; // parking cut-off voltage: 0, 1 auto, 10000 external, else mV
    uint32_t sd_mem_event_reserved; // use external power
    uint32_t sd_mem_motion_reserved; // parking power timer, hours
    uint32_t aud_enable;
    uint32_t aud_codec_type;
    uint32_t aud_sampling_freq;
    uint32_t aud_bitrate;
    uint32_t aud_input_vol;
    uint32_t aud_output_vol;
    uint32_t vid_enc_res;
    uint32_t vid_enc_bitrate;
    uint32_t vid_framerate;
    uint32_t vid_brightness;
    uint32_t vid_contrast;
    uint32_t vid_saturation;
    uint32_t vid_sharpness;
    uint32_t vid_hue;
    int32_t gsen_x_threshold; // hundredths of g
    int32_t gsen_y_threshold;
    int32_t gsen_z_threshold;
    uint32_t always_mode_timeout; // seconds
    int32_t parkmode_x_threshold;
    int32_t parkmode_y_threshold;
    int32_t parkmode_z_threshold;
    uint32_t motion1080pCValue; // rear motion sensitivity
    uint32_t motion720pCValue; // front motion sensitivity
    uint32_t motionBlock;
    int32_t high_temp_threshold;
    uint32_t high_temp_duration;
    int32_t safe_temp_threshold;
    uint32_t safe_temp_duration;
    uint32_t composite_mode;
    uint32_t osd_option;
    int32_t osd_speed_flag;
    int32_t osd_plate_flag; // derived from szPlateNumber when sealing
    uint32_t plate_number;
    uint32_t speed_disp_unit;
    int32_t time_gmt; // index into the time-zone list, -1 none
    uint32_t summer_time;
    uint32_t nodriving_day;
    uint32_t auto_drive_in_mode_on;
    uint32_t auto_park_in_mode_on;
    uint32_t motion_detect_mode_on;
    uint32_t event_only_mode_on;
    uint32_t g_sensor_enable;
    uint32_t audio_mux_enable;
    uint32_t safe_temp_mode_on;
    uint32_t alarm_ontime_flag;
    uint32_t voiceEnable;
    uint32_t drivingSecurity;
    uint32_t parkingSecurity;
    uint32_t SaveDuration;
    uint32_t MemConfig;
    uint32_t BrightnessFixed;
    uint32_t DayTime;
    uint32_t NightTime;
    uint32_t Brightness1; // voice language
    uint32_t ledoff;
    uint32_t Gamma;
    char szPlateNumber[8]; // UTF-8, zero-padded, unterminated at 8 bytes
    uint32_t vid_enc_bitrate_R;
    uint32_t vid_brightness_R;
    uint32_t vid_sharpness_R;
    uint32_t lcd_autopoweroff;
    uint32_t lcd_brightness;
    uint32_t lcd_screensaver;
    uint32_t parking_rear_off;
    uint32_t sd2_mem_always_ratio;
    uint32_t sd2_mem_event_ratio;
    uint32_t sd2_mem_motion_ratio;
    uint32_t flip_video;
    uint32_t parking_alarm;
    uint32_t rear_fps;
    uint32_t motion_zone;
    uint32_t motionBlock_Rear;
    uint32_t ledoff_rear;
    uint32_t always_mode_recording_time;
    uint32_t pip_position;
    uint32_t always_motion;
    uint32_t lcd_brightness_night;
    uint32_t size_rear;
    uint32_t front_cpl_use;
    uint32_t rear_cpl_use;
    uint8_t wifi_ssid[16];
    uint8_t wifi_password[16];
    uint32_t CableVoltCorr;
    uint32_t autoFormatAlarm;
    uint32_t wifi_channel;
    uint32_t flip_front_video;
    uint32_t external_rear_camera; // bit 0 in use, bit 1 LED on events, bit 2 LED on motion
    uint32_t dummy00[4];
    uint32_t debug_mode;
};
#pragma pack(pop)

inline constexpr std::size_t kTKSettingFileSize = 428;
inline constexpr std::size_t kTKPlateNumberSize = 8;
inline constexpr std::string_view kTKSettingFileName = "config.bin";
inline constexpr std::string_view kTKFileOpenFail = "msg.file_open_fail";

#define TK_FIELD_AT(field, offset) static_assert(offsetof(_FILEDATA, field) == (offset), #field)
static_assert(sizeof(_FILEDATA) == kTKSettingFileSize);
TK_FIELD_AT(cfg_ver, 0);
TK_FIELD_AT(checksum, 2);
TK_FIELD_AT(disp_segment_mode, 4);
TK_FIELD_AT(sd_mem_always_ratio, 8);
TK_FIELD_AT(sd_mem_event_ratio, 12);
TK_FIELD_AT(sd_mem_motion_ratio, 16);
TK_FIELD_AT(sd_mem_always_reserved, 20);
TK_FIELD_AT(sd_mem_event_reserved, 24);
TK_FIELD_AT(sd_mem_motion_reserved, 28);
TK_FIELD_AT(aud_enable, 32);
TK_FIELD_AT(aud_codec_type, 36);
TK_FIELD_AT(aud_sampling_freq, 40);
TK_FIELD_AT(aud_bitrate, 44);
TK_FIELD_AT(aud_input_vol, 48);
TK_FIELD_AT(aud_output_vol, 52);
TK_FIELD_AT(vid_enc_res, 56);
TK_FIELD_AT(vid_enc_bitrate, 60);
TK_FIELD_AT(vid_framerate, 64);
TK_FIELD_AT(vid_brightness, 68);
TK_FIELD_AT(vid_contrast, 72);
TK_FIELD_AT(vid_saturation, 76);
TK_FIELD_AT(vid_sharpness, 80);
TK_FIELD_AT(vid_hue, 84);
TK_FIELD_AT(gsen_x_threshold, 88);
TK_FIELD_AT(gsen_y_threshold, 92);
TK_FIELD_AT(gsen_z_threshold, 96);
TK_FIELD_AT(always_mode_timeout, 100);
TK_FIELD_AT(parkmode_x_threshold, 104);
TK_FIELD_AT(parkmode_y_threshold, 108);
TK_FIELD_AT(parkmode_z_threshold, 112);
TK_FIELD_AT(motion1080pCValue, 116);
TK_FIELD_AT(motion720pCValue, 120);
TK_FIELD_AT(motionBlock, 124);
TK_FIELD_AT(high_temp_threshold, 128);
TK_FIELD_AT(high_temp_duration, 132);
TK_FIELD_AT(safe_temp_threshold, 136);
TK_FIELD_AT(safe_temp_duration, 140);
TK_FIELD_AT(composite_mode, 144);
TK_FIELD_AT(osd_option, 148);
TK_FIELD_AT(osd_speed_flag, 152);
TK_FIELD_AT(osd_plate_flag, 156);
TK_FIELD_AT(plate_number, 160);
TK_FIELD_AT(speed_disp_unit, 164);
TK_FIELD_AT(time_gmt, 168);
TK_FIELD_AT(summer_time, 172);
TK_FIELD_AT(nodriving_day, 176);
TK_FIELD_AT(auto_drive_in_mode_on, 180);
TK_FIELD_AT(auto_park_in_mode_on, 184);
TK_FIELD_AT(motion_detect_mode_on, 188);
TK_FIELD_AT(event_only_mode_on, 192);
TK_FIELD_AT(g_sensor_enable, 196);
TK_FIELD_AT(audio_mux_enable, 200);
TK_FIELD_AT(safe_temp_mode_on, 204);
TK_FIELD_AT(alarm_ontime_flag, 208);
TK_FIELD_AT(voiceEnable, 212);
TK_FIELD_AT(drivingSecurity, 216);
TK_FIELD_AT(parkingSecurity, 220);
TK_FIELD_AT(SaveDuration, 224);
TK_FIELD_AT(MemConfig, 228);
TK_FIELD_AT(BrightnessFixed, 232);
TK_FIELD_AT(DayTime, 236);
TK_FIELD_AT(NightTime, 240);
TK_FIELD_AT(Brightness1, 244);
TK_FIELD_AT(ledoff, 248);
TK_FIELD_AT(Gamma, 252);
TK_FIELD_AT(szPlateNumber, 256);
TK_FIELD_AT(vid_enc_bitrate_R, 264);
TK_FIELD_AT(vid_brightness_R, 268);
TK_FIELD_AT(vid_sharpness_R, 272);
TK_FIELD_AT(lcd_autopoweroff, 276);
TK_FIELD_AT(lcd_brightness, 280);
TK_FIELD_AT(lcd_screensaver, 284);
TK_FIELD_AT(parking_rear_off, 288);
TK_FIELD_AT(sd2_mem_always_ratio, 292);
TK_FIELD_AT(sd2_mem_event_ratio, 296);
TK_FIELD_AT(sd2_mem_motion_ratio, 300);
TK_FIELD_AT(flip_video, 304);
TK_FIELD_AT(parking_alarm, 308);
TK_FIELD_AT(rear_fps, 312);
TK_FIELD_AT(motion_zone, 316);
TK_FIELD_AT(motionBlock_Rear, 320);
TK_FIELD_AT(ledoff_rear, 324);
TK_FIELD_AT(always_mode_recording_time, 328);
TK_FIELD_AT(pip_position, 332);
TK_FIELD_AT(always_motion, 336);
TK_FIELD_AT(lcd_brightness_night, 340);
TK_FIELD_AT(size_rear, 344);
TK_FIELD_AT(front_cpl_use, 348);
TK_FIELD_AT(rear_cpl_use, 352);
TK_FIELD_AT(wifi_ssid, 356);
TK_FIELD_AT(wifi_password, 372);
TK_FIELD_AT(CableVoltCorr, 388);
TK_FIELD_AT(autoFormatAlarm, 392);
TK_FIELD_AT(wifi_channel, 396);
TK_FIELD_AT(flip_front_video, 400);
TK_FIELD_AT(external_rear_camera, 404);
TK_FIELD_AT(dummy00, 408);
TK_FIELD_AT(debug_mode, 424);
#undef TK_FIELD_AT

// Failure of a file operation: a localisation key for the window to show.
// Empty on success.
using TKFileResult = std::optional<std::string>;

// Zeroes the record and sets the factory defaults. external_rear_camera comes
// from the user default "7q20externalRearCamera" (0 when absent), because the
// choice belongs to the user's car, not to the card.
void TKMakeDefaultSettings(_FILEDATA& record, const TKUserDefaults& defaults);
// The same without a user default store: the factory record.
void TKMakeDefaultSettings(_FILEDATA& record);

// Reads config.bin into the record. Only a file of exactly 428 bytes is a
// settings file; anything else (missing, unreadable, shorter, longer) leaves
// the record untouched and returns false, so the record is never a mix of
// defaults and a partial read.
[[nodiscard]] bool TKReadSettingFile(const std::string& path, _FILEDATA& record);

enum class TKSettingFileState { Missing, Valid, WrongSize, NotAFile };
// What is at the path, without reading it; the card search takes only Valid.
[[nodiscard]] TKSettingFileState TKSettingFileStateAt(const std::string& path);

// Replaces the file at the path with the record's 428 bytes. The old file
// stays whole until the new one is on the medium (see TKWriteFileAtomically).
// Failure: kTKFileOpenFail, with the system's error text in the log. The
// system calls can be replaced to test failures half way.
[[nodiscard]] TKFileResult TKWriteSettingFile(const _FILEDATA& record, const std::string& path,
    const TKFileCalls& calls = TKFileCalls::system());
[[nodiscard]] TKFileResult TKWriteDefaultSettingFile(const std::string& path, const TKUserDefaults& defaults);
[[nodiscard]] TKFileResult TKWriteDefaultSettingFile(const std::string& path);

// The checksum the record would carry once sealed (its own checksum field
// does not enter it).
[[nodiscard]] uint16_t TKSettingChecksum(const _FILEDATA& record);
// What the save flow does right before writing: osd_plate_flag from the car
// number, then the checksum.
void TKSealSettings(_FILEDATA& record);
[[nodiscard]] bool TKSettingChecksumMatches(const _FILEDATA& record);

// Car number as text: the bytes before the first zero, at most 8.
[[nodiscard]] std::string TKPlateNumber(const _FILEDATA& record);
// Stores at most 8 bytes of UTF-8, zero-filled. A character that would not fit
// whole is left out rather than cut, so the camera never gets half a character.
void TKSetPlateNumber(_FILEDATA& record, std::string_view text);
