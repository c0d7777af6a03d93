// email!: a string! holding an address with its "@". It molds without quotes, and its paths
// /user and /host read or replace the text before and after the first "@".
#pragma once

namespace vyn {

// Registers email! (parent string!); string! must be registered first.
void email_init();

}  // namespace vyn
