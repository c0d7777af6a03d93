// url!: a string! holding a URL as decoded text; it is percent-encoded only when molded (or
// enhexed). It is the parent of file!, which takes its make, to and path access.
#pragma once

namespace vyn {

// Registers url! (parent string!); string! must be registered first.
void url_init();

}  // namespace vyn
