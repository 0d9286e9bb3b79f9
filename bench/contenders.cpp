#include "contenders.h"

namespace bench {

std::vector<Contender> all_contenders() { return {plain_contender(), quenlex_contender()}; }

}  // namespace bench
