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

    // Appends one zeroed record and returns its offset.
    std::size_t addRecord(std::size_t size)
    {
        const std::size_t at = bytes.size();
        bytes.resize(at + size, 0);
        return at;
    }

    // A field of a record: its offset, value and size in bytes.
    struct Field {
        std::size_t offset;
        std::int64_t value;
        int size;
    };
    // Appends one record holding the fields given, zero elsewhere.
    std::size_t addRecord(std::size_t size, std::initializer_list<Field> fields)
    {
        const std::size_t at = addRecord(size);
        for (const Field& field : fields)
            putSigned(at + field.offset, field.value, field.size);
        return at;
    }

    void put(std::size_t at, std::uint64_t value, int size)
    {
        for (int i = 0; i < size; ++i)
            bytes[at + static_cast<std::size_t>(i)] = static_cast<unsigned char>(value >> (8 * i));
    }
    void putSigned(std::size_t at, std::int64_t value, int size) { put(at, static_cast<std::uint64_t>(value), size); }

    void save(const std::string& path) const
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
};
