// tamek-config: shows and edits the camera's config.bin from the command line.

#include "base/TMKLog.h"
#include "settings/TKSettingFields.h"
#include "settings/TKSettingFile.h"
#include "settings/TKSettingSave.h"
#include "settings/TKTimeZone.h"
#include "settings/TMKValidator.h"

#include <nlohmann/json.hpp>

#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr std::string_view kUsage =
    "Usage: tamek-config show FILE\n"
    "       tamek-config default [--force] OUT\n"
    "       tamek-config set FILE NAME=VALUE...\n"
    "Shows or edits a dash camera settings file (config.bin, 428 bytes).\n"
    "  show     prints every field by name as JSON, with \"checksum_ok\"\n"
    "  default  writes the factory settings; an existing OUT is replaced only with --force\n"
    "  set      changes the named fields, seals the record (plate flag, checksum)\n"
    "           and replaces the file in one step; on any error nothing is written\n"
    "Values: integers (decimal or 0x hex); szPlateNumber up to 8 ASCII letters and\n"
    "digits (empty clears it); wifi_ssid, wifi_password, dummy00 as comma-separated\n"
    "integers, one per element. checksum and osd_plate_flag are set by sealing.\n";

int usageError(std::string_view message)
{
    std::cerr << "tamek-config: " << message << "\n" << kUsage;
    return 2;
}

int fail(const std::string& message)
{
    std::cerr << "tamek-config: " << message << "\n";
    return 1;
}

std::optional<int64_t> parseInteger(std::string_view text)
{
    bool negative = false;
    if (!text.empty() && text.front() == '-') {
        negative = true;
        text.remove_prefix(1);
    }
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    uint64_t magnitude = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), magnitude, base);
    if (text.empty() || error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    if (magnitude > static_cast<uint64_t>(INT64_MAX))
        return std::nullopt;
    const auto value = static_cast<int64_t>(magnitude);
    return negative ? -value : value;
}

// The ranges the settings pages hold these fields to; other fields take any
// value of their type, as the camera's kept fields must.
std::optional<std::string> checkRange(std::string_view name, int64_t value)
{
    if (name == "time_gmt") {
        if (value < -1 || value >= static_cast<int64_t>(kTKTimeZoneCodes.size()))
            return "time_gmt must be -1 (none) or a time-zone index 0 to " + std::to_string(kTKTimeZoneCodes.size() - 1);
        return std::nullopt;
    }
    if (name.ends_with("_threshold") && (name.starts_with("gsen_") || name.starts_with("parkmode_"))) {
        const auto low = static_cast<int64_t>(TMKValidator::kGsensorThresholdMin * 100 + 0.5);
        const auto high = static_cast<int64_t>(TMKValidator::kGsensorThresholdMax * 100 + 0.5);
        if (value != 0 && (value < low || value > high))
            return std::string(name) + " must be 0 or " + std::to_string(low) + " to " + std::to_string(high) + " (hundredths of g)";
        return std::nullopt;
    }
    if (name == "sd_mem_always_ratio" || name == "sd_mem_motion_ratio") {
        if (value > 100 || TMKValidator::validateSDCardSizeRatio(static_cast<int>(value)))
            return std::string(name) + " must be " + std::to_string(TMKValidator::kSDCardRatioMin) + " to 100 (percent)";
        return std::nullopt;
    }
    return std::nullopt;
}

std::optional<std::string> assign(_FILEDATA& record, std::string_view assignment)
{
    const auto equals = assignment.find('=');
    if (equals == std::string_view::npos || equals == 0)
        return "expected NAME=VALUE, got '" + std::string(assignment) + "'";
    const std::string_view name = assignment.substr(0, equals);
    const std::string_view value = assignment.substr(equals + 1);
    const TKSettingField* field = TKFindSettingField(name);
    if (!field)
        return "unknown field '" + std::string(name) + "'";
    if (field->computedAtSave)
        return std::string(name) + " is computed when the file is sealed and cannot be set";

    if (field->type == TKFieldType::Text) {
        if (!TKIsValidCarNumber(value))
            return std::string(name) + ": a car number is at most 8 ASCII letters and digits, got '" + std::string(value) + "'";
        TKSetPlateNumber(record, value);
        return std::nullopt;
    }

    std::vector<std::string_view> items;
    if (field->count == 1) {
        items.push_back(value);
    } else {
        std::size_t start = 0;
        for (;;) {
            const auto comma = value.find(',', start);
            items.push_back(value.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start));
            if (comma == std::string_view::npos)
                break;
            start = comma + 1;
        }
        if (items.size() != field->count)
            return std::string(name) + " takes " + std::to_string(field->count) + " comma-separated values, got " + std::to_string(items.size());
    }
    // Check everything before changing anything, so a bad element leaves the field as it was.
    std::vector<int64_t> numbers;
    for (const auto item : items) {
        const auto number = parseInteger(item);
        if (!number)
            return std::string(name) + ": '" + std::string(item) + "' is not an integer";
        _FILEDATA probe = record;
        if (!TKSetFieldElement(probe, *field, 0, *number))
            return std::string(name) + ": " + std::string(item) + " is out of range for the field's type";
        if (auto problem = checkRange(name, *number))
            return problem;
        numbers.push_back(*number);
    }
    for (std::size_t i = 0; i < numbers.size(); ++i)
        (void)TKSetFieldElement(record, *field, i, numbers[i]);
    return std::nullopt;
}

int show(const std::string& path)
{
    if (auto problem = TKSettingFileProblem(path))
        return fail(*problem);
    _FILEDATA record;
    if (!TKReadSettingFile(path, record))
        return fail(path + ": cannot be read");

    nlohmann::ordered_json out;
    for (const auto& field : TKSettingFields()) {
        const std::string name(field.name);
        if (field.type == TKFieldType::Text) {
            out[name] = TKPlateNumber(record);
        } else if (field.count == 1) {
            const int64_t value = TKFieldElement(record, field);
            if (field.type == TKFieldType::Int32)
                out[name] = value;
            else
                out[name] = static_cast<uint64_t>(value);
        } else {
            auto& list = out[name] = nlohmann::ordered_json::array();
            for (std::size_t i = 0; i < field.count; ++i)
                list.push_back(static_cast<uint64_t>(TKFieldElement(record, field, i)));
        }
    }
    out["checksum_ok"] = TKSettingChecksumMatches(record);
    // A card may hold any bytes in the car number; show them rather than fail.
    std::cout << out.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) << "\n";
    std::cout.flush();
    if (!std::cout.good() || std::fflush(stdout) != 0 || std::ferror(stdout) != 0)
        return fail(std::string("cannot write the settings: ") + std::strerror(errno ? errno : EIO));
    return 0;
}

int writeDefault(const std::string& path, bool force)
{
    TKFileLock lock;
    if (auto busy = TKLockFileForUpdate(path, lock, kTKSettingLockWait))
        return fail(busy->text);
    std::error_code error;
    if (!force && std::filesystem::symlink_status(path, error).type() != std::filesystem::file_type::not_found)
        return fail(path + ": already exists (use --force to replace it)");
    // --force replaces a settings file, never a device, FIFO or socket.
    if (auto refusal = TKCheckReplaceable(path))
        return fail(*refusal + "; not replaced");
    if (auto failure = TKWriteDefaultSettingFile(path))
        return fail(path + ": cannot be written (" + *failure + ")");
    return 0;
}

int set(const std::string& path, const std::vector<std::string>& assignments)
{
    const auto failure = TKEditSettingFile(path, [&](_FILEDATA& record) -> std::optional<std::string> {
        for (const auto& assignment : assignments) {
            if (auto problem = assign(record, assignment))
                return *problem + "; " + path + " left unchanged";
        }
        return std::nullopt;
    });
    if (!failure)
        return 0;
    switch (failure->kind) {
    case TKSaveFailure::Kind::Busy:
    case TKSaveFailure::Kind::Refused:
        return fail(failure->text + "; left unchanged");
    case TKSaveFailure::Kind::Unwritable:
        return fail(failure->text + "; the old file is kept");
    case TKSaveFailure::Kind::Unreadable:
    case TKSaveFailure::Kind::Rejected:
        break;
    }
    return fail(failure->text);
}

} // namespace

int main(int argc, char** argv)
{
    TMKSetLogSink([](TMKLogChannel, std::string_view line) { std::cerr << "tamek-config: " << line << "\n"; });

    std::vector<std::string> args(argv + 1, argv + argc);
    for (const auto& arg : args) {
        if (arg == "-h" || arg == "--help") {
            std::cout << kUsage;
            return 0;
        }
    }
    if (args.empty())
        return usageError("missing command");
    const std::string command = args.front();
    args.erase(args.begin());

    if (command == "show") {
        if (args.size() != 1)
            return usageError("show takes one FILE");
        return show(args[0]);
    }
    if (command == "default") {
        const auto forced = std::erase(args, std::string("--force"));
        const bool force = forced > 0;
        if (args.size() != 1)
            return usageError("default takes one OUT file");
        return writeDefault(args[0], force);
    }
    if (command == "set") {
        if (args.size() < 2)
            return usageError("set takes a FILE and at least one NAME=VALUE");
        const std::string path = args[0];
        args.erase(args.begin());
        return set(path, args);
    }
    return usageError("unknown command '" + command + "'");
}
