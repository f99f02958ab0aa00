// The collator on Linux: ICU's "zh" collation (pinyin order) at secondary
// strength, so that case and width do not count and "abc" equals "ABC".
#include <unicode/coll.h>
#include <unicode/locid.h>
#include <unicode/unistr.h>

#include <stdexcept>
#include <vector>

#include "model/collation.h"

namespace lczs::memory {
namespace {

class IcuCollator : public Collator {
 public:
  IcuCollator() {
    UErrorCode status = U_ZERO_ERROR;
    coll_.reset(icu::Collator::createInstance(icu::Locale("zh"), status));
    if (U_FAILURE(status) || !coll_) throw std::runtime_error("ICU zh collator unavailable");
    coll_->setStrength(icu::Collator::SECONDARY);
  }

  int compare(std::string_view a, std::string_view b) const override {
    UErrorCode status = U_ZERO_ERROR;
    UCollationResult r = coll_->compareUTF8(icu::StringPiece(a.data(), static_cast<int32_t>(a.size())),
                                           icu::StringPiece(b.data(), static_cast<int32_t>(b.size())),
                                           status);
    if (U_FAILURE(status)) return a.compare(b) < 0 ? -1 : (a == b ? 0 : 1);
    return r == UCOL_LESS ? -1 : (r == UCOL_EQUAL ? 0 : 1);
  }

  std::string sort_key(std::string_view text) const override {
    icu::UnicodeString u =
        icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
    std::string key(64, '\0');
    int32_t n = coll_->getSortKey(u, reinterpret_cast<uint8_t*>(key.data()),
                                  static_cast<int32_t>(key.size()));
    if (n > static_cast<int32_t>(key.size())) {
      key.assign(static_cast<std::size_t>(n), '\0');
      n = coll_->getSortKey(u, reinterpret_cast<uint8_t*>(key.data()), n);
    }
    // The key ends with a zero byte; binary order is the same without it.
    key.resize(n > 0 ? static_cast<std::size_t>(n - 1) : 0);
    return key;
  }

 private:
  std::unique_ptr<icu::Collator> coll_;
};

}  // namespace

std::unique_ptr<Collator> make_pinyin_collator() { return std::make_unique<IcuCollator>(); }

}  // namespace lczs::memory
