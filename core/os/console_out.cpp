// Output goes through one 1024-byte buffer that is written whenever more than 1020 bytes are
// pending (a code point never takes more than 4) and at the end of every call.
#include "core/os/console_out.hpp"

#include <unistd.h>

#include <charconv>
#include <cstring>

#include "core/hooks.hpp"
#include "core/utf8.hpp"

namespace vyn::console {
namespace {

constexpr size_t BUFFER_SIZE = 1024;
constexpr size_t FLUSH_AT = 1020;

char buffer[BUFFER_SIZE];
size_t pending = 0;

void flush() {
    const char* p = buffer;
    while (pending > 0) {
        ssize_t n = ::write(STDOUT_FILENO, p, pending);
        if (n <= 0) break;  // a closed or failing output is ignored, as a console would
        p += n;
        pending -= size_t(n);
    }
    pending = 0;
}

void put_code_point(uint32_t cp) {
    pending += size_t(unicode::encode_utf8(cp, reinterpret_cast<uint8_t*>(buffer + pending)));
    if (pending > FLUSH_AT) flush();
}

uint32_t unit_at(const uint8_t* p, int unit) {
    if (unit == 1) return *p;
    if (unit == 2) return uint32_t(p[0]) | uint32_t(p[1]) << 8;
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// UTF-16 text: a surrogate pair is one code point; a lone surrogate shows as U+FFFD.
void write_utf16(const uint8_t* p, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        uint32_t u = unit_at(p + 2 * i, 2);
        if (u >= 0xD800 && u < 0xDC00 && i + 1 < count) {
            uint32_t low = unit_at(p + 2 * (i + 1), 2);
            if (low >= 0xDC00 && low < 0xE000) {
                put_code_point(0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00));
                ++i;
                continue;
            }
        }
        put_code_point(u >= 0xD800 && u < 0xE000 ? 0xFFFD : u);
    }
}

void finish(bool line_end) {
    if (line_end) buffer[pending++] = '\n';
    flush();
}

size_t print_formatted(const char* text, size_t length) {
    write_bytes(text, length, false);
    hooks::run_low_print(text, int32_t(length), false);
    return length;
}

}  // namespace

void init_output() { pending = 0; }

void write(const void* text, size_t bytes, int unit, bool line_end) {
    auto* p = static_cast<const uint8_t*>(text);
    size_t count = bytes / size_t(unit);
    if (unit == 2) {
        write_utf16(p, count);
    } else {
        for (size_t i = 0; i < count; ++i) put_code_point(unit_at(p + i * size_t(unit), unit));
    }
    finish(line_end);
}

void write_bytes(const char* text, size_t bytes, bool line_end) {
    while (bytes > 0) {
        size_t room = FLUSH_AT - pending;
        size_t n = bytes < room ? bytes : room;
        std::memcpy(buffer + pending, text, n);
        pending += n;
        text += n;
        bytes -= n;
        if (pending >= FLUSH_AT) flush();
    }
    finish(line_end);
}

size_t format_int(char* out, int32_t value) {
    return size_t(std::to_chars(out, out + 16, value).ptr - out);
}

size_t format_hex(char* out, uint32_t value, int digits) {
    for (int i = digits - 1; i >= 0; --i) {
        out[i] = "0123456789ABCDEF"[value & 15];
        value >>= 4;
    }
    return size_t(digits);
}

size_t format_general(char* out, double value, int precision) {
    return size_t(std::to_chars(out, out + 40, value, std::chars_format::general, precision).ptr - out);
}

int32_t print_int(int32_t value) {
    char text[16];
    print_formatted(text, format_int(text, value));
    return value;
}

uint8_t print_hex2(uint8_t value) {
    char text[2];
    print_formatted(text, format_hex(text, value, 2));
    return value;
}

uint32_t print_hex(uint32_t value) {
    char text[8];
    print_formatted(text, format_hex(text, value, 8));
    return value;
}

double print_float(double value) {
    char text[40];
    print_formatted(text, format_general(text, value, 16));
    return value;
}

float print_float32(float value) {
    char text[40];
    print_formatted(text, format_general(text, value, 7));
    return value;
}

const char* print_cstring(const char* text) {
    print_formatted(text, std::strlen(text));
    return text;
}

}  // namespace vyn::console
