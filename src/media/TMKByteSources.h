#pragma once

#include "media/TMKBlackBoxData.h"

#include <cstddef>
#include <cstdint>

// The byte sources extraction and the health check read from.

// A recording read with pread: one system call per read, no stdio buffer to
// refill after every seek (records are scattered over the whole file). Owns
// the descriptor; its length is taken once, at construction. One thread at a
// time.
class TMKFileByteSource final : public TMKByteSource {
public:
    explicit TMKFileByteSource(int fd);
    ~TMKFileByteSource() override;
    TMKFileByteSource(const TMKFileByteSource&) = delete;
    TMKFileByteSource& operator=(const TMKFileByteSource&) = delete;

    [[nodiscard]] uint64_t length() const override { return m_length; }
    std::size_t readAt(uint64_t offset, void* buffer, std::size_t size) override;
    void willNeed(uint64_t offset, uint64_t size) override;

private:
    int m_fd;
    uint64_t m_length = 0;
};

// Bytes in memory (tests, fuzzing): not copied, they must outlive the
// source; no data reads as empty.
class TMKMemoryByteSource final : public TMKByteSource {
public:
    TMKMemoryByteSource(const uint8_t* data, std::size_t size) : m_data(data), m_size(data ? size : 0) {}

    [[nodiscard]] uint64_t length() const override { return m_size; }
    std::size_t readAt(uint64_t offset, void* buffer, std::size_t size) override;

private:
    const uint8_t* m_data;
    std::size_t m_size;
};
