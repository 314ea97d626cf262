// The runtime words: the symbols, words and refinements that the runtime
// itself tests against, interned once at start-up in the order of the lists
// below (the order fixes their symbol ids). Three groups: bare symbol ids,
// global words with word cells of their own (platform names and PARSE
// keywords), and global words made through word::intern.
#pragma once
#include <cstdint>

#include "kernel/cell.h"

namespace zel {
namespace words {

#define ZEL_RUNTIME_SYMBOLS(X)                                                                         \
    X(spec, "spec") X(body, "body") X(words, "words") X(class_, "class") X(logic_type, "logic!")       \
    X(integer_type, "integer!") X(char_type, "char!") X(float_type, "float!")                          \
    X(percent_type, "percent!") X(any_type, "any-type!") X(exit, "exit") X(return_, "return")          \
    X(windows, "Windows") X(syllable, "Syllable") X(macos, "macOS") X(linux, "Linux")                  \
    X(netbsd, "NetBSD") X(repeat, "repeat") X(foreach, "foreach") X(map_each, "map-each")              \
    X(remove_each, "remove-each") X(any, "any") X(break_, "break") X(copy, "copy") X(end, "end")       \
    X(fail, "fail") X(into, "into") X(opt, "opt") X(not_, "not") X(quote, "quote") X(case_, "case")    \
    X(reject, "reject") X(set, "set") X(skip, "skip") X(some, "some") X(thru, "thru") X(to, "to")      \
    X(none, "none") X(bar, "|") X(dash, "-") X(if_, "if") X(remove, "remove") X(while_, "while")       \
    X(insert, "insert") X(only, "only") X(collect, "collect") X(keep, "keep") X(pick, "pick")          \
    X(ahead, "ahead") X(after, "after") X(x, "x") X(y, "y") X(z, "z") X(self, "self")                  \
    X(values, "values") X(owner, "owner") X(owned, "owned") X(is_events, "events?") X(true_, "true")   \
    X(false_, "false") X(yes, "yes") X(no, "no") X(on, "on") X(off, "off") X(type, "type")             \
    X(face, "face") X(window, "window") X(offset, "offset") X(key, "key") X(flag, "flag")              \
    X(code, "code") X(picked, "picked") X(flags, "flags") X(is_away, "away?") X(is_ctrl, "ctrl?")      \
    X(is_shift, "shift?") X(is_down, "down?") X(is_mid_down, "mid-down?")                              \
    X(is_alt_down, "alt-down?") X(is_aux_down, "aux-down?") X(orientation, "orientation")              \
    X(get, "get") X(put, "put") X(post, "post") X(head, "head") X(size, "size") X(rgb, "rgb")          \
    X(alpha, "alpha") X(argb, "argb") X(date, "date") X(year, "year") X(month, "month") X(day, "day")  \
    X(zone, "zone") X(isoweek, "isoweek") X(week, "week") X(weekday, "weekday")                        \
    X(yearday, "yearday") X(julian, "julian") X(time, "time") X(hour, "hour") X(minute, "minute")      \
    X(second, "second") X(timezone, "timezone") X(amount, "amount") X(user, "user") X(host, "host")    \
    X(system, "system") X(system_global, "system-global") X(trace, "trace") X(no_trace, "no-trace")

#define ZEL_RUNTIME_KEYWORDS(X)                                                                        \
    X(windows, "Windows") X(syllable, "Syllable") X(macos, "macOS") X(linux, "Linux")                  \
    X(netbsd, "NetBSD") X(to, "to") X(thru, "thru") X(not_, "not") X(remove, "remove")                 \
    X(while_, "while") X(collect, "collect") X(keep, "keep") X(ahead, "ahead") X(bar, "|")             \
    X(any, "any") X(some, "some") X(copy, "copy") X(opt, "opt") X(into, "into") X(insert, "insert")    \
    X(if_, "if") X(quote, "quote") X(set, "set") X(case_, "case") X(end, "end")

#define ZEL_RUNTIME_WORDS(X)                                                                           \
    X(at, "at") X(back, "back") X(find, "find") X(head, "head") X(is_head, "head?")                    \
    X(is_index, "index?") X(is_length, "length?") X(next, "next") X(pick, "pick") X(skip, "skip")      \
    X(select, "select") X(tail, "tail") X(is_tail, "tail?") X(change, "change")                        \
    X(changed, "changed") X(clear, "clear") X(cleared, "cleared") X(set_path, "set-path")              \
    X(append, "append") X(appended, "appended") X(move, "move") X(moved, "moved") X(poke, "poke")      \
    X(poked, "poked") X(put, "put") X(put_ed, "put-ed") X(removed, "removed") X(random, "random")      \
    X(randomized, "randomized") X(reverse, "reverse") X(reversed, "reversed") X(sort, "sort")          \
    X(sorted, "sorted") X(swap, "swap") X(swaped, "swaped") X(take, "take") X(taken, "taken")          \
    X(trim, "trim") X(trimmed, "trimmed") X(inserted, "inserted") X(uppercase, "uppercase")            \
    X(lowercase, "lowercase") X(checksum, "checksum") X(push, "push") X(pop, "pop")                    \
    X(fetch, "fetch") X(match, "match") X(iterate, "iterate") X(paren, "paren")                        \
    X(tag_anon, "<anon>") X(tag_body, "<body>") X(tag_not_found, "<not-found>") X(add, "add")          \
    X(subtract, "subtract") X(divide, "divide") X(multiply, "multiply")                                \
    X(on_parse_event, "on-parse-event") X(on_change, "on-change*")                                     \
    X(on_deep_change, "on-deep-change*") X(type, "type") X(id, "id") X(try_, "try")                    \
    X(catch_, "catch") X(name, "name") X(browse, "browse") X(open, "open") X(create, "create")          \
    X(close, "close") X(delete_, "delete") X(modify, "modify") X(query, "query") X(read, "read")       \
    X(rename, "rename") X(update, "update") X(write, "write") X(prescan, "prescan") X(scan, "scan")    \
    X(load, "load") X(error, "error") X(comment, "comment") X(init, "init") X(exec, "exec")            \
    X(call, "call") X(return_, "return") X(enter, "enter") X(exit, "exit") X(prolog, "prolog")         \
    X(epilog, "epilog") X(throw_, "throw") X(expr, "expr")                                             \
    X(tag_interp_callback, "<interp-callback>") X(tag_lexer_callback, "<lexer-callback>")              \
    X(tag_parse_callback, "<parse-callback>") X(tag_compare_callback, "<compare-callback>")            \
    X(note, "note") X(syntax, "syntax") X(script, "script") X(math, "math") X(access, "access")        \
    X(user, "user") X(internal, "internal") X(invalid_error, "invalid-error") X(local, "local")        \
    X(tag_applied, "<applied>") X(eval_set_path, "eval-set-path")

#define ZEL_RUNTIME_REFINEMENTS(X) \
    X(local, "local") X(extern_, "extern") X(compare, "compare") X(part, "part") X(skip, "skip") X(with, "with")

#define ZEL_WORDS_ENUM(prefix, member, text) prefix##member,
#define ZEL_SYMBOL_ENUM(member, text) ZEL_WORDS_ENUM(S_, member, text)
#define ZEL_KEYWORD_ENUM(member, text) ZEL_WORDS_ENUM(K_, member, text)
#define ZEL_WORD_ENUM(member, text) ZEL_WORDS_ENUM(W_, member, text)
#define ZEL_REFINEMENT_ENUM(member, text) ZEL_WORDS_ENUM(R_, member, text)
enum Symbol : uint32_t { ZEL_RUNTIME_SYMBOLS(ZEL_SYMBOL_ENUM) SYMBOL_COUNT };
enum Keyword : uint32_t { ZEL_RUNTIME_KEYWORDS(ZEL_KEYWORD_ENUM) KEYWORD_COUNT };
enum Word : uint32_t { ZEL_RUNTIME_WORDS(ZEL_WORD_ENUM) WORD_COUNT };
enum Refinement : uint32_t { ZEL_RUNTIME_REFINEMENTS(ZEL_REFINEMENT_ENUM) REFINEMENT_COUNT };
#undef ZEL_SYMBOL_ENUM
#undef ZEL_KEYWORD_ENUM
#undef ZEL_WORD_ENUM
#undef ZEL_REFINEMENT_ENUM
#undef ZEL_WORDS_ENUM

// The runtime's words, filled by the init routines. The cells lie in one
// array (keywords, words, refinements, then the issue) so that the collector
// can mark them as one range: word cells are bound to the global context,
// whose node it may forward; the refinements are bound to none.
constexpr uint32_t FIRST_WORD = KEYWORD_COUNT;
constexpr uint32_t FIRST_REFINEMENT = FIRST_WORD + WORD_COUNT;
constexpr uint32_t ISSUE_OOO = FIRST_REFINEMENT + REFINEMENT_COUNT;
constexpr uint32_t CELL_COUNT = ISSUE_OOO + 1;

struct Table {
    uint32_t symbols[SYMBOL_COUNT];
    uint32_t changed_symbol;  // the symbol of `changed`, for reflect
    Cell cells[CELL_COUNT];
};
extern Table table;

inline uint32_t symbol(Symbol s) { return table.symbols[s]; }
inline const Cell* keyword(Keyword k) { return &table.cells[k]; }
inline const Cell* word(Word w) { return &table.cells[FIRST_WORD + w]; }
inline const Cell* refinement(Refinement r) { return &table.cells[FIRST_REFINEMENT + r]; }
inline const Cell* issue_ooo() { return &table.cells[ISSUE_OOO]; }

// Boot: the symbols and words, then the refinements, then the issue.
void init();
void init_refinements();
void init_issue();
// The collector's part: marks the cells of the table.
void mark();

}  // namespace words
}  // namespace zel
