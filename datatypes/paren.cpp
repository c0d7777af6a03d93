// paren! registration and mold. Every other action is block!'s: a paren! value has a block's
// layout (head index, series node), so the same buffer reads alike through either type.
#include "datatypes/paren.hpp"

#include "core/type_registry.hpp"
#include "datatypes/block.hpp"

namespace vyn::paren {
namespace {

int32_t mold(const Cell* p, Cell* out, const MoldArgs& args, const Cell* part, int32_t budget) {
    return block::mold_between(p, out, args, part, budget, "(", ")");
}

const SlotHandler paren_actions[] = {
    act<A_MOLD>(mold),
};

}  // namespace

}  // namespace vyn::paren

namespace vyn {

void paren_init() { datatype::register_type(TYPE_PAREN, TYPE_BLOCK, "paren!", INHERIT, paren::paren_actions); }

}  // namespace vyn
