// Start-up order: output hooks, the OS layer, then every other module in the order their
// dependencies need. A module joins the table when it exists; nothing here is a placeholder.
#include "startup/startup.hpp"

#include <pthread.h>

#include <algorithm>
#include <new>

#include "core/collector.hpp"
#include "core/context.hpp"
#include "core/type_registry.hpp"
#include "core/raise.hpp"
#include "core/eval_hooks.hpp"
#include "core/externals.hpp"
#include "core/fatal.hpp"
#include "core/hashtable.hpp"
#include "core/hooks.hpp"
#include "core/memory.hpp"
#include "core/os/os.hpp"
#include "core/random.hpp"
#include "core/stack.hpp"
#include "core/symbol.hpp"
#include "core/tracked_heap.hpp"
#include "core/unwind.hpp"
#include "core/value_slots.hpp"
#include "datatypes/binary.hpp"
#include "datatypes/bitset.hpp"
#include "datatypes/block.hpp"
#include "datatypes/char.hpp"
#include "datatypes/date.hpp"
#include "datatypes/datatype.hpp"
#include "datatypes/email.hpp"
#include "datatypes/error.hpp"
#include "datatypes/exits.hpp"
#include "datatypes/file.hpp"
#include "datatypes/float.hpp"
#include "datatypes/function.hpp"
#include "datatypes/handle.hpp"
#include "datatypes/hash.hpp"
#include "datatypes/image.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/issue.hpp"
#include "datatypes/logic.hpp"
#include "datatypes/map.hpp"
#include "datatypes/money.hpp"
#include "datatypes/native.hpp"
#include "datatypes/none.hpp"
#include "datatypes/object.hpp"
#include "datatypes/ownership.hpp"
#include "datatypes/pair.hpp"
#include "datatypes/paren.hpp"
#include "datatypes/path.hpp"
#include "datatypes/percent.hpp"
#include "datatypes/point.hpp"
#include "datatypes/port.hpp"
#include "datatypes/ref.hpp"
#include "datatypes/scalar_support.hpp"
#include "datatypes/series.hpp"
#include "datatypes/string.hpp"
#include "datatypes/system_object.hpp"
#include "datatypes/tag.hpp"
#include "datatypes/time.hpp"
#include "datatypes/triple.hpp"
#include "datatypes/tuple.hpp"
#include "datatypes/typeset.hpp"
#include "datatypes/unset.hpp"
#include "datatypes/url.hpp"
#include "datatypes/vector.hpp"
#include "datatypes/word.hpp"
#include "datatypes/words.hpp"
#include "eval/checksum.hpp"
#include "eval/os/deflate.hpp"
#include "eval/interp.hpp"
#include "eval/native_support.hpp"
#include "eval/natives.hpp"
#include "eval/plan.hpp"
#include "eval/routines.hpp"
#include "startup/boot.hpp"
#include "startup/environment_words.hpp"
#include "startup/system_build.hpp"

namespace vyn::runtime {

namespace {

void init_symbol_table() { symbol::init_table(); }

void init_runtime_words() {
    words::init_runtime_words();
    words::init_runtime_refinements();
    words::init_runtime_issue();
}

// Collections start once the runtime's own globals exist, before the environment's code runs.
void start_collector() {
    collector::init();
    collector::set_enabled(true);
}

const InitStep steps[] = {
    {"hooks", hooks::init},
    {"os", os::init},
    {"random", random::init},
    {"memory", memory::init},
    {"externals", externals::init},
    // One step per datatype, named by the type it registers (a family by its first member), so a
    // test can start the few it needs. Parents register before their children: a child copies
    // the parent's handlers at once.
    {"type-registry", datatype::init},
    {"datatype!", datatype_init},
    {"unset!", unset_init},
    {"none!", none_init},
    {"logic!", logic_init},
    {"series!", series_init},
    {"block!", block_init},
    {"paren!", paren_init},
    {"path!", path_init},
    {"string!", string_init},
    {"integer!", integer_init},
    {"word!", word_init},
    {"native!", native_init},
    {"action!", action_init},
    {"op!", op_init},
    {"function!", function_init},
    {"routine!", routine_init},
    {"issue!", issue_init},
    {"object!", object_init},
    {"float!", float_init},
    {"typeset!", typeset_init},
    {"error!", error_init},
    {"vector!", vector_init},
    {"percent!", percent_init},
    {"char!", char_init},
    {"url!", url_init},
    {"file!", file_init},
    {"binary!", binary_init},
    {"bitset!", bitset_init},
    {"pair!", pair_init},
    {"tuple!", tuple_init},
    {"point2D!", point2d_init},
    {"point3D!", point3d_init},
    {"map!", map_init},
    {"hash!", hash_init},
    {"time!", time_init},
    {"money!", money_init},
    {"handle!", handle_init},
    {"port!", port_init},
    {"tag!", tag_init},
    {"email!", email_init},
    {"ref!", ref_init},
    {"date!", date_init},
    {"triple!", triple_init},
    {"image!", image_init},
    {"stack", stack::init},
    {"symbols", init_symbol_table},
    {"global-context", context::init_global},
    {"runtime-words", init_runtime_words},
    {"value-slots", value_slots::init},
    {"ownership", ownership::init},
    {"system-object", system_object::init},
    {"natives", natives::init},
    {"routines", routines::init},
    {"checksum", checksum::init},
    {"compression", deflate::init},
    {"interpreter", interp::init},
    {"globals", boot::init_globals},
    {"collector", start_collector},
    {"environment", boot::load_environment},
    {"environment-words", boot::keep_environment_words},
};

// The node ids and cells the collector reads as fixed roots, and those held for later use.
void forget_roots() {
    natives::init_print_buffer();
    interp::current_code = none_cell();
    *block::holder() = unset_cell();
    system_object::shutdown();
    value_slots::shutdown();
    context::shutdown();
    symbol::shutdown();
    if (stack::bottom) stack::reset_all();
}

}  // namespace

const InitStep* init_steps(int* count) {
    *count = int(sizeof steps / sizeof steps[0]);
    return steps;
}

void init() {
    record.collector_enabled = false;  // no collection until the environment stands
    for (const InitStep& step : steps) step.run();
}

void init_before(std::string_view name) {
    for (const InitStep& step : steps) {
        if (name == step.name) break;
        step.run();
    }
}

bool start_steps(std::span<const std::string_view> names) {
    shutdown();
    size_t started = 0;
    for (const InitStep& step : steps) {
        if (std::find(names.begin(), names.end(), step.name) == names.end()) continue;
        step.run();
        ++started;
    }
    return started == names.size();
}

bool start_steps(std::initializer_list<std::string_view> names) { return start_steps(std::span(names.begin(), names.size())); }

// Registrations go first, so nothing can collect or raise through a module being forgotten.
void shutdown() {
    collector::shutdown();
    eval_hooks::uninstall();
    ownership::shutdown();
    set_error_raiser(nullptr);
    exits::set_uncaught_reporter(nullptr);
    hooks::init();
    word::set_text_loader(nullptr);
    scalar::set_value_reader(nullptr);
    hashtable::set_map_key_preparer(nullptr);
    context::set_change_notifier(nullptr);
    plan::shutdown();
    forget_roots();
    datatype::init();
    memory::free_all();
}

}  // namespace vyn::runtime

namespace vyn::sys {
namespace {

#if defined(__SANITIZE_ADDRESS__)
// AddressSanitizer stops cleaning the stack after a throw from deeper than 64 MB, and then
// reports the frames the throw left behind: its build keeps the stack below that.
constexpr size_t RUNTIME_STACK_SIZE = size_t(48) << 20;
#else
constexpr size_t RUNTIME_STACK_SIZE = size_t(1) << 30;
#endif
constexpr size_t RUNTIME_GUARD_SIZE = 64 * 1024;

void mark_guard_zone() {
    uintptr_t base = runtime::stack_low_of_current_thread();
    if (base) set_stack_guard_zone(base - RUNTIME_GUARD_SIZE, base + 4096);
}

// What the runtime thread runs once the runtime is up: the console session.
void (*session)() = nullptr;

void* runtime_thread(void*) {
    install_alternate_stack();
    mark_guard_zone();
    runtime::set_stack_bounds_of_current_thread();
    try {
        runtime::init();
        session();
    } catch (const Unwind& exit) {
        if (exit.code != EXIT_QUIT) runtime_error(FATAL_NO_CATCH, 0);
    } catch (const std::bad_alloc&) {
        runtime_error(FATAL_OUT_OF_MEMORY, 0);
    }
    runtime_error(FATAL_NONE, 0);
}

}  // namespace

int run_entry(int argc, char** argv, void (*run_session)()) {
    session = run_session;
    install_signal_handlers();
    for (int i = 0; i < argc; ++i) runtime::record.args.emplace_back(argv[i]);

    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setstacksize(&attr, RUNTIME_STACK_SIZE);
    pthread_attr_setguardsize(&attr, RUNTIME_GUARD_SIZE);
    pthread_t thread;
    if (pthread_create(&thread, &attr, runtime_thread, nullptr) != 0) {
        runtime_error(FATAL_OUT_OF_MEMORY, 0);
    }
    pthread_attr_destroy(&attr);
    pthread_join(thread, nullptr);
    return 0;
}

}  // namespace vyn::sys
