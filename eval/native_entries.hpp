// The entries of the natives table, grouped by the file that holds them. Each has the native
// calling convention of natives.hpp; natives.cpp lists them in slot order.
#pragma once

#include <cstdint>

#define VYN_NATIVE(name) void name(int32_t check, const int32_t* refinements)

namespace vyn::natives::entry {

// natives_control.cpp: conditionals and loops.
VYN_NATIVE(if_);
VYN_NATIVE(unless);
VYN_NATIVE(either);
VYN_NATIVE(any);
VYN_NATIVE(all);
VYN_NATIVE(while_);
VYN_NATIVE(until);
VYN_NATIVE(loop);
VYN_NATIVE(repeat);
VYN_NATIVE(forever);
VYN_NATIVE(foreach);
VYN_NATIVE(forall);
VYN_NATIVE(remove_each);
VYN_NATIVE(switch_);
VYN_NATIVE(case_);

// natives_function.cpp: function makers.
VYN_NATIVE(func);
VYN_NATIVE(function);
VYN_NATIVE(does);
VYN_NATIVE(has);

// natives_eval.cpp: evaluation and binding.
VYN_NATIVE(do_);
VYN_NATIVE(get);
VYN_NATIVE(set);
VYN_NATIVE(reduce);
VYN_NATIVE(compose);
VYN_NATIVE(bind);
VYN_NATIVE(in);
VYN_NATIVE(construct);
VYN_NATIVE(value_q);
VYN_NATIVE(extend);
VYN_NATIVE(unset);
VYN_NATIVE(context_q);
VYN_NATIVE(apply);

// natives_compare.cpp: comparisons and predicates.
VYN_NATIVE(equal_q);
VYN_NATIVE(not_equal_q);
VYN_NATIVE(strict_equal_q);
VYN_NATIVE(lesser_q);
VYN_NATIVE(greater_q);
VYN_NATIVE(lesser_or_equal_q);
VYN_NATIVE(greater_or_equal_q);
VYN_NATIVE(same_q);
VYN_NATIVE(not_);
VYN_NATIVE(type_q);
VYN_NATIVE(nan_q);
VYN_NATIVE(negative_q);
VYN_NATIVE(positive_q);
VYN_NATIVE(sign_q);
VYN_NATIVE(zero_q);
VYN_NATIVE(complement_q);

// natives_sets.cpp: set operations.
VYN_NATIVE(union_);
VYN_NATIVE(intersect);
VYN_NATIVE(unique);
VYN_NATIVE(difference);
VYN_NATIVE(exclude);

// natives_exit.cpp: non-local exits.
VYN_NATIVE(break_);
VYN_NATIVE(continue_);
VYN_NATIVE(exit);
VYN_NATIVE(return_);
VYN_NATIVE(throw_);
VYN_NATIVE(catch_);
VYN_NATIVE(try_);

// natives_output.cpp: output and text.
VYN_NATIVE(print);
VYN_NATIVE(prin);
VYN_NATIVE(uppercase);
VYN_NATIVE(lowercase);
VYN_NATIVE(dehex);
VYN_NATIVE(enhex);
VYN_NATIVE(to_local_file);
VYN_NATIVE(debase);
VYN_NATIVE(enbase);
VYN_NATIVE(new_line);
VYN_NATIVE(new_line_q);

// natives_math.cpp: numbers, bits, trigonometry and the pair, point and money constructors.
VYN_NATIVE(max);
VYN_NATIVE(min);
VYN_NATIVE(shift);
VYN_NATIVE(to_hex);
VYN_NATIVE(sine);
VYN_NATIVE(cosine);
VYN_NATIVE(tangent);
VYN_NATIVE(arcsine);
VYN_NATIVE(arccosine);
VYN_NATIVE(arctangent);
VYN_NATIVE(arctangent2);
VYN_NATIVE(log_2);
VYN_NATIVE(log_10);
VYN_NATIVE(log_e);
VYN_NATIVE(exp);
VYN_NATIVE(square_root);
VYN_NATIVE(as_pair);
VYN_NATIVE(as_point2d);
VYN_NATIVE(as_point3d);
VYN_NATIVE(as_money);

// natives_checksum.cpp: checksums, digests and HMAC.
VYN_NATIVE(checksum);

// natives_compress.cpp: deflate streams with zlib and gzip framing.
VYN_NATIVE(compress);
VYN_NATIVE(decompress);

// natives_image.cpp: the image codecs of `system/codecs`.
VYN_NATIVE(encode_image);
VYN_NATIVE(decode_image);

// natives_system.cpp: the runtime's services and the lexer.
VYN_NATIVE(stats);
VYN_NATIVE(recycle);
VYN_NATIVE(transcode);

// natives_os.cpp: files, waiting, the environment, processes, series coercion.
VYN_NATIVE(size_q);
VYN_NATIVE(now);
VYN_NATIVE(wait);
VYN_NATIVE(get_env);
VYN_NATIVE(set_env);
VYN_NATIVE(list_env);
VYN_NATIVE(call);
VYN_NATIVE(browse);
VYN_NATIVE(as);

// natives_vynbin.cpp: the VYNBIN codec's routines.
VYN_NATIVE(vynbin_encode);
VYN_NATIVE(vynbin_decode);

// parse.cpp: the parse dialect.
VYN_NATIVE(parse);

}  // namespace vyn::natives::entry

#undef VYN_NATIVE
