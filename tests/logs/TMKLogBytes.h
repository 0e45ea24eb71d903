#pragma once

// Log files written byte by byte for the tests: each field is put at its
// offset in little-endian order, independent of the reader's decoding.

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <initializer_list>
#include <string>
#include <vector>

struct TMKLogBytes {
    std::vector<unsigned char> bytes;

    static TMKLogBytes withHeader(std::uint32_t count, unsigned char filler = 0)
    {
        TMKLogBytes log;
        log.bytes.assign(12, filler);
        log.put(0, count, 4);
        return log;
    }

    // A field of a record: its offset, value and size in bytes.
    struct Field {
        std::size_t offset;
        std::int64_t value;
        int size;
    };
    // Appends one record holding the fields given, zero elsewhere, and
    // returns its offset.
    std::size_t addRecord(std::size_t size, std::initializer_list<Field> fields = {})
    {
        const std::size_t at = bytes.size();
        bytes.resize(at + size, 0);
        for (const Field& field : fields)
            put(at + field.offset, static_cast<std::uint64_t>(field.value), field.size);
        return at;
    }

    void put(std::size_t at, std::uint64_t value, int size)
    {
        for (int i = 0; i < size; ++i)
            bytes[at + static_cast<std::size_t>(i)] = static_cast<unsigned char>(value >> (8 * i));
    }

    void save(const std::string& path) const
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
};

// A flash data record with the worked values of the camera's manual:
// sequence 513, a Wednesday, a valid fix on 2026/03/07 09:05:03, speed 87,
// distance 1234.5 km, maximum 112, X Y Z and the battery; then a record of
// no such day whose longitude stays 0 (no position).
inline TMKLogBytes flashLog()
{
    TMKLogBytes log = TMKLogBytes::withHeader(2);
    log.addRecord(40, {{0, 513, 2}, {2, 3, 1}, {3, 1, 1}, {4, 126, 1}, {5, 3, 1}, {6, 7, 1}, {7, 9, 1}, {8, 5, 1},
                       {9, 3, 1}, {10, 3733, 2}, {12, 1234, 2}, {14, 12702, 2}, {16, 5678, 2}, {18, 87, 2},
                       {20, 12345, 4}, {24, 0xFFFFFFFF, 4}, {28, 112, 2}, {32, -256, 2}, {34, 64, 2}, {38, 125, 2}});
    log.addRecord(40, {{2, 7, 1}, {3, 2, 1}, {10, 3733, 2}, {38, -125, 2}});
    return log;
}

// A sequence beyond INT32_MAX, a Saturday, GPS speed 61 and vehicle speed
// 60, 2100 rpm; then a record of values out of each column's range.
inline TMKLogBytes obdLog()
{
    TMKLogBytes log = TMKLogBytes::withHeader(2);
    log.addRecord(68, {{0, 0xFFFFFFF0u, 4}, {5, 124, 1}, {6, 12, 1}, {7, 31, 1}, {8, 23, 1}, {9, 59, 1}, {10, 58, 1},
                       {11, 6, 1}, {12, 4807, 2}, {14, 482, 2}, {16, 1131, 2}, {18, 20, 2}, {20, 61, 2}, {24, 60, 2},
                       {26, 2100, 2}, {28, 12345, 4}, {32, 12600, 2}, {34, 17, 2}, {36, -1, 2}, {40, 2, 2},
                       {42, -90, 2}, {44, 1, 2}, {46, 40, 2}, {48, 4, 2}, {50, 2, 2}, {52, 33, 2}, {54, 2550, 2},
                       {60, 3, 2}, {62, -3, 2}, {64, 32, 2}});
    log.addRecord(68, {{20, -1, 2}, {24, -7, 2}, {26, -1, 2}, {28, -1, 4}, {32, -1, 2}, {34, -2, 2}, {42, 9999, 2},
                       {46, -3, 2}, {48, 5, 2}, {54, 65535, 2}});
    return log;
}
