#include "settings/TKSettingFile.h"

#include "base/TKAtomicFile.h"
#include "base/TMKLog.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Little-endian 16-bit value at a byte offset of the record's image.
uint16_t lowHalfAt(const unsigned char* image, std::size_t offset)
{
    return static_cast<uint16_t>(image[offset] | (image[offset + 1] << 8));
}

} // namespace

void TKMakeDefaultSettings(_FILEDATA& record)
{
    std::memset(&record, 0, sizeof record);
    record.cfg_ver = 22310; // 0x5726
    record.disp_segment_mode = 1;
    record.sd_mem_always_ratio = 70;
    record.sd_mem_event_ratio = 1;
    record.sd_mem_motion_ratio = 30;
    record.sd_mem_always_reserved = 12100;
    record.aud_enable = 3;
    record.aud_sampling_freq = 1;
    record.aud_bitrate = 1;
    record.aud_input_vol = 3;
    record.aud_output_vol = 2;
    record.vid_enc_bitrate = 1;
    record.vid_brightness = 2;
    record.vid_contrast = 2;
    record.vid_saturation = 128;
    record.vid_sharpness = 2;
    record.vid_hue = 2;
    record.gsen_x_threshold = 50;
    record.gsen_y_threshold = 45;
    record.gsen_z_threshold = 45;
    record.always_mode_timeout = 10;
    record.parkmode_x_threshold = 8;
    record.parkmode_y_threshold = 8;
    record.parkmode_z_threshold = 8;
    record.motion1080pCValue = 3;
    record.motion720pCValue = 3;
    record.motionBlock = 96;
    record.high_temp_threshold = 97;
    record.high_temp_duration = 3600;
    record.safe_temp_threshold = 92;
    record.safe_temp_duration = 60;
    record.osd_speed_flag = 1;
    record.time_gmt = 28; // +09:00
    record.auto_drive_in_mode_on = 1;
    record.auto_park_in_mode_on = 1;
    record.motion_detect_mode_on = 1;
    record.g_sensor_enable = 1;
    record.audio_mux_enable = 1;
    record.safe_temp_mode_on = 1;
    record.alarm_ontime_flag = 1;
    record.voiceEnable = 1;
    record.drivingSecurity = 60;
    record.parkingSecurity = 20;
    record.SaveDuration = 0x12;
    record.MemConfig = 176;
    record.BrightnessFixed = 3000;
    record.DayTime = 1;
    record.Brightness1 = 1;
    TKSetPlateNumber(record, "Tamek");
    record.vid_enc_bitrate_R = 1;
    record.vid_brightness_R = 2;
    record.vid_sharpness_R = 2;
    record.lcd_autopoweroff = 2;
    record.lcd_brightness = 1;
    record.sd2_mem_always_ratio = 1;
    record.sd2_mem_event_ratio = 98;
    record.sd2_mem_motion_ratio = 1;
    record.parking_alarm = 1;
    record.motionBlock_Rear = 96;
    record.always_mode_recording_time = 1;
    record.lcd_brightness_night = 1;
    record.CableVoltCorr = 4;
    record.debug_mode = 1;
}

void TKMakeDefaultSettings(_FILEDATA& record, const TKUserDefaults& defaults)
{
    TKMakeDefaultSettings(record);
    // The store holds what the page wrote from this field, so the low 32 bits
    // are the field's value.
    record.external_rear_camera = static_cast<uint32_t>(defaults.integerForKey(kTKExternalRearCameraKey).value_or(0));
}

bool TKReadSettingFile(const std::string& path, _FILEDATA& record)
{
    // Without O_NONBLOCK a FIFO named config.bin would hold the reader until
    // some writer appears; only a regular file is a settings file.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return false;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return false;
    }
    // One byte more than the record tells a longer file from a settings file.
    unsigned char buffer[kTKSettingFileSize + 1];
    std::size_t got = 0;
    bool failed = false;
    while (got < sizeof buffer) {
        const ssize_t n = ::read(fd, buffer + got, sizeof buffer - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            failed = true;
        if (n <= 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    ::close(fd);
    if (failed || got != kTKSettingFileSize)
        return false;
    std::memcpy(&record, buffer, kTKSettingFileSize);
    return true;
}

TKSettingFileState TKSettingFileStateAt(const std::string& path)
{
    std::error_code error;
    const auto status = std::filesystem::status(path, error);
    if (!std::filesystem::exists(status))
        return TKSettingFileState::Missing;
    if (!std::filesystem::is_regular_file(status))
        return TKSettingFileState::NotAFile;
    const auto size = std::filesystem::file_size(path, error);
    if (error)
        return TKSettingFileState::NotAFile;
    return size == kTKSettingFileSize ? TKSettingFileState::Valid : TKSettingFileState::WrongSize;
}

TKFileResult TKWriteSettingFile(const _FILEDATA& record, const std::string& path, const TKFileCalls& calls)
{
    if (auto error = TKWriteFileAtomically(path, &record, sizeof record, calls)) {
        TMKLog(*error);
        return std::string(kTKFileOpenFail);
    }
    return std::nullopt;
}

TKFileResult TKWriteDefaultSettingFile(const std::string& path, const TKUserDefaults& defaults)
{
    _FILEDATA record;
    TKMakeDefaultSettings(record, defaults);
    return TKWriteSettingFile(record, path);
}

TKFileResult TKWriteDefaultSettingFile(const std::string& path)
{
    _FILEDATA record;
    TKMakeDefaultSettings(record);
    return TKWriteSettingFile(record, path);
}

uint16_t TKSettingChecksum(const _FILEDATA& record)
{
    // Words 1 to 106 as the camera sees them; only their low halves count.
    const auto* image = reinterpret_cast<const unsigned char*>(&record);
    uint16_t sum = 0;
    for (std::size_t offset = 4; offset < kTKSettingFileSize; offset += 4)
        sum ^= lowHalfAt(image, offset);
    return sum;
}

void TKSealSettings(_FILEDATA& record)
{
    record.osd_plate_flag = record.szPlateNumber[0] != 0 ? 1 : 0;
    record.checksum = 0;
    record.checksum = TKSettingChecksum(record);
}

bool TKSettingChecksumMatches(const _FILEDATA& record)
{
    return record.checksum == TKSettingChecksum(record);
}

std::string TKPlateNumber(const _FILEDATA& record)
{
    const char* text = record.szPlateNumber;
    std::size_t length = 0;
    while (length < kTKPlateNumberSize && text[length] != 0)
        ++length;
    return std::string(text, length);
}

void TKSetPlateNumber(_FILEDATA& record, std::string_view text)
{
    std::size_t keep = std::min(text.size(), kTKPlateNumberSize);
    // Back up over UTF-8 continuation bytes so the last character is whole.
    if (keep < text.size()) {
        while (keep > 0 && (static_cast<unsigned char>(text[keep]) & 0xC0) == 0x80)
            --keep;
    }
    std::memset(record.szPlateNumber, 0, kTKPlateNumberSize);
    std::memcpy(record.szPlateNumber, text.data(), keep);
}
