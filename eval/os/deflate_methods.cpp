// The method words of compress and decompress, made once at start-up and compared by symbol.
#include "core/symbol.hpp"
#include "eval/os/deflate.hpp"

namespace vyn::deflate {
namespace {

// In the order of Method.
constexpr const char* method_names[] = {"deflate", "zlib", "gzip"};
uint32_t method_symbols[std::size(method_names)];

}  // namespace

void init() {
    for (size_t i = 0; i < std::size(method_names); ++i) method_symbols[i] = symbol::make(method_names[i]);
}

Method method_of(uint32_t symbol) {
    uint32_t canonical = symbol::resolve(symbol);
    for (size_t i = 0; i < std::size(method_names); ++i)
        if (symbol::resolve(method_symbols[i]) == canonical) return Method(i);
    return Method::none;
}

}  // namespace vyn::deflate
