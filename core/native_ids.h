// The native ids: every native's index in the native table and its word, in
// one list. The evaluator and the support routines name natives by these ids;
// each native module's definition table is checked against the list at
// compile time (natives::matches_ids).
#pragma once
#include <cstdint>

namespace zel {

#define ZEL_NATIVES(X) \
    X(if, "if", 1) X(unless, "unless", 2) X(either, "either", 3) X(any, "any", 4) X(all, "all", 5)               \
    X(while, "while", 6) X(until, "until", 7) X(loop, "loop", 8) X(repeat, "repeat", 9)                          \
    X(forever, "forever", 10) X(foreach, "foreach", 11) X(forall, "forall", 12)                                  \
    X(remove_each, "remove-each", 13) X(func, "func", 14) X(function, "function", 15) X(does, "does", 16)        \
    X(has, "has", 17) X(switch, "switch", 18) X(case, "case", 19) X(do, "do", 20) X(get, "get", 21)              \
    X(set, "set", 22) X(print, "print", 23) X(prin, "prin", 24) X(is_equal, "equal?", 25)                        \
    X(is_not_equal, "not-equal?", 26) X(is_strict_equal, "strict-equal?", 27) X(is_lesser, "lesser?", 28)        \
    X(is_greater, "greater?", 29) X(is_lesser_or_equal, "lesser-or-equal?", 30)                                  \
    X(is_greater_or_equal, "greater-or-equal?", 31) X(is_same, "same?", 32) X(not_, "not", 33)                    \
    X(is_type, "type?", 34) X(reduce, "reduce", 35) X(compose, "compose", 36) X(stats, "stats", 37)              \
    X(bind, "bind", 38) X(in, "in", 39) X(parse, "parse", 40) X(union, "union", 41)                              \
    X(intersect, "intersect", 42) X(unique, "unique", 43) X(difference, "difference", 44)                        \
    X(exclude, "exclude", 45) X(is_complement, "complement?", 46) X(dehex, "dehex", 47) X(enhex, "enhex", 48)    \
    X(is_negative, "negative?", 49) X(is_positive, "positive?", 50) X(max, "max", 51) X(min, "min", 52)          \
    X(shift, "shift", 53) X(to_hex, "to-hex", 54) X(sine, "sine", 55) X(cosine, "cosine", 56)                    \
    X(tangent, "tangent", 57) X(arcsine, "arcsine", 58) X(arccosine, "arccosine", 59)                            \
    X(arctangent, "arctangent", 60) X(arctangent2, "arctangent2", 61) X(is_NaN, "NaN?", 62)                      \
    X(log_2, "log-2", 63) X(log_10, "log-10", 64) X(log_e, "log-e", 65) X(exp, "exp", 66)                        \
    X(square_root, "square-root", 67) X(construct, "construct", 68) X(is_value, "value?", 69)                    \
    X(try, "try", 70) X(uppercase, "uppercase", 71) X(lowercase, "lowercase", 72) X(as_pair, "as-pair", 73)      \
    X(as_point2D, "as-point2D", 74) X(as_point3D, "as-point3D", 75) X(as_money, "as-money", 76)                  \
    X(break, "break", 77) X(continue, "continue", 78) X(exit, "exit", 79) X(return, "return", 80)                \
    X(throw, "throw", 81) X(catch, "catch", 82) X(extend, "extend", 83) X(debase, "debase", 84)                  \
    X(to_local_file, "to-local-file", 85) X(wait, "wait", 86) X(checksum, "checksum", 87)                        \
    X(unset, "unset", 88) X(new_line, "new-line", 89) X(is_new_line, "new-line?", 90) X(enbase, "enbase", 91)    \
    X(is_context, "context?", 92) X(set_env, "set-env", 93) X(get_env, "get-env", 94)                            \
    X(list_env, "list-env", 95) X(now, "now", 96) X(is_sign, "sign?", 97) X(as, "as", 98) X(call, "call", 99)    \
    X(is_zero, "zero?", 100) X(is_size, "size?", 101) X(browse, "browse", 102) X(compress, "compress", 103)      \
    X(decompress, "decompress", 104) X(recycle, "recycle", 105) X(transcode, "transcode", 106)                   \
    X(apply, "apply", 107)

enum NativeId : uint32_t {
#define ZEL_NATIVE_ID(member, word, index) NAT_##member = index,
    ZEL_NATIVES(ZEL_NATIVE_ID)
#undef ZEL_NATIVE_ID
    NATIVE_COUNT = 107,
};

// The ids run 1, 2 ... NATIVE_COUNT in list order, with no gap.
constexpr bool native_ids_in_order() {
    constexpr uint32_t ids[] = {
#define ZEL_NATIVE_INDEX(member, word, index) index,
        ZEL_NATIVES(ZEL_NATIVE_INDEX)
#undef ZEL_NATIVE_INDEX
    };
    for (uint32_t i = 0; i < sizeof ids / sizeof ids[0]; i++)
        if (ids[i] != i + 1) return false;
    return sizeof ids / sizeof ids[0] == NATIVE_COUNT;
}
static_assert(native_ids_in_order(), "native ids out of order");

// The word of each native id (index 0 unused).
inline constexpr const char* NATIVE_WORDS[NATIVE_COUNT + 1] = {
    nullptr,
#define ZEL_NATIVE_WORD(member, word, index) word,
    ZEL_NATIVES(ZEL_NATIVE_WORD)
#undef ZEL_NATIVE_WORD
};

}  // namespace zel
