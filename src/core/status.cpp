#include "fsrank/status.h"

namespace NQFeature {

NQStatus::NQStatus() : fnCode(0), fnSeverity(0), fnDiscrete{0, 0, 0}, fdScale{0.0, 0.0, 0.0} {}

NQStatus::NQStatus(long code, bool isWarning)
    : fnCode(static_cast<std::int32_t>(code)),
      fnSeverity(static_cast<std::int16_t>(isWarning ? 1 : -1)),
      fnDiscrete{0, 0, 0},
      fdScale{0.0, 0.0, 0.0} {}

bool NQStatus::operator==(const NQStatus& other) const {
  if (fnCode != other.fnCode || fnSeverity != other.fnSeverity) return false;
  for (int i = 0; i < 3; ++i) {
    if (fnDiscrete[i] != other.fnDiscrete[i]) return false;
  }
  for (int i = 0; i < 3; ++i) {
    if (fdScale[i] != other.fdScale[i]) return false;
  }
  return true;
}

}  // namespace NQFeature
