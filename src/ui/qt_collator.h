#pragma once

#include <QString>

#include "ui/logic/text_collator.h"

namespace kip {

// The user's locale collation for the list's sort.
class QtCollator final : public TextCollator {
 public:
  [[nodiscard]] int compare(std::string_view a, std::string_view b) const override {
    return QString::localeAwareCompare(QString::fromUtf8(a.data(), static_cast<qsizetype>(a.size())),
                                       QString::fromUtf8(b.data(), static_cast<qsizetype>(b.size())));
  }
};

}  // namespace kip
