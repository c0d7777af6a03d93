// Both hook lists live on the tracked heap and grow by five entries when full.
#include "core/hooks.hpp"

#include <cstring>

#include "core/tracked_heap.hpp"

namespace vyn::hooks {
namespace {

constexpr int LIST_GROWTH = 5;

template <typename Hook>
struct HookList {
    Hook* entries = nullptr;
    int count = 0;
    int capacity = 0;

    void init() {
        sys::heap_free(entries);
        entries = static_cast<Hook*>(sys::heap_alloc(LIST_GROWTH * sizeof(Hook)));
        count = 0;
        capacity = LIST_GROWTH;
    }

    void append(Hook hook) {
        if (count == capacity) {
            capacity += LIST_GROWTH;
            auto* grown = static_cast<Hook*>(sys::heap_alloc(size_t(capacity) * sizeof(Hook)));
            std::memcpy(grown, entries, size_t(count) * sizeof(Hook));
            sys::heap_free(entries);
            entries = grown;
        }
        entries[count++] = hook;
    }
};

HookList<ValueHook> value_hooks;
HookList<TextHook> text_hooks;

}  // namespace

void init() {
    value_hooks.init();
    text_hooks.init();
}

void register_hooks(ValueHook value_hook, TextHook text_hook) {
    if (value_hook) value_hooks.append(value_hook);
    if (text_hook) text_hooks.append(text_hook);
}

void run_print(const Cell* value, bool new_line) {
    for (int i = 0; i < value_hooks.count; ++i) value_hooks.entries[i](value, new_line);
}

void run_low_print(const char* text, int32_t length, bool new_line) {
    for (int i = 0; i < text_hooks.count; ++i) text_hooks.entries[i](text, length, new_line);
}

int value_hook_count() { return value_hooks.count; }
int value_hook_capacity() { return value_hooks.capacity; }
int text_hook_count() { return text_hooks.count; }

}  // namespace vyn::hooks
