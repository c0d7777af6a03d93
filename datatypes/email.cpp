// email! handlers: the unquoted molded form and the /user and /host paths; the other text actions
// come from string!. Reading a part makes a new string!; setting one changes the address in place
// over the same span, as change/part would.
#include "datatypes/email.hpp"

#include "core/type_registry.hpp"
#include "core/raise.hpp"
#include "core/rooted.hpp"
#include "datatypes/words.hpp"
#include "datatypes/mold.hpp"
#include "datatypes/string.hpp"
#include "datatypes/word_names.hpp"

namespace vyn::email {
namespace {

// The characters of the user or host part, counted from the head.
struct Span {
    uint32_t start;
    uint32_t count;
};

// Without an "@" the user is the whole text and the host is empty.
Span part_of(const Cell* email, bool user) {
    uint32_t length = string::length(email);
    int32_t at = string::find_char(email, '@');
    uint32_t split = at < 0 ? length : uint32_t(at);
    if (user) return {0, split};
    return at < 0 ? Span{length, 0} : Span{split + 1, length - split - 1};
}

Cell* read_part(Cell* email, Span span) {
    Rooted text(string::make(span.count, string::buffer_of(email)->unit()));
    Cell from = *email;  // the email stays in its own cell meanwhile
    from.s1 = string::clamp_head(&from) + span.start;
    string::append_string(text.get(), &from, int32_t(span.count));
    *email = *text;
    return email;
}

Cell* write_part(Cell* email, Span span, const Cell* value) {
    Cell target = *email;
    target.s1 = string::clamp_head(&target) + span.start;
    Cell count = integer_cell(int32_t(span.count));
    string::change(&target, value, &count, false, nullptr);
    *email = *value;
    return email;
}

Cell* email_eval_path(Cell* parent, const Cell* element, const Cell* value, const PathStep& step) {
    if (!element->is(TYPE_WORD)) return string::eval_path(parent, element, value, step);
    bool user = word_names::is(*element, words::sym::user);
    if (!user && !word_names::is(*element, words::sym::host)) fire(err::invalid_path, step.path, element);
    if (!value) return read_part(parent, part_of(parent, user));
    // A host given to an address without "@" comes after one, or it would join the user.
    if (!user && string::find_char(parent, '@') < 0) string::append_char(string::node_of(parent), '@');
    return write_part(parent, part_of(parent, user), value);
}

int32_t email_mold(const Cell* value, Cell* out, const MoldArgs&, const Cell* part, int32_t budget) {
    return string::form(value, out, part, budget);
}

const SlotHandler email_actions[] = {
    act<A_MOLD>(email_mold),
    act<A_EVAL_PATH>(email_eval_path),
};

}  // namespace
}  // namespace vyn::email

namespace vyn {

void email_init() { register_text_type(TYPE_EMAIL, "email!", email::email_actions); }

}  // namespace vyn
