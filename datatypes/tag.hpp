// tag!: a string! written between "<" and ">", the brackets not stored. It molds and forms with
// its brackets and offers only the text actions of string!.
#pragma once

namespace vyn {

// Registers tag! (parent string!); string! must be registered first.
void tag_init();

}  // namespace vyn
