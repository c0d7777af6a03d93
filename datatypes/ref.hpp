// ref!: a string! written "@" followed by a name, the "@" not stored. It molds with its "@", forms
// as its name and, besides what tag! refuses, takes neither path access, append nor put.
#pragma once

namespace vyn {

// Registers ref! (parent string!); string! must be registered first.
void ref_init();

}  // namespace vyn
