// The routine table: the C++ code behind routine! values. A routine! holds the index of its
// entry and, in its second value, what the entry's binding made of the routine's argument word.
// Entries are named; `make routine!` finds them by name, so no routine can be made at run time
// from code that was not built into the executable.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace vyn::routine_table {

// An entry reads its arguments from the argument stack (the first at `base`, also the result
// cell) and leaves its result there; `second` is the routine's second value.
using Entry = void (*)(int32_t second);

// What the word after an entry's name becomes in the routine's second value.
enum class Binding : uint8_t {
    none,      // no word: -1
    datatype,  // a datatype name (image! too, whatever state its type is in): the type id
    word,      // any word: its symbol, for an entry that reads the word's value when called
};

struct Definition {
    std::string_view name;
    Entry entry;
    Binding binding;
};

// Lists registered once stay for every later start-up; registering a list again keeps one.
void register_list(std::span<const Definition> list);

// The code index of the named entry, or -1.
int32_t find(std::string_view name);
const Definition& at(int32_t code);

}  // namespace vyn::routine_table
