// The error catalogue's table: categories in index order, each with its ids in id-number order.
// Appending an id at the end of a category is the only change that keeps every existing code;
// core/catalog.hpp's enumerators must follow the same order.
#include "core/catalog.hpp"

#include <cassert>

namespace vyn::catalog {
namespace {

constexpr Id throw_ids[] = {
    {"break", R"~("no loop to break")~"},
    {"return", R"~("return or exit not in function")~"},
    {"throw", R"~(["no catch for throw:" :arg1])~"},
    {"continue", R"~("no loop to continue")~"},
    {"while-cond", R"~("BREAK/CONTINUE cannot be used in WHILE condition block")~"},
};

constexpr Id note_ids[] = {
    {"no-load", R"~(["cannot load: " :arg1])~"},
};

constexpr Id syntax_ids[] = {
    {"invalid", R"~([:arg1 "invalid" :arg2 "at" :arg3])~"},
    {"missing", R"~([:arg1 "missing" :arg2 "at" :arg3])~"},
    {"no-header", R"~(["script is missing a Vyn header:" :arg1])~"},
    {"no-vs-header", R"~(["script is missing a Vyn/System header:" :arg1])~"},
    {"bad-header", R"~(["script header is not valid:" :arg1])~"},
    {"malconstruct", R"~([:arg1 "invalid construction spec at" :arg2])~"},
    {"bad-char", R"~([:arg1 "invalid character at" :arg2])~"},
};

constexpr Id script_ids[] = {
    {"no-value", R"~([:arg1 "has no value"])~"},
    {"need-value", R"~([:arg1 "needs a value"])~"},
    {"not-defined", R"~([:arg1 "word is not bound to a context"])~"},
    {"not-in-context", R"~(["context for" :arg1 "is not available"])~"},
    {"no-arg", R"~([:arg1 "is missing its" :arg2 "argument"])~"},
    {"expect-arg", R"~([:arg1 "does not allow" :arg2 "for its" :arg3 "argument"])~"},
    {"expect-val", R"~(["expected" :arg1 "not" :arg2])~"},
    {"expect-type", R"~([:arg1 "field must be of type" :arg2])~"},
    {"cannot-use", R"~(["cannot use" :arg1 "on" :arg2])~"},
    {"invalid-arg", R"~(["invalid argument:" :arg1])~"},
    {"invalid-type", R"~([:arg1 "type is not allowed here"])~"},
    {"invalid-type-spec", R"~(["invalid type specifier:" :arg1])~"},
    {"invalid-key-type", R"~(["invalid key type:" :arg1])~"},
    {"invalid-op", R"~(["invalid operator:" :arg1])~"},
    {"no-op-arg", R"~("operator is missing an argument")~"},
    {"bad-op-spec", R"~("making an op! needs a function of exactly two arguments")~"},
    {"invalid-data", R"~(["data not in correct format:" :arg1])~"},
    {"invalid-part", R"~(["invalid /part count:" :arg1])~"},
    {"not-same-type", R"~("values must be of the same type")~"},
    {"not-same-class", R"~(["cannot coerce" :arg1 "to" :arg2])~"},
    {"not-related", R"~(["incompatible argument for" :arg1 "of" :arg2])~"},
    {"bad-func-def", R"~(["invalid function definition:" :arg1])~"},
    {"bad-func-arg", R"~(["function argument" :arg1 "is not valid"])~"},
    {"bad-func-extern", R"~(["invalid /extern value" :arg1])~"},
    {"no-refine", R"~([:arg1 "has no refinement called" :arg2])~"},
    {"bad-refines", R"~("incompatible or invalid refinements")~"},
    {"bad-refine", R"~(["invalid refinement value:" :arg1])~"},
    {"dup-refine", R"~(["duplicate refinement usage in:" :arg1])~"},
    {"word-first", R"~(["path must start with a word:" :arg1])~"},
    {"empty-path", R"~("cannot evaluate an empty path value")~"},
    {"unset-path", R"~([:arg2 "is unset in path" :arg1])~"},
    {"invalid-path", R"~(["cannot access" :arg2 "in path" :arg1])~"},
    {"invalid-path-set", R"~(["invalid path for setting:" :arg1])~"},
    {"invalid-path-get", R"~(["invalid path for getting:" :arg1])~"},
    {"bad-path-type", R"~([:arg3 "returned a" :arg2 "value, so" :arg1 "could not be accessed"])~"},
    {"bad-path-type2", R"~(["cannot access" :arg2 "in a value of type" :arg1])~"},
    {"bad-path-set", R"~(["cannot set" :arg2 "in path" :arg1])~"},
    {"bad-field-set", R"~(["cannot set" :arg1 "field to" :arg2 "datatype"])~"},
    {"dup-vars", R"~(["duplicate variable specified:" :arg1])~"},
    {"past-end", R"~("out of range or past end")~"},
    {"missing-arg", R"~("missing a required argument or refinement")~"},
    {"out-of-range", R"~(["value out of range:" :arg1])~"},
    {"invalid-chars", R"~("contains invalid characters")~"},
    {"invalid-compare", R"~(["cannot compare" :arg1 "with" :arg2])~"},
    {"wrong-type", R"~(["value has the wrong type:" :arg1])~"},
    {"invalid-refine-arg", R"~(["invalid" :arg1 "argument:" :arg2])~"},
    {"type-limit", R"~([:arg1 "overflow/underflow"])~"},
    {"size-limit", R"~(["maximum limit reached:" :arg1])~"},
    {"no-return", R"~("block did not return a value")~"},
    {"throw-usage", R"~("invalid use of a thrown error value")~"},
    {"locked-word", R"~(["protected word - cannot modify:" :arg1])~"},
    {"protected", R"~("protected value or series - cannot modify")~"},
    {"bad-bad", R"~([:arg1 "error:" :arg2])~"},
    {"bad-make-arg", R"~(["cannot MAKE" :arg1 "from:" :arg2])~"},
    {"bad-to-arg", R"~(["cannot MAKE/TO" :arg1 "from:" :arg2])~"},
    {"invalid-months", R"~("invalid system/locale/month list")~"},
    {"invalid-spec-field", R"~(["invalid" :arg1 "field in spec block"])~"},
    {"missing-spec-field", R"~([:arg1 "not found in spec block"])~"},
    {"move-bad", R"~(["Cannot MOVE elements from" :arg1 "to" :arg2])~"},
    {"too-long", R"~("Content too long")~"},
    {"invalid-char", R"~(["invalid character:" :arg1])~"},
    {"bad-loop-series", R"~(["Loop series changed to invalid value:" :arg1])~"},
    {"wrong-denom", R"~([:arg1 "not same denomination as" :arg2])~"},
    {"bad-denom", R"~(["invalid denomination:" :arg1])~"},
    {"invalid-obj-evt", R"~(["invalid object event handler:" :arg1])~"},
    {"parse-rule", R"~(["PARSE - invalid rule or usage of rule:" :arg1])~"},
    {"parse-end", R"~(["PARSE - unexpected end of rule after:" :arg1])~"},
    {"parse-invalid-ref", R"~(["PARSE - get-word refers to a different series!" :arg1])~"},
    {"parse-block", R"~(["PARSE - input must be of any-block! type:" :arg1])~"},
    {"parse-unsupported", R"~("PARSE - matching by datatype not supported for any-string! input")~"},
    {"parse-infinite", R"~(["PARSE - infinite recursion at rule: [" :arg1 "]"])~"},
    {"parse-stack", R"~("PARSE - stack limit reached")~"},
    {"parse-keep", R"~("PARSE - KEEP is used without a wrapping COLLECT")~"},
    {"parse-into-bad", R"~("PARSE - COLLECT INTO/AFTER invalid series! argument")~"},
    {"parse-into-type", R"~("PARSE - COLLECT INTO/AFTER expects a series! of compatible datatype")~"},
    {"draw-invalid", R"~(["invalid Draw dialect input at:" :arg1])~"},
    {"draw-infinite", R"~(["infinite recursion in Draw block:" :arg1])~"},
    {"invalid-data-facet", R"~(["invalid DATA facet content" :arg1])~"},
    {"face-type", R"~(["VIEW - invalid face type:" :arg1])~"},
    {"not-window", R"~("VIEW - expected a window root face")~"},
    {"bad-window", R"~("VIEW - a window face cannot be nested in another window")~"},
    {"not-linked", R"~("VIEW - face not linked to a window")~"},
    {"not-event-type", R"~(["VIEW - not a valid event type:" :arg1])~"},
    {"invalid-facet-type", R"~(["VIEW - invalid facet value:" :arg1])~"},
    {"vid-invalid-syntax", R"~(["VID - invalid syntax at:" :arg1])~"},
    {"rtd-invalid-syntax", R"~(["RTD - invalid syntax at:" :arg1])~"},
    {"rtd-no-match", R"~(["RTD - opening/closing tag not matching for:" :arg1])~"},
    {"react-bad-func", R"~("REACT - /LINK option requires a function! as argument")~"},
    {"react-not-enough", R"~("REACT - reactive functions must accept at least 2 arguments")~"},
    {"react-no-match", R"~("REACT - objects block length must match reaction function arg count")~"},
    {"react-bad-obj", R"~("REACT - target can only contain object values")~"},
    {"react-gctx", R"~(["REACT - word" :arg1 "of the global context cannot be a reactive source"])~"},
    {"lib-invalid-arg", R"~(["LIBVYN - invalid argument for" :arg1])~"},
    {"vb-invalid-record", R"~(["VYNBIN - invalid record at index" :arg1])~"},
};

constexpr Id math_ids[] = {
    {"zero-divide", R"~("attempt to divide by zero")~"},
    {"overflow", R"~("math or number overflow")~"},
    {"positive", R"~("positive number required")~"},
};

constexpr Id access_ids[] = {
    {"cannot-open", R"~(["cannot open:" :arg1])~"},
    {"cannot-close", R"~(["cannot close:" :arg1])~"},
    {"invalid-utf8", R"~(["invalid UTF-8 encoding:" :arg1])~"},
    {"not-open", R"~(["port is not open:" :arg1])~"},
    {"no-connect", R"~(["cannot connect:" :arg1])~"},
    {"no-scheme", R"~(["missing port scheme:" :arg1])~"},
    {"unknown-scheme", R"~(["scheme is unknown:" :arg1])~"},
    {"invalid-spec", R"~(["invalid spec or options:" :arg1])~"},
    {"invalid-port", R"~("invalid port object (invalid field values)")~"},
    {"invalid-actor", R"~("invalid port actor (must be handle or object)")~"},
    {"no-port-action", R"~("port action not supported")~"},
    {"no-create", R"~(["cannot create:" :arg1])~"},
    {"no-codec", R"~(["cannot decode or encode (no codec):" :arg1])~"},
    {"bad-media", R"~("bad media data (corrupt image, sound, video)")~"},
    {"invalid-cmd", R"~(["invalid port command:" :arg1])~"},
};

constexpr Id user_ids[] = {
    {"message", R"~(arg1)~"},
};

constexpr Id internal_ids[] = {
    {"bad-path", R"~(["bad path:" arg1])~"},
    {"not-here", R"~([arg1 "not supported on your system"])~"},
    {"no-memory", R"~("not enough memory")~"},
    {"wrong-mem", R"~("failed to release memory")~"},
    {"stack-overflow", R"~("stack overflow")~"},
    {"limit-hit", R"~(["internal limit reached:" :arg1])~"},
    {"too-deep", R"~("block or paren series is too deep to process")~"},
    {"no-cycle", R"~("circular reference not allowed")~"},
    {"feature-na", R"~("feature not available")~"},
    {"not-done", R"~("reserved for future use (or not yet implemented)")~"},
    {"invalid-error", R"~(["invalid error object field value:" :arg1])~"},
    {"routines", R"~("routines require compilation, from OS shell: `vyn -r <script.vyn>`")~"},
    {"vyn-system", R"~("contains Vyn/System code which requires compilation")~"},
    {"deprecated", R"~([arg1 "is DEPRECATED, please use" arg2 "instead"])~"},
};

constexpr Category categories[] = {
    {"throw", "Throw Error", throw_ids},
    {"note", "note", note_ids},
    {"syntax", "Syntax Error", syntax_ids},
    {"script", "Script Error", script_ids},
    {"math", "Math Error", math_ids},
    {"access", "Access Error", access_ids},
    {"reserved1", "Reserved1 Error", {}},
    {"reserved2", "Reserved2 Error", {}},
    {"user", "User Error", user_ids},
    {"internal", "Internal Error", internal_ids},
};

constexpr bool every_category_fits_its_hundred() {
    for (const Category& c : categories) {
        if (c.ids.size() > 100) return false;
    }
    return true;
}
static_assert(every_category_fits_its_hundred());

}  // namespace

int category_count() { return static_cast<int>(std::size(categories)); }

const Category& category(int index) {
    assert(index >= 0 && index < category_count());
    return categories[index];
}

const Id& id_entry(err::Code code) {
    const Category& c = category(err::category_of(code));
    assert(static_cast<size_t>(err::id_number_of(code)) < c.ids.size());
    return c.ids[err::id_number_of(code)];
}

}  // namespace vyn::catalog
