#include "settings/TKSettingFields.h"

#include <array>
#include <cstring>
#include <limits>

namespace {

template <typename Member>
constexpr std::size_t elementCount()
{
    if constexpr (std::is_array_v<Member>)
        return std::extent_v<Member>;
    else
        return 1;
}

#define TK_FIELD(name, type) \
    TKSettingField { #name, offsetof(_FILEDATA, name), TKFieldType::type, elementCount<decltype(_FILEDATA::name)>(), false }
#define TK_COMPUTED(name, type) \
    TKSettingField { #name, offsetof(_FILEDATA, name), TKFieldType::type, 1, true }

constexpr std::array kFields = {
    TK_FIELD(cfg_ver, UInt16),
    TK_COMPUTED(checksum, UInt16),
    TK_FIELD(disp_segment_mode, UInt32),
    TK_FIELD(sd_mem_always_ratio, UInt32),
    TK_FIELD(sd_mem_event_ratio, UInt32),
    TK_FIELD(sd_mem_motion_ratio, UInt32),
    TK_FIELD(sd_mem_always_reserved, UInt32),
    TK_FIELD(sd_mem_event_reserved, UInt32),
    TK_FIELD(sd_mem_motion_reserved, UInt32),
    TK_FIELD(aud_enable, UInt32),
    TK_FIELD(aud_codec_type, UInt32),
    TK_FIELD(aud_sampling_freq, UInt32),
    TK_FIELD(aud_bitrate, UInt32),
    TK_FIELD(aud_input_vol, UInt32),
    TK_FIELD(aud_output_vol, UInt32),
    TK_FIELD(vid_enc_res, UInt32),
    TK_FIELD(vid_enc_bitrate, UInt32),
    TK_FIELD(vid_framerate, UInt32),
    TK_FIELD(vid_brightness, UInt32),
    TK_FIELD(vid_contrast, UInt32),
    TK_FIELD(vid_saturation, UInt32),
    TK_FIELD(vid_sharpness, UInt32),
    TK_FIELD(vid_hue, UInt32),
    TK_FIELD(gsen_x_threshold, Int32),
    TK_FIELD(gsen_y_threshold, Int32),
    TK_FIELD(gsen_z_threshold, Int32),
    TK_FIELD(always_mode_timeout, UInt32),
    TK_FIELD(parkmode_x_threshold, Int32),
    TK_FIELD(parkmode_y_threshold, Int32),
    TK_FIELD(parkmode_z_threshold, Int32),
    TK_FIELD(motion1080pCValue, UInt32),
    TK_FIELD(motion720pCValue, UInt32),
    TK_FIELD(motionBlock, UInt32),
    TK_FIELD(high_temp_threshold, Int32),
    TK_FIELD(high_temp_duration, UInt32),
    TK_FIELD(safe_temp_threshold, Int32),
    TK_FIELD(safe_temp_duration, UInt32),
    TK_FIELD(composite_mode, UInt32),
    TK_FIELD(osd_option, UInt32),
    TK_FIELD(osd_speed_flag, Int32),
    TK_COMPUTED(osd_plate_flag, Int32),
    TK_FIELD(plate_number, UInt32),
    TK_FIELD(speed_disp_unit, UInt32),
    TK_FIELD(time_gmt, Int32),
    TK_FIELD(summer_time, UInt32),
    TK_FIELD(nodriving_day, UInt32),
    TK_FIELD(auto_drive_in_mode_on, UInt32),
    TK_FIELD(auto_park_in_mode_on, UInt32),
    TK_FIELD(motion_detect_mode_on, UInt32),
    TK_FIELD(event_only_mode_on, UInt32),
    TK_FIELD(g_sensor_enable, UInt32),
    TK_FIELD(audio_mux_enable, UInt32),
    TK_FIELD(safe_temp_mode_on, UInt32),
    TK_FIELD(alarm_ontime_flag, UInt32),
    TK_FIELD(voiceEnable, UInt32),
    TK_FIELD(drivingSecurity, UInt32),
    TK_FIELD(parkingSecurity, UInt32),
    TK_FIELD(SaveDuration, UInt32),
    TK_FIELD(MemConfig, UInt32),
    TK_FIELD(BrightnessFixed, UInt32),
    TK_FIELD(DayTime, UInt32),
    TK_FIELD(NightTime, UInt32),
    TK_FIELD(Brightness1, UInt32),
    TK_FIELD(ledoff, UInt32),
    TK_FIELD(Gamma, UInt32),
    TK_FIELD(szPlateNumber, Text),
    TK_FIELD(vid_enc_bitrate_R, UInt32),
    TK_FIELD(vid_brightness_R, UInt32),
    TK_FIELD(vid_sharpness_R, UInt32),
    TK_FIELD(lcd_autopoweroff, UInt32),
    TK_FIELD(lcd_brightness, UInt32),
    TK_FIELD(lcd_screensaver, UInt32),
    TK_FIELD(parking_rear_off, UInt32),
    TK_FIELD(sd2_mem_always_ratio, UInt32),
    TK_FIELD(sd2_mem_event_ratio, UInt32),
    TK_FIELD(sd2_mem_motion_ratio, UInt32),
    TK_FIELD(flip_video, UInt32),
    TK_FIELD(parking_alarm, UInt32),
    TK_FIELD(rear_fps, UInt32),
    TK_FIELD(motion_zone, UInt32),
    TK_FIELD(motionBlock_Rear, UInt32),
    TK_FIELD(ledoff_rear, UInt32),
    TK_FIELD(always_mode_recording_time, UInt32),
    TK_FIELD(pip_position, UInt32),
    TK_FIELD(always_motion, UInt32),
    TK_FIELD(lcd_brightness_night, UInt32),
    TK_FIELD(size_rear, UInt32),
    TK_FIELD(front_cpl_use, UInt32),
    TK_FIELD(rear_cpl_use, UInt32),
    TK_FIELD(wifi_ssid, Bytes),
    TK_FIELD(wifi_password, Bytes),
    TK_FIELD(CableVoltCorr, UInt32),
    TK_FIELD(autoFormatAlarm, UInt32),
    TK_FIELD(wifi_channel, UInt32),
    TK_FIELD(flip_front_video, UInt32),
    TK_FIELD(external_rear_camera, UInt32),
    TK_FIELD(dummy00, UInt32Array),
    TK_FIELD(debug_mode, UInt32),
};

#undef TK_FIELD
#undef TK_COMPUTED

template <typename T>
T load(const _FILEDATA& record, std::size_t offset)
{
    T value;
    std::memcpy(&value, reinterpret_cast<const unsigned char*>(&record) + offset, sizeof value);
    return value;
}

template <typename T>
bool store(_FILEDATA& record, std::size_t offset, int64_t value)
{
    if (value < static_cast<int64_t>(std::numeric_limits<T>::min()) || value > static_cast<int64_t>(std::numeric_limits<T>::max()))
        return false;
    const T narrow = static_cast<T>(value);
    std::memcpy(reinterpret_cast<unsigned char*>(&record) + offset, &narrow, sizeof narrow);
    return true;
}

} // namespace

std::size_t TKSettingField::elementSize() const
{
    switch (type) {
    case TKFieldType::UInt16:
        return 2;
    case TKFieldType::Text:
    case TKFieldType::Bytes:
        return 1;
    case TKFieldType::UInt32:
    case TKFieldType::Int32:
    case TKFieldType::UInt32Array:
        return 4;
    }
    return 0;
}

std::span<const TKSettingField> TKSettingFields()
{
    return kFields;
}

const TKSettingField* TKFindSettingField(std::string_view name)
{
    for (const auto& field : kFields) {
        if (field.name == name)
            return &field;
    }
    return nullptr;
}

int64_t TKFieldElement(const _FILEDATA& record, const TKSettingField& field, std::size_t index)
{
    const std::size_t offset = field.offset + index * field.elementSize();
    switch (field.type) {
    case TKFieldType::UInt16:
        return load<uint16_t>(record, offset);
    case TKFieldType::UInt32:
    case TKFieldType::UInt32Array:
        return load<uint32_t>(record, offset);
    case TKFieldType::Int32:
        return load<int32_t>(record, offset);
    case TKFieldType::Text:
    case TKFieldType::Bytes:
        return load<uint8_t>(record, offset);
    }
    return 0;
}

bool TKSetFieldElement(_FILEDATA& record, const TKSettingField& field, std::size_t index, int64_t value)
{
    if (index >= field.count)
        return false;
    const std::size_t offset = field.offset + index * field.elementSize();
    switch (field.type) {
    case TKFieldType::UInt16:
        return store<uint16_t>(record, offset, value);
    case TKFieldType::UInt32:
    case TKFieldType::UInt32Array:
        return store<uint32_t>(record, offset, value);
    case TKFieldType::Int32:
        return store<int32_t>(record, offset, value);
    case TKFieldType::Text:
    case TKFieldType::Bytes:
        return store<uint8_t>(record, offset, value);
    }
    return false;
}
