// The lexer's loader of money literals: an optional sign, an optional
// three-letter currency code, "$", digits with apostrophes between them and
// up to five decimals after "." or ",".
#include "io/load_money.h"

#include "datatypes/money.h"
#include "io/number_scan.h"

namespace zel {
namespace lexer {

void load_money(State* s, uint32_t start, uint32_t end, uint32_t, bool load) {
    MoneyText m;
    Cell value;
    if (!split_money(input_bytes(s), start, end - start, 1, true, &m) || m.fraction_count > uint32_t(money::DECIMALS) ||
        !money::from_text(&value, m))
        invalid(s, T_MONEY);
    s->type = T_MONEY;
    if (load) put(alloc_cell(s), value);
}

}  // namespace lexer
}  // namespace zel
