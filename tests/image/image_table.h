// The images each program carries, as the tests expect them.
#pragma once
#include <cstdint>
#include <cstring>

struct ExpectedImage {
    const char* file;  // in builds/<program>/
    uint32_t start;
    uint32_t end;
};

struct ExpectedImages {
    const char* program;
    bool hasWriter;
    ExpectedImage writer;
    ExpectedImage firmware;
};

inline constexpr ExpectedImages kExpectedImages[] = {
    {"ZB7152K", true, {"writer.mot", 0xFFC000, 0xFFD657}, {"firmware.mot", 0x7000, 0x7FFFF}},
    {"ZB7152M", true, {"writer.mot", 0x2000, 0x2C23}, {"firmware.mot", 0x0, 0x17FFF}},
    {"ZB7152L", false, {nullptr, 0, 0}, {"firmware.mot", 0x10000, 0x3CB9D}},
};

inline const ExpectedImages* FindExpected(const char* program) {
    for (const auto& e : kExpectedImages) {
        if (std::strcmp(e.program, program) == 0) return &e;
    }
    return nullptr;
}
