#pragma once

#include "settings/TKSettingFile.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

// A description of every field of _FILEDATA by name, for tools that show or
// change fields generically. Offsets come from the record itself.
enum class TKFieldType {
    UInt16,
    UInt32,
    Int32,
    Text, // szPlateNumber: zero-padded characters
    Bytes, // raw byte arrays (wifi_ssid, wifi_password)
    UInt32Array, // dummy00
};

struct TKSettingField {
    std::string_view name;
    std::size_t offset;
    TKFieldType type;
    std::size_t count; // elements: 1 for scalars, bytes for Text and Bytes
    bool computedAtSave; // checksum and osd_plate_flag: sealing overwrites them

    [[nodiscard]] std::size_t elementSize() const;
    [[nodiscard]] std::size_t size() const { return elementSize() * count; }
};

// In record order.
[[nodiscard]] std::span<const TKSettingField> TKSettingFields();
[[nodiscard]] const TKSettingField* TKFindSettingField(std::string_view name);

// Element i of a numeric field (a Text or Bytes field gives its byte i).
[[nodiscard]] int64_t TKFieldElement(const _FILEDATA& record, const TKSettingField& field, std::size_t index = 0);
// Stores element i; false (record unchanged) when the value does not fit the
// element's type.
[[nodiscard]] bool TKSetFieldElement(_FILEDATA& record, const TKSettingField& field, std::size_t index, int64_t value);
