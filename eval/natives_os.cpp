// Natives that reach the operating system: the size of a file, waiting, the environment
// variables, external processes and the browser, and `as`, which retypes a series in place. Each converts its arguments and hands
// the work to the OS layer; a text bound for the OS that holds a NUL is refused, since the OS
// would read only the part before it.
#include <string>

#include "core/os/os.hpp"
#include "core/os/process.hpp"
#include "core/raise.hpp"
#include "core/rooted.hpp"
#include "core/symbol.hpp"
#include "datatypes/actions.hpp"
#include "datatypes/date.hpp"
#include "datatypes/file.hpp"
#include "datatypes/map.hpp"
#include "datatypes/os/files.hpp"
#include "datatypes/series.hpp"
#include "datatypes/string.hpp"
#include "datatypes/word.hpp"
#include "eval/native_entries.hpp"
#include "eval/native_support.hpp"

namespace vyn::natives {
namespace {

// The text of an environment variable's name or value: a word's spelling or a string's text.
std::string os_text(const Cell* value) {
    std::string text = word::any_word(value->type()) ? std::string(symbol::name(value->s2)) : string::to_utf8(value);
    if (text.find('\0') != std::string::npos) fire(err::invalid_arg, value);
    return text;
}

bool is_list_series(TypeId t) {
    return t == TYPE_BLOCK || t == TYPE_PAREN || t == TYPE_PATH || t == TYPE_LIT_PATH || t == TYPE_SET_PATH ||
           t == TYPE_GET_PATH;
}

bool is_text_series(TypeId t) {
    return t == TYPE_STRING || t == TYPE_FILE || t == TYPE_URL || t == TYPE_TAG || t == TYPE_EMAIL || t == TYPE_REF;
}

// A file! or a text as the OS reads it.
std::string local_text(const Cell* value) {
    if (value->is(TYPE_FILE)) return file::to_local_path(value);
    std::string text = string::to_utf8(value);
    if (text.find('\0') != std::string::npos) fire(err::invalid_arg, value);
    return text;
}

// A redirection of call: a file by its path, a string or binary by its bytes (input) or as
// the target that receives them (output and error).
process::Stream stream_of(const Cell* value, bool input) {
    process::Stream s;
    if (!value) return s;
    if (value->is(TYPE_FILE)) {
        s.kind = process::Stream::Kind::file;
        s.path = file::to_local_path(value);
    } else {
        s.kind = process::Stream::Kind::buffer;
        if (input) s.bytes = files::bytes_of(value);
    }
    return s;
}

// What a child wrote goes into its target: a string gets the text appended, line ends folded;
// a binary gets the bytes inserted at its position.
void deliver(const process::Stream& s, Cell* target) {
    if (!target || s.kind != process::Stream::Kind::buffer) return;
    if (!target->is(TYPE_BINARY)) return string::append_utf8(target, files::folded_line_ends(s.bytes));
    Rooted bytes(string::binary_of(reinterpret_cast<const uint8_t*>(s.bytes.data()), s.bytes.size()));
    Rooted position(*target);
    actions::handler_of<A_INSERT>(position.get())(position.get(), bytes.get(), nullptr, false, nullptr);
}

// The date path field each of now's refinements /year to /yearday gives (/precise: none).
constexpr int NOW_FIELDS[] = {2, 3, 4, 6, 5, 1, 10, 11};
constexpr int NOW_PRECISE = 8, NOW_UTC = 9, NOW_TIME = 3;

// The same instant with zone 0: the UTC seconds are already stored, only the day may change.
void to_utc(Cell* date) { date::normalize(date, date::to_days(date->s1), date->f64(), 0, true); }

}  // namespace

namespace entry {

// size?: a file's size in bytes (a float! beyond the integer range), none for a directory or a
// file that cannot be opened.
void size_q(int32_t, const int32_t*) {
    std::optional<uint64_t> size = files::size_of(args());
    if (!size) stack::set_result(none_cell());
    else if (*size <= uint64_t(INT32_MAX)) stack::set_result(integer_cell(int32_t(*size)));
    else stack::set_result(float_cell(double(*size)));
}

// now: the date and time from the clock, local or UTC. At most one refinement picks a field;
// /precise goes with /time alone.
void now(int32_t, const int32_t* refinements) {
    int picked = -1, count = 0;
    for (int i = 0; i <= NOW_PRECISE; ++i) {
        if (!used(refinements, i)) continue;
        ++count;
        if (i != NOW_PRECISE) picked = i;
    }
    bool time_precise = count == 2 && picked == NOW_TIME && used(refinements, NOW_PRECISE);
    if (count > 1 && !time_precise) fire(err::bad_refines);
    Rooted date;
    date::now(date.get(), used(refinements, NOW_PRECISE));
    if (used(refinements, NOW_UTC)) to_utc(date.get());
    if (picked >= 0) {
        Cell field = integer_cell(NOW_FIELDS[picked]);
        actions::handler_of<A_PICK>(date.get())(date.get(), field.i32(), &field);
    }
    stack::set_result(*date);
}

// wait: sleeps for a number of seconds or a time!. There is no event loop to run afterwards
// without the GUI, so the result is none.
void wait(int32_t, const int32_t*) {
    const Cell* value = args();
    if (value->is(TYPE_BLOCK) || value->is(TYPE_NONE)) fire(err::invalid_arg, value);
    os::sleep(value->is(TYPE_INTEGER) ? double(value->i32()) : value->f64());
    stack::set_result(none_cell());
}

void get_env(int32_t, const int32_t*) {
    std::optional<std::string> value = os::get_env(os_text(args()));
    stack::set_result(value ? string::from_utf8(*value) : none_cell());
}

// set-env: none removes the variable; the result is the value given.
void set_env(int32_t, const int32_t*) {
    Cell* a = args();
    std::string name = os_text(&a[0]);
    if (a[1].is(TYPE_NONE)) os::unset_env(name);
    else os::set_env(name, os_text(&a[1]));
    stack::set_result(a[1]);
}

// list-env: name to value. A name's first "=" ends it, unless the name starts with it. Names
// that differ only in case keep the first one, as the map's keys ignore case.
void list_env(int32_t, const int32_t*) {
    Rooted env;
    std::vector<std::string> entries = os::environment();
    map::make_at(env.get(), uint32_t(entries.size()));
    for (const std::string& entry : entries) {
        size_t equal = entry.find('=', 1);
        Rooted name(string::from_utf8(entry.substr(0, equal)));
        if (!map::get_value(*env, *name, hashtable::Mode::equal).is(TYPE_NONE)) continue;
        Rooted value(string::from_utf8(equal == std::string::npos ? std::string() : entry.substr(equal + 1)));
        map::set_value(*env, *name, *value, hashtable::Mode::equal, *env);
    }
    stack::set_result(*env);
}

// call: an empty command gives 0 at once; /console has no meaning without a console of its
// own here; /show has no window to show.
void call(int32_t, const int32_t* refinements) {
    Cell* a = args();
    if (string::at_tail(a)) return stack::set_result(integer_cell(0));
    if (used(refinements, 2)) fire(err::not_done);
    Cell* in = refinement_arg(refinements, 4);
    Cell* out = refinement_arg(refinements, 5);
    Cell* err = refinement_arg(refinements, 6);
    process::Call c{.command = local_text(a),
                    .wait = used(refinements, 0),
                    .shell = used(refinements, 3),
                    .input = stream_of(in, true),
                    .output = stream_of(out, false),
                    .error = stream_of(err, false)};
    int32_t result = process::run(c);
    deliver(c.output, out);
    deliver(c.error, err);
    stack::set_result(integer_cell(result));
}

// browse: the desktop's opener gets the URL or the file's path as its one argument.
void browse(int32_t, const int32_t*) {
    process::start_detached({"xdg-open", local_text(args())});
    stack::set_result(unset_cell());
}

// as: the same series under another type of its class; the buffer is shared, not copied.
void as(int32_t, const int32_t*) {
    Cell* a = args();
    TypeId target = a[0].is(TYPE_DATATYPE) ? TypeId(a[0].s1) : a[0].type();
    TypeId from = a[1].type();
    bool related = (is_list_series(target) && is_list_series(from)) || (is_text_series(target) && is_text_series(from));
    if (!related) {
        Cell from_type = datatype_cell(from), to_type = datatype_cell(target);
        fire(err::not_same_class, &from_type, &to_type);
    }
    Cell result = a[1];
    result.set_type(target);
    stack::set_result(result);
}

}  // namespace entry
}  // namespace vyn::natives
