// The cycle-detection stack: the series and object contexts that recursive walks (mold, copy,
// bind, compare) are currently inside. A walk asks `find` before descending into a node and keeps
// the node pushed while it walks the contents. At most 999 entries are held: the push that would
// make 1000 empties the stack and raises too-deep, so the next walk starts clean.
#pragma once

#include "core/cell.hpp"

namespace vyn::cycles {

constexpr int LIMIT = 1000;  // one more than the entries held

void push(NodeId node);  // raises too-deep as above
void pop();              // nothing when empty
void drop(int count);    // at most the entries held
void reset();
bool find(NodeId node);
int depth();

// The node a walk keeps for a value: the context node (slot 1) of an object!, else slot 2.
NodeId node_of(const Cell& value);
// What mold or form prints in place of a value it is already inside.
const char* marker_for(TypeId type, bool mold);
// The marker when the value's node is on the stack, else nullptr.
const char* detect(const Cell& value, bool mold);

// Pushes a node for the lifetime of a walk. Leaving the scope, normally or by an error, drops
// every entry pushed since, and nothing when too-deep has emptied the stack meanwhile.
class Entry {
public:
    explicit Entry(NodeId node) : depth_(depth()) { push(node); }
    ~Entry() { drop(depth() - depth_); }
    Entry(const Entry&) = delete;
    Entry& operator=(const Entry&) = delete;

private:
    int depth_;
};

}  // namespace vyn::cycles
