// Making the runtime words, group by group in a fixed order. A name listed twice (`code` among
// the symbols, `collect` among the parse keywords, `throw`) is made twice into one global: the
// second making finds the first.
#include "datatypes/words.hpp"

#include <string_view>

#include "core/context.hpp"
#include "core/symbol.hpp"
#include "datatypes/issue.hpp"
#include "datatypes/word.hpp"

namespace vyn::words {
namespace {

struct SymbolEntry {
    std::string_view name;
    uint32_t* global;
};

const SymbolEntry symbols[] = {
    {"spec", &sym::spec}, {"body", &sym::body}, {"words", &sym::words}, {"class", &sym::class_},
    {"logic!", &sym::logic_type}, {"integer!", &sym::integer_type}, {"char!", &sym::char_type},
    {"float!", &sym::float_type}, {"percent!", &sym::percent_type},
    {"any-type!", &sym::any_type_type}, {"exit", &sym::exit}, {"return", &sym::return_},
    {"Windows", &sym::Windows}, {"Syllable", &sym::Syllable}, {"macOS", &sym::macOS},
    {"Linux", &sym::Linux}, {"NetBSD", &sym::NetBSD}, {"repeat", &sym::repeat},
    {"foreach", &sym::foreach}, {"map-each", &sym::map_each}, {"remove-each", &sym::remove_each},
    {"any", &sym::any}, {"break", &sym::break_}, {"copy", &sym::copy}, {"end", &sym::end},
    {"fail", &sym::fail}, {"into", &sym::into}, {"opt", &sym::opt}, {"not", &sym::not_},
    {"quote", &sym::quote}, {"case", &sym::case_}, {"reject", &sym::reject}, {"set", &sym::set},
    {"skip", &sym::skip}, {"some", &sym::some}, {"thru", &sym::thru}, {"to", &sym::to},
    {"none", &sym::none}, {"|", &sym::bar}, {"-", &sym::minus}, {"if", &sym::if_},
    {"remove", &sym::remove}, {"while", &sym::while_}, {"insert", &sym::insert},
    {"only", &sym::only}, {"collect", &sym::collect}, {"keep", &sym::keep}, {"pick", &sym::pick},
    {"ahead", &sym::ahead}, {"after", &sym::after}, {"x", &sym::x}, {"y", &sym::y}, {"z", &sym::z},
    {"self", &sym::self}, {"values", &sym::values}, {"owner", &sym::owner}, {"owned", &sym::owned},
    {"events?", &sym::events_q}, {"true", &sym::true_}, {"false", &sym::false_},
    {"yes", &sym::yes}, {"no", &sym::no}, {"on", &sym::on}, {"off", &sym::off},
    {"type", &sym::type}, {"face", &sym::face}, {"window", &sym::window}, {"offset", &sym::offset},
    {"key", &sym::key}, {"flag", &sym::flag}, {"code", &sym::code}, {"picked", &sym::picked},
    {"flags", &sym::flags}, {"away?", &sym::away_q}, {"ctrl?", &sym::ctrl_q},
    {"shift?", &sym::shift_q}, {"down?", &sym::down_q}, {"mid-down?", &sym::mid_down_q},
    {"alt-down?", &sym::alt_down_q}, {"aux-down?", &sym::aux_down_q},
    {"orientation", &sym::orientation}, {"get", &sym::get}, {"put", &sym::put},
    {"post", &sym::post}, {"head", &sym::head}, {"size", &sym::size}, {"rgb", &sym::rgb},
    {"alpha", &sym::alpha}, {"argb", &sym::argb}, {"date", &sym::date}, {"year", &sym::year},
    {"month", &sym::month}, {"day", &sym::day}, {"zone", &sym::zone}, {"isoweek", &sym::isoweek},
    {"week", &sym::week}, {"weekday", &sym::weekday}, {"yearday", &sym::yearday},
    {"julian", &sym::julian}, {"time", &sym::time}, {"hour", &sym::hour}, {"minute", &sym::minute},
    {"second", &sym::second}, {"timezone", &sym::timezone},
    {"months", &sym::months}, {"code", &sym::code},
    {"amount", &sym::amount}, {"user", &sym::user}, {"host", &sym::host}, {"system", &sym::system},
    {"system-global", &sym::system_global}, {"stack", &sym::stack}, {"trace", &sym::trace},
    {"no-trace", &sym::no_trace}, {"lexer", &sym::lexer}, {"exit-states", &sym::exit_states},
    {"locale", &sym::locale}, {"currencies", &sym::currencies}, {"list", &sym::list},
    {"options", &sym::options}, {"money-digits", &sym::money_digits},
};

// Parse keywords and OS names, bound exactly as spelled.
struct KeywordEntry {
    const uint32_t* symbol;
    Cell* global;
};

const KeywordEntry keywords[] = {
    {&sym::Windows, &Windows}, {&sym::Syllable, &Syllable}, {&sym::macOS, &macOS},
    {&sym::Linux, &Linux}, {&sym::NetBSD, &NetBSD}, {&sym::to, &to}, {&sym::thru, &thru},
    {&sym::not_, &not_}, {&sym::remove, &remove}, {&sym::while_, &while_},
    {&sym::collect, &collect}, {&sym::keep, &keep}, {&sym::ahead, &ahead}, {&sym::bar, &bar},
    {&sym::any, &any}, {&sym::some, &some}, {&sym::copy, &copy}, {&sym::opt, &opt},
    {&sym::into, &into}, {&sym::insert, &insert}, {&sym::if_, &if_}, {&sym::quote, &quote},
    {&sym::collect, &collect}, {&sym::set, &set}, {&sym::case_, &case_},
};

struct WordEntry {
    std::string_view name;
    Cell* global;
};

const WordEntry words_before_end[] = {
    {"at", &at}, {"back", &back}, {"find", &find}, {"head", &head}, {"head?", &head_q},
    {"index?", &index_q}, {"length?", &length_q}, {"next", &next}, {"pick", &pick},
    {"skip", &skip}, {"select", &select}, {"tail", &tail}, {"tail?", &tail_q}, {"change", &change},
    {"changed", &changed}, {"clear", &clear}, {"cleared", &cleared}, {"set-path", &set_path},
    {"append", &append}, {"appended", &appended}, {"move", &move}, {"moved", &moved},
    {"poke", &poke}, {"poked", &poked}, {"put", &put}, {"put-ed", &put_ed}, {"removed", &removed},
    {"random", &random}, {"randomized", &randomized}, {"reverse", &reverse},
    {"reversed", &reversed}, {"sort", &sort}, {"sorted", &sorted}, {"swap", &swap},
    {"swaped", &swaped}, {"take", &take}, {"taken", &taken}, {"trim", &trim},
    {"trimmed", &trimmed}, {"inserted", &inserted}, {"uppercase", &uppercase},
    {"lowercase", &lowercase}, {"checksum", &checksum}, {"push", &push}, {"pop", &pop},
    {"fetch", &fetch}, {"match", &match}, {"iterate", &iterate}, {"paren", &paren},
    {"<anon>", &frame_anon}, {"<body>", &frame_body}, {"<not-found>", &frame_not_found},
};

const WordEntry words_after_end[] = {
    {"add", &add}, {"subtract", &subtract}, {"divide", &divide},
    {"on-parse-event", &on_parse_event}, {"on-change*", &on_change_star},
    {"on-deep-change*", &on_deep_change_star}, {"type", &type}, {"id", &id}, {"try", &try_},
    {"catch", &catch_}, {"name", &name}, {"multiply", &multiply}, {"browse", &browse},
    {"open", &open}, {"create", &create}, {"close", &close}, {"delete", &delete_},
    {"modify", &modify}, {"query", &query}, {"read", &read}, {"rename", &rename},
    {"update", &update}, {"write", &write}, {"prescan", &prescan}, {"scan", &scan},
    {"load", &load}, {"error", &error}, {"comment", &comment}, {"init", &init}, {"exec", &exec},
    {"call", &call}, {"return", &return_}, {"enter", &enter}, {"exit", &exit}, {"prolog", &prolog},
    {"epilog", &epilog}, {"throw", &throw_}, {"expr", &expr},
    {"<interp-callback>", &frame_interp_callback}, {"<lexer-callback>", &frame_lexer_callback},
    {"<parse-callback>", &frame_parse_callback}, {"<compare-callback>", &frame_compare_callback},
    {"throw", &throw_}, {"note", &note}, {"syntax", &syntax}, {"script", &script}, {"math", &math},
    {"access", &access}, {"user", &user}, {"internal", &internal},
    {"invalid-error", &invalid_error}, {"local", &local}, {"<applied>", &frame_applied},
};

const WordEntry refinements[] = {
    {"local", &ref::local}, {"extern", &ref::extern_}, {"compare", &ref::compare},
    {"part", &ref::part}, {"skip", &ref::skip}, {"with", &ref::with},
};

}  // namespace

void init_runtime_words() {
    for (const SymbolEntry& e : symbols) *e.global = symbol::make(e.name);
    for (const KeywordEntry& e : keywords) *e.global = context::add_global(*e.symbol);
    for (const WordEntry& e : words_before_end) *e.global = word::load(e.name);
    end = context::add_global(sym::end);
    for (const WordEntry& e : words_after_end) *e.global = word::load(e.name);
    sym::changed = changed.s2;
}

void init_runtime_refinements() {
    for (const WordEntry& e : refinements) *e.global = word::load_refinement(e.name);
}

void init_runtime_issue() { ooo = issue::load("ooo"); }

}  // namespace vyn::words
