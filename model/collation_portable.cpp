// The collator where ICU is absent (the Windows build): the pinyin table.
#include "model/collation.h"
#include "model/collation_table.h"

namespace lczs::memory {

std::unique_ptr<Collator> make_pinyin_collator() { return make_table_collator(); }

}  // namespace lczs::memory
