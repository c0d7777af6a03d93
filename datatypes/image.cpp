// image! handlers: construction from a size and colour data, pixel access by index or by
// column and row, bulk access in the alpha, rgb and argb kinds, rectangles copied out and in,
// and the "make image! [...]" text. The pixel store lives outside the series frames and is
// reached through the externals entry its node records; every handler gets its image cells
// rooted, so the store stays alive across the allocations a handler makes.
#include "datatypes/image.hpp"

#include <algorithm>
#include <memory>
#include <new>
#include <string>

#include "core/collector.hpp"
#include "core/type_registry.hpp"
#include "core/raise.hpp"
#include "core/externals.hpp"
#include "core/memory.hpp"
#include "core/rooted.hpp"
#include "datatypes/binary.hpp"
#include "datatypes/block.hpp"
#include "datatypes/datatype.hpp"
#include "datatypes/mold.hpp"
#include "datatypes/number_scan.hpp"
#include "datatypes/pair.hpp"
#include "datatypes/series.hpp"
#include "datatypes/word_names.hpp"
#include "datatypes/words.hpp"

namespace vyn::image {

using image_os::Pixels;

namespace {

int image_kind = 0;

void release_pixels(uintptr_t handle) { delete reinterpret_cast<Pixels*>(handle); }

int32_t entry_of(NodeId node) {
    int32_t entry;
    std::memcpy(&entry, memory::series_of(node)->head_ptr(), sizeof entry);
    return entry;
}

// The collector reaches an image's node; its externals entry must then survive the sweep.
void keep_pixels(NodeId node) { externals::mark(entry_of(node)); }

uint32_t pixel_count(const Cell& image) { return width_of(image) * height_of(image); }
uint32_t head_of(const Cell& image) { return std::min(image.s1, pixel_count(image)); }

// ---- Pixels and tuples ----

Cell tuple_of(uint32_t p) {
    const uint8_t bytes[4] = {image_os::red(p), image_os::green(p), image_os::blue(p), uint8_t(255 - image_os::alpha(p))};
    return tokenizer::make_tuple(bytes, 4);
}

// R, G and B from the tuple; the fourth byte, when present, is the transparency.
uint32_t pixel_of(const Cell& tuple) {
    uint8_t transparency = tokenizer::tuple_length(tuple) > 3 ? tokenizer::tuple_byte(tuple, 3) : 0;
    return image_os::pack(tokenizer::tuple_byte(tuple, 0), tokenizer::tuple_byte(tuple, 1),
                          tokenizer::tuple_byte(tuple, 2), 255u - transparency);
}

// ---- Construction ----

// A new store of opaque white pixels; a side beyond 16 bits is refused as an argument.
Pixels blank(int64_t width, int64_t height, const Cell* spec) {
    width = std::max<int64_t>(width, 0);
    height = std::max<int64_t>(height, 0);
    if (width > image_os::MAX_SIDE || height > image_os::MAX_SIDE) fire(err::invalid_arg, spec);
    Pixels pixels;
    try {
        if (!image_os::allocate(&pixels, uint32_t(width), uint32_t(height), image_os::MAX_PIXELS)) fire(err::no_memory);
    } catch (const std::bad_alloc&) {
        fire(err::no_memory);
    }
    std::fill(pixels.argb.begin(), pixels.argb.end(), 0xFFFFFFFFu);
    return pixels;
}

// RGB bytes fill whole pixels in order; the ones left stay white.
void fill_rgb(Pixels& pixels, std::span<const uint8_t> rgb) {
    size_t n = std::min(pixels.argb.size(), rgb.size() / 3);
    for (size_t i = 0; i < n; ++i)
        pixels.argb[i] = (pixels.argb[i] & 0xFF000000u) | image_os::pack(rgb[i * 3], rgb[i * 3 + 1], rgb[i * 3 + 2], 0);
}

// Alpha bytes are transparencies; the pixels left stay opaque.
void fill_alpha(Pixels& pixels, std::span<const uint8_t> alpha) {
    size_t n = std::min(pixels.argb.size(), alpha.size());
    for (size_t i = 0; i < n; ++i) pixels.argb[i] = (pixels.argb[i] & 0xFFFFFFu) | uint32_t(255 - alpha[i]) << 24;
}

void fill_argb(Pixels& pixels, std::span<const uint8_t> argb) {
    size_t n = std::min(pixels.argb.size(), argb.size() / 4);
    std::memcpy(pixels.argb.data(), argb.data(), n * 4);
}

// [size rgb-or-colour alpha]
Pixels from_block(const Cell* spec) {
    Cell block = *spec;
    uint32_t n = block::vs_length(&block);
    const Cell* v = block::vs_head(&block);
    if (n == 0 || !v[0].is(TYPE_PAIR)) fire(err::invalid_arg, spec);
    Pixels pixels = blank(pair::x(v[0]), pair::y(v[0]), spec);
    if (n > 1 && v[1].is(TYPE_TUPLE)) std::fill(pixels.argb.begin(), pixels.argb.end(), pixel_of(v[1]));
    else if (n > 1 && v[1].is(TYPE_BINARY)) fill_rgb(pixels, binary::bytes_of(&v[1]));
    if (n > 2 && v[2].is(TYPE_BINARY)) fill_alpha(pixels, binary::bytes_of(&v[2]));
    return pixels;
}

// The rectangle of `size` whose top-left corner is pixel `from` of the image.
Pixels rectangle(const Cell& image, uint32_t from, int64_t columns, int64_t rows) {
    uint32_t w = width_of(image);
    uint32_t x0 = w ? from % w : 0, y0 = w ? from / w : 0;
    columns = std::clamp<int64_t>(columns, 0, w - x0);
    rows = std::clamp<int64_t>(rows, 0, height_of(image) - y0);
    Pixels out = blank(columns, rows, nullptr);
    const Pixels& source = pixels_of(image);
    for (int64_t y = 0; y < rows; ++y)
        std::copy_n(source.argb.begin() + (y0 + y) * w + x0, columns, out.argb.begin() + y * columns);
    return out;
}

Cell* copy_from(Cell* image, uint32_t from, int64_t columns, int64_t rows) {
    Pixels pixels = rectangle(*image, from, columns, rows);
    return make_at(image, std::move(pixels));
}

Cell* copy_whole(Cell* image) {
    uint32_t h = head_of(*image);
    return copy_from(image, h, width_of(*image), height_of(*image));
}

Cell* to(Cell* proto, const Cell* spec, TypeId) {
    if (!spec->is(TYPE_IMAGE)) datatype::fire_bad_to_arg(TYPE_IMAGE, spec);
    *proto = *spec;
    return copy_whole(proto);
}

Cell* make(Cell* proto, const Cell* spec, TypeId type) {
    if (spec->is(TYPE_BLOCK)) {
        Cell block = *spec;
        if (block::vs_length(&block) == 0) {
            if (!proto->is(TYPE_IMAGE)) fire(err::invalid_arg, spec);
            return copy_whole(proto);
        }
        return make_at(proto, from_block(spec));
    }
    if (spec->is(TYPE_PAIR)) return make_at(proto, blank(pair::x(*spec), pair::y(*spec), spec));
    return to(proto, spec, type);
}

// ---- Text ----

constexpr char HEX[] = "0123456789ABCDEF";

void put_hex(std::string& text, uint8_t byte) {
    text.push_back(HEX[byte >> 4]);
    text.push_back(HEX[byte & 15]);
}

int32_t mold_rgb(const Pixels& pixels, Cell* out, const MoldArgs& args, const Cell* part, int32_t budget) {
    bool broken = pixels.argb.size() > 30 && !args.flat;
    budget = mold::emit(out, " #{", budget);
    if (broken) budget = mold::emit_line_break(out, args.indent + 1, budget);
    std::string hex;
    for (size_t i = 0; i < pixels.argb.size() && !mold::exhausted(part, budget); ++i) {
        hex.clear();
        for (uint8_t byte : {image_os::red(pixels.argb[i]), image_os::green(pixels.argb[i]), image_os::blue(pixels.argb[i])})
            put_hex(hex, byte);
        budget = mold::emit(out, hex, budget);
        if (broken && (i + 1) % 10 == 0) budget = mold::emit_line_break(out, args.indent + 1, budget);
    }
    return mold::emit(out, "}", budget);
}

int32_t mold_alpha(const Pixels& pixels, Cell* out, const MoldArgs& args, const Cell* part, int32_t budget) {
    budget = mold::emit(out, " #{", budget);
    budget = mold::emit_line_break(out, args.indent, budget);
    std::string hex;
    for (size_t i = 0; i < pixels.argb.size() && !mold::exhausted(part, budget); ++i) {
        hex.clear();
        put_hex(hex, uint8_t(255 - image_os::alpha(pixels.argb[i])));
        budget = mold::emit(out, hex, budget);
        if ((i + 1) % 10 == 0) budget = mold::emit_line_break(out, args.indent, budget);
    }
    return mold::emit(out, "}", budget);
}

int32_t mold(const Cell* image, Cell* out, const MoldArgs& args, const Cell* part, int32_t budget) {
    if (!args.only) budget = mold::emit(out, "make image! [", budget);
    budget = mold::emit(out, std::to_string(width_of(*image)) + "x" + std::to_string(height_of(*image)), budget);
    const Pixels& pixels = pixels_of(*image);
    if (!pixels.argb.empty()) {
        budget = mold_rgb(pixels, out, args, part, budget);
        bool see_through = std::any_of(pixels.argb.begin(), pixels.argb.end(), [](uint32_t p) { return image_os::alpha(p) != 255; });
        if (see_through && !mold::exhausted(part, budget)) budget = mold_alpha(pixels_of(*image), out, args, part, budget);
    }
    return args.only ? budget : mold::emit(out, "]", budget);
}

int32_t form(const Cell* image, Cell* out, const Cell* part, int32_t budget) {
    return mold(image, out, MoldArgs{}, part, budget);
}

// ---- Positions ----

// The pixel an integer (from the index) or a pair (column and row, from the top-left) names, or
// -1 outside the image.
int64_t position_of(const Cell& image, int32_t index, const Cell* index_value) {
    int64_t p;
    if (index_value && index_value->is(TYPE_PAIR)) {
        int64_t x = pair::x(*index_value), y = pair::y(*index_value);
        if (x < 1 || y < 1 || x > width_of(image) || y > height_of(image)) return -1;
        p = (x - 1) + int64_t(width_of(image)) * (y - 1);
    } else {
        if (index == 0) return -1;
        p = int64_t(head_of(image)) + (index > 0 ? index - 1 : index);
    }
    return p >= 0 && p < pixel_count(image) ? p : -1;
}

Cell* pick(Cell* image, int32_t index, const Cell* index_value) {
    int64_t p = position_of(*image, index, index_value);
    *image = p < 0 ? none_cell() : tuple_of(pixels_of(*image).argb[size_t(p)]);
    return image;
}

Cell* poke(Cell* image, int32_t index, const Cell* index_value, const Cell* value) {
    int64_t p = position_of(*image, index, index_value);
    if (p < 0) {
        Cell position = index_value ? *index_value : integer_cell(index);
        fire(err::out_of_range, &position);
    }
    if (!value->is(TYPE_TUPLE)) fire(err::invalid_arg, value);
    pixels_of(*image).argb[size_t(p)] = pixel_of(*value);
    *image = *value;
    return image;
}

Cell* moved_to(Cell* image, int64_t position) {
    image->s1 = uint32_t(std::clamp<int64_t>(position, 0, pixel_count(*image)));
    return image;
}

int64_t offset_of(const Cell* value) {
    if (value->is(TYPE_INTEGER)) return value->i32();
    if (value->is(TYPE_PAIR)) return pair::x(*value);
    fire(err::invalid_arg, value);
}

Cell* at(Cell* image, const Cell* index) {
    int64_t n = offset_of(index);
    return moved_to(image, int64_t(head_of(*image)) + (n > 0 ? n - 1 : n));
}

Cell* skip(Cell* image, const Cell* offset) { return moved_to(image, int64_t(head_of(*image)) + offset_of(offset)); }
Cell* next(Cell* image) { return moved_to(image, int64_t(head_of(*image)) + 1); }
Cell* back(Cell* image) { return moved_to(image, int64_t(head_of(*image)) - 1); }
Cell* tail(Cell* image) { return moved_to(image, pixel_count(*image)); }
bool tail_q(const Cell* image) { return head_of(*image) >= pixel_count(*image); }
int32_t length_q(const Cell* image) { return int32_t(pixel_count(*image)); }

// ---- Comparison ----

// Two images are equal when they are the same image at the same index; images have no order.
int compare(const Cell* a, const Cell* b, int op) {
    if (!b->is(TYPE_IMAGE) || !datatype::equality_or_sort_op(op)) return -2;
    return a->s2 == b->s2 && head_of(*a) == head_of(*b) ? 0 : 1;
}

// ---- Copy and change ----

Cell* copy(Cell* image, const Cell* part, bool, const Cell*) {
    if (!part) return copy_whole(image);
    uint32_t h = head_of(*image);
    if (part->is(TYPE_PAIR)) return copy_from(image, h, pair::x(*part), pair::y(*part));
    if (part->is(TYPE_INTEGER)) fire(err::not_done);
    if (!part->is(TYPE_IMAGE) || part->s2 != image->s2) fire(err::invalid_arg, part);
    // Up to the other position: the rectangle between the two corners.
    uint32_t w = width_of(*image), end = head_of(*part);
    int64_t columns = w ? int64_t(end % w) - int64_t(h % w) : 0;
    int64_t rows = w ? int64_t(end / w) - int64_t(h / w) : 0;
    return copy_from(image, h, columns, rows);
}

// Another image is laid over this one with its top-left corner at the index, clipped.
void paste(const Cell& target, const Cell& source) {
    uint32_t w = width_of(target), at = head_of(target);
    uint32_t x0 = at % w, y0 = at / w;
    uint32_t columns = std::min(width_of(source), w - x0);
    uint32_t rows = std::min(height_of(source), height_of(target) - y0);
    Pixels& to = pixels_of(target);
    Pixels overlap = rectangle(source, 0, columns, rows);  // the source may be the target itself
    for (uint32_t y = 0; y < rows; ++y)
        std::copy_n(overlap.argb.begin() + size_t(y) * columns, columns, to.argb.begin() + size_t(y0 + y) * w + x0);
}

Cell* change(Cell* image, const Cell* value, const Cell* part, bool, const Cell* dup) {
    if (dup || (part && part->is(TYPE_INTEGER) && part->i32() < 0)) fire(err::not_done);
    uint32_t h = head_of(*image);
    if (value->is(TYPE_TUPLE)) {
        if (h >= pixel_count(*image)) fire(err::out_of_range, value);
        pixels_of(*image).argb[h] = pixel_of(*value);
        return moved_to(image, h + 1);
    }
    if (!value->is(TYPE_IMAGE)) fire(err::invalid_arg, value);
    if (h < pixel_count(*image)) paste(*image, *value);
    return image;
}

// ---- Paths ----

Kind kind_named(const Cell& word) {
    if (word_names::is(word, words::sym::rgb)) return Kind::rgb;
    if (word_names::is(word, words::sym::alpha)) return Kind::alpha;
    return Kind::argb;
}

bool is_kind_word(const Cell& word) {
    return word_names::is(word, words::sym::rgb) || word_names::is(word, words::sym::alpha) ||
           word_names::is(word, words::sym::argb);
}

// Writes every pixel in the kind: from a binary's bytes, or one colour (rgb) or transparency
// (alpha) for all.
void set_data(Cell* image, const Cell* data, Kind kind) {
    Pixels& pixels = pixels_of(*image);
    if (data->is(TYPE_BINARY)) {
        std::span<const uint8_t> bytes = binary::bytes_of(data);
        if (kind == Kind::rgb) fill_rgb(pixels, bytes);
        else if (kind == Kind::alpha) fill_alpha(pixels, bytes);
        else fill_argb(pixels, bytes);
        return;
    }
    if (kind == Kind::rgb && data->is(TYPE_TUPLE)) {
        uint32_t rgb = pixel_of(*data) & 0xFFFFFF;
        for (uint32_t& p : pixels.argb) p = (p & 0xFF000000u) | rgb;
        return;
    }
    if (kind == Kind::alpha && data->is(TYPE_INTEGER)) {
        uint32_t a = uint32_t(255 - (data->i32() & 0xFF)) << 24;
        for (uint32_t& p : pixels.argb) p = (p & 0xFFFFFF) | a;
        return;
    }
    fire(err::invalid_arg, data);
}

Cell* eval_path(Cell* image, const Cell* element, const Cell* value, const PathStep& step) {
    if (element->is(TYPE_INTEGER) || element->is(TYPE_PAIR)) {
        if (value) return poke(image, element->i32(), element, value);
        return pick(image, element->i32(), element);
    }
    if (element->is(TYPE_WORD) && word_names::is(*element, words::sym::size)) {
        if (value) fire(err::bad_path_set, step.path, element);
        return pair::make_at(image, int32_t(width_of(*image)), int32_t(height_of(*image)));
    }
    if (!element->is(TYPE_WORD) || !is_kind_word(*element)) fire(err::invalid_path, step.path, element);
    if (!value) return extract_data(*image, kind_named(*element), image);
    set_data(image, value, kind_named(*element));
    *image = *value;
    return image;
}

const SlotHandler image_actions[] = {
    act<A_MAKE>(make),
    act<A_TO>(to),
    act<A_FORM>(form),
    act<A_MOLD>(mold),
    act<A_EVAL_PATH>(eval_path),
    act<A_COMPARE>(compare),
    act<A_AT>(at),
    act<A_BACK>(back),
    act<A_CHANGE>(change),
    act<A_COPY>(copy),
    inherited_at<A_HEAD>(),
    inherited_at<A_HEAD_Q>(),
    inherited_at<A_INDEX_Q>(),
    act<A_LENGTH_Q>(length_q),
    act<A_NEXT>(next),
    act<A_PICK>(pick),
    act<A_POKE>(poke),
    act<A_SKIP>(skip),
    act<A_TAIL>(tail),
    act<A_TAIL_Q>(tail_q),
    inherited_at<A_MODIFY>(),
};

}  // namespace

Cell* make_at(Cell* cell, Pixels&& pixels) {
    uint32_t size = pixels.height << 16 | pixels.width;
    auto store = std::make_unique<Pixels>(std::move(pixels));
    NodeId node = memory::alloc_bytes(sizeof(int32_t));
    int32_t entry = externals::store(reinterpret_cast<uintptr_t>(store.release()), image_kind);
    Series* buffer = memory::series_of(node);
    std::memcpy(buffer->head_ptr(), &entry, sizeof entry);
    buffer->tail = buffer->head + sizeof entry;
    *cell = make_cell(TYPE_IMAGE, 0, node, size);
    return cell;
}

Pixels& pixels_of(const Cell& image) {
    return *reinterpret_cast<Pixels*>(externals::handle_of(entry_of(image.s2)));
}

Cell* decode(Cell* out, std::span<const uint8_t> bytes) {
    Pixels pixels;
    switch (image_os::decode(bytes, &pixels)) {
    case image_os::Decoded::unknown: *out = none_cell(); return out;
    case image_os::Decoded::corrupt: fire(err::bad_media);
    case image_os::Decoded::ok: break;
    }
    return make_at(out, std::move(pixels));
}

Cell* encode(Cell* out, const Cell& image, image_os::Format format) {
    std::string file;
    if (!image_os::encode(pixels_of(image), format, &file)) fire(err::bad_media);
    binary::make_at(out, uint32_t(std::min<size_t>(file.size(), UINT32_MAX)));
    binary::append_bytes(out, reinterpret_cast<const uint8_t*>(file.data()), file.size());
    return out;
}

Cell* extract_data(const Cell& image, Kind kind, Cell* out) {
    Rooted held(image);
    size_t unit = kind == Kind::argb ? 4 : kind == Kind::rgb ? 3 : 1;
    binary::make_at(out, uint32_t(pixel_count(image) * unit));
    std::string bytes;
    bytes.reserve(pixel_count(*held) * unit);
    for (uint32_t p : pixels_of(*held).argb) {
        if (kind == Kind::alpha) bytes.push_back(char(255 - image_os::alpha(p)));
        else if (kind == Kind::rgb) bytes.append({char(image_os::red(p)), char(image_os::green(p)), char(image_os::blue(p))});
        else bytes.append(reinterpret_cast<const char*>(&p), 4);
    }
    binary::append_bytes(out, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    return out;
}

}  // namespace vyn::image

namespace vyn {

void image_init() {
    image::image_kind = externals::register_kind("image", image::release_pixels);
    collector::set_image_visitor(image::keep_pixels);
    datatype::register_type(TYPE_IMAGE, TYPE_SERIES, "image!", UNSUPPORTED, image::image_actions);
}

}  // namespace vyn
