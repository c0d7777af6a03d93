// url! actions: construction from a block, the percent-encoded mold and path access; the rest
// comes from string!. The text is stored decoded, so every handler but mold works on it as it is.
// Path access never changes the URL: it builds a new text of the parent's type (file! inherits it).
#include "datatypes/url.hpp"

#include <algorithm>

#include "core/memory.hpp"
#include "core/raise.hpp"
#include "core/rooted.hpp"
#include "core/type_registry.hpp"
#include "datatypes/datatype.hpp"
#include "datatypes/block.hpp"
#include "datatypes/mold.hpp"
#include "datatypes/os/http.hpp"
#include "datatypes/string.hpp"
#include "datatypes/url_coding.hpp"
#include "datatypes/word.hpp"
#include "datatypes/words.hpp"

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

// ---- I/O: "http..." goes over HTTP, any other URL through a port of its scheme ----

// The test is byte-exact: "HTTP://..." goes to a port.
bool is_http(const Cell* url) { return string::starts_with_text(url, "http"); }

// The URL becomes the port in its own cell.
Cell* to_port(Cell* url) {
    Rooted spec(*url);
    return datatype::handler<A_MAKE>(TYPE_PORT)(url, spec.get(), TYPE_PORT);
}

Cell* url_open(Cell* url, bool new_, bool read, bool write, bool seek, const Cell* allow) {
    to_port(url);
    return datatype::handler<A_OPEN>(TYPE_PORT)(url, new_, read, write, seek, allow);
}

Cell* exchange(Cell* url, const Cell* method, const Cell* headers, const Cell* data, bool binary, bool lines,
               bool info) {
    Rooted result;
    if (!http::request(method, url, headers, data, binary, lines, info, result.get())) fire(err::no_connect, url);
    *url = *result;
    return url;
}

Cell* url_read(Cell* url, const Cell* part, const Cell* seek, bool binary, bool lines, bool info, const Cell* as) {
    if (!is_http(url)) {
        to_port(url);
        return datatype::handler<A_READ>(TYPE_PORT)(url, part, seek, binary, lines, info, as);
    }
    if (part || seek || as) fire(err::not_done);
    Rooted get(word::from_symbol(words::sym::get));
    return exchange(url, get.get(), nullptr, nullptr, binary, lines, info);
}

// A block is a request: [method [headers] data], each part after the method optional; an empty
// block is a plain GET. Any other data is posted.
struct HttpRequest {
    Rooted method{word::from_symbol(words::sym::post)};
    Rooted headers{none_cell()};
    Rooted data{none_cell()};
};

void describe_request(const Cell* data, HttpRequest& request) {
    if (!data->is(TYPE_BLOCK)) {
        *request.data = *data;
        return;
    }
    uint32_t count = block::vs_length(data);
    auto item = [&](uint32_t i) { return *block::vs_abs_at(data, data->s1 + i); };
    if (count == 0) {
        *request.method = word::from_symbol(words::sym::get);
        return;
    }
    *request.method = item(0);
    if (!request.method->is(TYPE_WORD)) fire(err::invalid_arg, request.method.get());
    if (count > 1) *request.headers = item(1);
    if (count > 1 && !request.headers->is(TYPE_BLOCK)) fire(err::invalid_arg, request.headers.get());
    if (count > 2) *request.data = item(2);
}

Cell* url_write(Cell* url, const Cell* data, bool binary, bool lines, bool info, bool append, const Cell* part,
                const Cell* seek, const Cell* allow, const Cell* as) {
    if (!is_http(url)) {
        Rooted held(*data);
        to_port(url);
        return datatype::handler<A_WRITE>(TYPE_PORT)(url, held.get(), binary, lines, info, append, part, seek,
                                                     allow, as);
    }
    if (seek || allow || as) fire(err::not_done);
    HttpRequest request;
    describe_request(data, request);
    const Cell* body = request.data->is(TYPE_NONE) ? nullptr : request.data.get();
    if (body && !body->is(TYPE_BLOCK) && !body->is(TYPE_STRING) && !body->is(TYPE_BINARY))
        fire(err::invalid_arg, body);
    const Cell* headers = request.headers->is(TYPE_BLOCK) ? request.headers.get() : nullptr;
    return exchange(url, request.method.get(), headers, body, binary, lines, info);
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
    act<A_OPEN>(url_open),
    act<A_READ>(url_read),
    act<A_WRITE>(url_write),
};

}  // namespace
}  // namespace vyn::url

namespace vyn {

void url_init() { datatype::register_type(TYPE_URL, TYPE_STRING, "url!", INHERIT, url::url_actions); }

}  // namespace vyn
