// The runtime's lowest output layer: text in 1-, 2- or 4-byte units goes to standard output as
// UTF-8, buffered in chunks; escape sequences pass through for the terminal to interpret. The
// low-level printers format numbers and plain text through it and run the raw-text hooks.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vyn::console {

void init_output();
// Writes `bytes` bytes of text in units of 1 (Latin-1), 2 (UTF-16) or 4 (UCS-4) bytes; the
// line-end flag appends LF. Everything is written before the call returns.
void write(const void* text, size_t bytes, int unit, bool line_end);
// Writes UTF-8 bytes as they are.
void write_bytes(const char* text, size_t bytes, bool line_end);

int32_t print_int(int32_t value);        // "%i"
uint8_t print_hex2(uint8_t value);       // "%02X"
uint32_t print_hex(uint32_t value);      // "%08X"
double print_float(double value);        // "%.16g"
float print_float32(float value);        // "%.7g"
const char* print_cstring(const char* text);

// The printers' formats, without writing: used by the printers and by tests.
size_t format_int(char* out, int32_t value);
size_t format_hex(char* out, uint32_t value, int digits);
size_t format_general(char* out, double value, int precision);

}  // namespace vyn::console
