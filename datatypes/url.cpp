// url! actions: construction from a block, the percent-encoded mold and path access; the rest
// comes from string!. The text is stored decoded, so every handler but mold works on it as it is.
// Path access never changes the URL: it builds a new text of the parent's type (file! inherits it).
#include "datatypes/url.hpp"

#include <algorithm>

#include "core/datatype.hpp"
#include "core/error.hpp"
#include "core/memory.hpp"
#include "core/rooted.hpp"
#include "datatypes/datatype.hpp"
#include "datatypes/mold.hpp"
#include "datatypes/string.hpp"
#include "datatypes/url_coding.hpp"

namespace vyn::url {
namespace {

bool is_block_like(TypeId type) { return type == TYPE_BLOCK || type == TYPE_PAREN || type == TYPE_HASH; }

// The block's values from its head; read again after each allocation, which may move them.
uint32_t count_of(const Cell* block) {
    uint32_t total = memory::series_of(block->s2)->length();
    return block->s1 < total ? total - block->s1 : 0;
}
Cell value_at(const Cell* block, uint32_t i) { return memory::series_of(block->s2)->cells()[block->s1 + i]; }

void append_formed(Cell* out, const Cell* block, uint32_t i) {
    Cell value = value_at(block, i);
    mold::form_value(&value, out, nullptr, 0);
}

// scheme "://" host [":" port] then "/" (or "#" before an issue!) and each further value.
void build_from_block(Cell* out, const Cell* block) {
    append_formed(out, block, 0);
    string::concatenate_literal(out, "://");
    if (count_of(block) < 2) return;
    append_formed(out, block, 1);
    uint32_t i = 2;
    if (count_of(block) > 2 && value_at(block, 2).is(TYPE_INTEGER)) {
        string::append_char(string::node_of(out), ':');
        append_formed(out, block, i++);
    }
    for (; i < count_of(block); ++i) {
        string::append_char(string::node_of(out), value_at(block, i).is(TYPE_ISSUE) ? '#' : '/');
        append_formed(out, block, i);
    }
}

Cell* url_to(Cell* proto, const Cell* spec, TypeId type) {
    if (type != TYPE_URL || !is_block_like(spec->type())) return string::to(proto, spec, type);
    if (count_of(spec) == 0) {
        datatype::fire_bad_to_arg(TYPE_URL, spec);
    }
    string::make_at(proto, 16);  // the spec stays in its own cell, which keeps it reachable
    build_from_block(proto, spec);
    proto->set_type(TYPE_URL);
    return proto;
}

Cell* url_make(Cell* proto, const Cell* spec, TypeId type) {
    if (type == TYPE_URL && is_block_like(spec->type())) return url_to(proto, spec, type);
    return string::make(proto, spec, type);
}

int32_t url_mold(const Cell* value, Cell* out, const MoldArgs&, const Cell* part, int32_t budget) {
    int64_t limit = part ? std::max(budget, 0) : -1;
    return budget - int32_t(enhex(value, out, false, limit));
}

bool ends_with_slash(const Cell* text) {
    string::View v = string::view_of(text);
    return v.length > 0 && v.at(v.length - 1) == '/';
}

bool starts_with_slash(const Cell* text) { return string::starts_with_text(text, "/"); }

// One slash between the URL and the element, whichever of them brings it.
Cell* url_eval_path(Cell* parent, const Cell* element, const Cell* value, const PathStep& step) {
    if (value) fire(err::bad_path_set, step.path, element);
    Rooted joined(string::make(string::length(parent) + 16, string::buffer_of(parent)->unit()));
    mold::form_value(element, joined.get(), nullptr, 0);
    bool url_slash = ends_with_slash(parent);
    bool element_slash = starts_with_slash(joined.get());
    if (url_slash && element_slash) string::remove_char(string::node_of(joined.get()), 0);
    else if (!url_slash && !element_slash) string::insert_char(string::node_of(joined.get()), 0, '/');
    string::concatenate(joined.get(), parent, -1, 0, string::Mode::insert);
    joined->set_type(parent->type());
    *parent = *joined;
    return parent;
}

const SlotHandler url_actions[] = {
    act<A_MAKE>(url_make),
    unsupported_at<A_RANDOM>(),
    unsupported_at<A_REFLECT>(),
    act<A_TO>(url_to),
    act<A_MOLD>(url_mold),
    act<A_EVAL_PATH>(url_eval_path),
    unsupported_at<A_SORT>(),
    unsupported_at<A_TRIM>(),
};

}  // namespace
}  // namespace vyn::url

namespace vyn {

void url_init() { datatype::register_type(TYPE_URL, TYPE_STRING, "url!", INHERIT, url::url_actions); }

}  // namespace vyn
