// The routines of the VYNBIN codec object (`system/codecs/vynbin`): `encode*` serialises a value
// in either layout, `decode` reads a binary!, or a file! or url! read whole first, into a block
// and gives its only value when it holds one.
#include "core/actions_abi.hpp"
#include "core/raise.hpp"
#include "core/rooted.hpp"
#include "datatypes/actions.hpp"
#include "datatypes/binary.hpp"
#include "datatypes/block.hpp"
#include "eval/native_entries.hpp"
#include "eval/native_support.hpp"
#include "eval/vynbin.hpp"

namespace vyn::natives::entry {

void vynbin_encode(int32_t, const int32_t*) {
    Cell* a = args();
    Rooted out;
    vynbin::encode(a[0], truthy(a[1]), out.get());
    stack::set_result(*out);
}

void vynbin_decode(int32_t, const int32_t*) {
    Cell* payload = args();
    if (payload->is(TYPE_FILE) || payload->is(TYPE_URL)) {
        Cell* read = stack::push(*payload);
        actions::handler_of<A_READ>(read)(read, nullptr, nullptr, true, false, false, nullptr);
        *payload = *read;
        stack::keep();
    }
    Rooted source(*payload);
    if (!source->is(TYPE_BINARY)) fire(err::invalid_data, source.get());
    std::span<uint8_t> bytes = binary::bytes_of(source.get());
    if (bytes.size() <= 10) fire(err::invalid_data, source.get());
    Rooted target;
    block::make_at(target.get(), 1);
    vynbin::decode(bytes, target.get(), vynbin::Mode::script, *source);
    Series* s = memory::series_of(target->s2);
    stack::set_result(s->length() == 1 ? s->cells()[0] : *target);
}

}  // namespace vyn::natives::entry
