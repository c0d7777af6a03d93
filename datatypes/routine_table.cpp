// The routine table's lists, kept across start-ups. A code index counts the entries of the lists
// in registration order, so it stays valid as long as the process runs.
#include "datatypes/routine_table.hpp"

#include <vector>

#include "core/fatal.hpp"

namespace vyn::routine_table {
namespace {

std::vector<std::span<const Definition>>& lists() {
    static std::vector<std::span<const Definition>> registered;
    return registered;
}

}  // namespace

void register_list(std::span<const Definition> list) {
    for (std::span<const Definition> known : lists())
        if (known.data() == list.data()) return;
    lists().push_back(list);
}

int32_t find(std::string_view name) {
    int32_t code = 0;
    for (std::span<const Definition> list : lists())
        for (const Definition& d : list) {
            if (d.name == name) return code;
            ++code;
        }
    return -1;
}

const Definition& at(int32_t code) {
    for (std::span<const Definition> list : lists()) {
        if (code < int32_t(list.size())) return list[size_t(code)];
        code -= int32_t(list.size());
    }
    VYN_REQUIRE(false);
    __builtin_unreachable();
}

}  // namespace vyn::routine_table
