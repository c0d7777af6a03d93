// The stack is a fixed array: walks nest at most 999 deep, and a node id never changes while a
// buffer moves, so entries need no rewriting after a collection.
#include "core/cycles.hpp"

#include "core/raise.hpp"

namespace vyn::cycles {
namespace {

NodeId entries[LIMIT];
int top = 0;

}  // namespace

void push(NodeId node) {
    if (top == LIMIT - 1) {
        reset();
        fire(err::too_deep);
    }
    entries[top++] = node;
}

void pop() {
    if (top > 0) --top;
}

void drop(int count) {
    if (count <= 0) return;
    top = count < top ? top - count : 0;
}

void reset() { top = 0; }

bool find(NodeId node) {
    for (int i = 0; i < top; ++i)
        if (entries[i] == node) return true;
    return false;
}

int depth() { return top; }

NodeId node_of(const Cell& value) { return value.is(TYPE_OBJECT) ? value.s1 : value.s2; }

const char* marker_for(TypeId type, bool mold) {
    if (!mold) return "...";
    switch (type) {
    case TYPE_BLOCK:
    case TYPE_HASH:
        return "[...]";
    case TYPE_PAREN:
        return "(...)";
    case TYPE_MAP:
        return "#[...]";
    case TYPE_OBJECT:
        return "make object! [...]";
    default:
        return "...";
    }
}

const char* detect(const Cell& value, bool mold) {
    return find(node_of(value)) ? marker_for(value.type(), mold) : nullptr;
}

}  // namespace vyn::cycles
