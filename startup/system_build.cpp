// Start-up building of `system` and its error catalogue. The catalogue's message templates are
// read from their source text (strings, words and get-words in at most one block), so the table
// in core/catalog.cpp stays the one place that spells them. Objects are built inside out, each
// one pushed on the argument stack before its fields are made so that it stays reachable.
#include "startup/system_build.hpp"

#include <span>
#include <string_view>

#include "core/catalog.hpp"
#include "core/context.hpp"
#include "core/fatal.hpp"
#include "core/raise.hpp"
#include "core/runtime.hpp"
#include "core/stack.hpp"
#include "core/symbol.hpp"
#include "core/value_slots.hpp"
#include "datatypes/block.hpp"
#include "datatypes/date.hpp"
#include "datatypes/error.hpp"
#include "datatypes/object.hpp"
#include "datatypes/os/sysinfo.hpp"
#include "datatypes/string.hpp"
#include "datatypes/system_object.hpp"
#include "datatypes/word.hpp"
#include "datatypes/words.hpp"

namespace vyn::system_object {
namespace {

// Filled while building, handed to the system object's record at the end.
Nodes built;

Cell word(std::string_view name, TypeId type = TYPE_WORD) { return word::load(name, type); }

Cell text(std::string_view ascii) {
    Cell s = string::make(uint32_t(ascii.size()));
    string::concatenate_literal(&s, ascii);
    return s;
}

// One template in the catalogue's source form.
class TemplateReader {
public:
    explicit TemplateReader(std::string_view source) : source_(source) {}

    Cell read() {
        if (peek() != '[') return item();
        ++pos_;
        Cell* block = block::push_only(4);
        while (peek() != ']') {
            block::vs_append(block, stack::push(item()));
            stack::pop(1);
            if (peek() == ' ') ++pos_;
        }
        const Cell result = *block;
        stack::pop(1);
        return result;
    }

private:
    char peek() const {
        VYN_REQUIRE(pos_ < source_.size());
        return source_[pos_];
    }

    std::string_view until(char stop) {
        size_t end = source_.find_first_of(stop, pos_);
        if (end == std::string_view::npos) end = source_.size();
        std::string_view token = source_.substr(pos_, end - pos_);
        pos_ = end;
        return token;
    }

    Cell item() {
        if (peek() == '"') {
            ++pos_;
            Cell s = text(until('"'));
            ++pos_;
            return s;
        }
        bool get = peek() == ':';
        if (get) ++pos_;
        std::string_view name = source_.substr(pos_, source_.find_first_of(" ]", pos_) - pos_);
        pos_ += name.size();
        return word(name, get ? TYPE_GET_WORD : TYPE_WORD);
    }

    std::string_view source_;
    size_t pos_ = 0;
};

// Pushes an empty object of the class id and returns its context node.
NodeId push_object(uint32_t size, uint32_t class_id) {
    NodeId context = context::create(size, false, true, 0, context::Kind::object);
    object::push_context(context, class_id);
    return context;
}

void add_field(NodeId context, std::string_view name, const Cell& value) {
    const Cell* kept = stack::push(value);
    context::add_or_set(context, word(name), *kept);
    stack::pop(1);
}

// The object on the stack top becomes the field's value.
void add_pushed_field(NodeId context, std::string_view name) {
    const Cell value = *stack::last();
    add_field(context, name, value);
    stack::pop(1);
}

void build_category(int index) {
    const catalog::Category& c = catalog::category(index);
    NodeId context = push_object(uint32_t(c.ids.size()) + 2, FIRST_CATEGORY_CLASS_ID + 2 * uint32_t(index));
    built.categories[index] = context;
    add_field(context, "code", integer_cell(index * 100));
    add_field(context, "type", text(c.type_text));
    for (const catalog::Id& id : c.ids) add_field(context, id.name, TemplateReader(id.message).read());
}

void build_catalogue() {
    built.catalogue = push_object(CATEGORIES, object::new_class_id());
    for (int i = 0; i < catalog::category_count(); ++i) {
        build_category(i);
        add_pushed_field(built.catalogue, catalog::category(i).word);
    }
}

// `system/catalog`: the error catalogue and the accessor words of the console's completion.
void build_catalog() {
    NodeId context = push_object(2, object::new_class_id());
    build_catalogue();
    add_pushed_field(context, "errors");
    add_field(context, "accessors", none_cell());
}

// An object of the fields, each none, pushed.
void push_prototype(std::span<const std::string_view> fields) {
    NodeId context = push_object(uint32_t(fields.size()), object::new_class_id());
    for (std::string_view name : fields) add_field(context, name, none_cell());
}

// An object of the fields, each none, pushed and kept in `kept`.
void build_prototype(std::span<const std::string_view> fields, Cell& kept) {
    push_prototype(fields);
    kept = *stack::last();
}

// A port's spec has the fields of a decoded URL; a port starts with spec, scheme and actor; a
// script's header gets the fields it does not name from `header`.
void build_standard() {
    static constexpr std::string_view port_spec_fields[] = {"scheme", "user-info", "host", "port", "path",
                                                            "target", "query", "fragment", "ref"};
    static constexpr std::string_view port_fields[] = {"spec", "scheme", "actor", "state", "data"};
    static constexpr std::string_view header_fields[] = {
        "Title", "Name", "Type", "Version", "Date", "File", "Home", "Author", "Tabs", "Needs",
        "License", "Note", "History", "Rights", "Usage", "Purpose", "Comment", "Language", "Content", "Owner"};
    NodeId context = push_object(4, object::new_class_id());
    static constexpr std::string_view error_fields[] = {"code", "type", "id",   "arg1",  "arg2",
                                                        "arg3", "near", "where", "stack", "files"};
    build_prototype(error_fields, built.prototype);
    add_pushed_field(context, "error");
    build_prototype(port_spec_fields, built.port_spec);
    add_pushed_field(context, "port-spec");
    build_prototype(port_fields, built.port);
    add_pushed_field(context, "port");
    push_prototype(header_fields);
    add_pushed_field(context, "header");
}

void build_state() {
    NodeId state = push_object(6, object::new_class_id());
    add_field(state, "interpreted?", none_cell());
    add_field(state, "last-error", none_cell());
    add_field(state, "stack-trace", integer_cell(1));
    block::push_only(4);
    add_pushed_field(state, "source-files");
    add_field(state, "callbacks", none_cell());
    add_field(state, "GC", none_cell());
}

// The compiler's date and time of this file ("Mmm dd yyyy", "hh:mm:ss"), read as UTC; the
// environment turns it to the local zone.
Cell build_date() {
    constexpr std::string_view months = "JanFebMarAprMayJunJulAugSepOctNovDec";
    constexpr std::string_view day = __DATE__;
    constexpr std::string_view clock = __TIME__;
    auto number = [](std::string_view digits) {
        int n = 0;
        for (char c : digits) n = c == ' ' ? n : n * 10 + (c - '0');
        return n;
    };
    Cell date;
    date::make_from_parts(&date, number(day.substr(7, 4)), int(months.find(day.substr(0, 3)) / 3) + 1,
                          number(day.substr(4, 2)), number(clock.substr(0, 2)), number(clock.substr(3, 2)),
                          number(clock.substr(6, 2)), 0);
    return date;
}

// `system/build`: this build's date; no version-control data and no preprocessor job.
void build_build() {
    NodeId build = push_object(3, object::new_class_id());
    add_field(build, "date", build_date());
    add_field(build, "git", none_cell());
    add_field(build, "config", none_cell());
}

// `system/words`: the global context seen as an object of class -1, which it also owns.
Cell global_words() {
    const Cell words = make_cell(TYPE_OBJECT, context::global(), uint32_t(-1), 0);
    context::owner(context::global()) = words;
    return words;
}

// `system/script`, the prototype of running scripts; its `args` starts as the raw command line,
// which the environment splits into `system/options` once it is loaded.
void build_script() {
    NodeId context = push_object(5, object::new_class_id());
    for (std::string_view name : {"title", "header", "parent", "path"}) add_field(context, name, none_cell());
    const std::vector<std::string>& args = runtime::record.args;
    add_field(context, "args", args.empty() ? none_cell() : string::from_utf8(sysinfo::command_line(args)));
}

void add_block_field(NodeId context, std::string_view name, int64_t room) {
    block::push_only(room);
    add_pushed_field(context, name);
}

// The 19 slots in their order; the environment fills the ones left none.
void build_system() {
    built.system = push_object(19, SYSTEM_CLASS_ID);
    add_field(built.system, "version", none_cell());
    build_build();
    add_pushed_field(built.system, "build");
    add_field(built.system, "words", global_words());
    add_field(built.system, "platform", words::Linux);
    build_catalog();
    add_pushed_field(built.system, "catalog");
    build_state();
    add_pushed_field(built.system, "state");
    add_block_field(built.system, "modules", 8);
    add_field(built.system, "codecs", none_cell());
    add_block_field(built.system, "schemes", 10);
    for (std::string_view name : {"ports", "locale", "options"}) add_field(built.system, name, none_cell());
    build_script();
    add_pushed_field(built.system, "script");
    build_standard();
    add_pushed_field(built.system, "standard");
    for (std::string_view name : {"lexer", "console", "view", "reactivity", "tools"})
        add_field(built.system, name, none_cell());
}

}  // namespace

void init() {
    Cell* mark = stack::top;
    build_system();
    const Cell system = *stack::last();
    context::add_or_set(context::global(), word("system"), system);
    value_slots::store(system);
    value_slots::store(built.prototype);
    value_slots::store(built.port_spec);
    value_slots::store(built.port);
    stack::top = mark;
    keep(built);
    set_error_raiser(error::raise);
}

}  // namespace vyn::system_object
