#include "core/display.h"

#include <iomanip>

#include "fsrank/missing.h"

namespace {

// The shape shared by the three vector printers; printElement writes one element.
template <typename Vector, typename PrintElement>
void PrintVector(std::ostream& os, const std::string& name, const Vector& values,
                 PrintElement printElement) {
  if (values.empty()) {
    os << name << ": <empty>\n";
    return;
  }
  os << name << " (" << values.size() << " element" << (values.size() > 1 ? "s): \n" : "): \n");
  for (size_t i = 0; i < values.size(); ++i) {
    if (i > 0 && i % 10 == 0) os << '\n';
    printElement(values[i]);
  }
  os << '\n';
}

}  // namespace

void DisplaySetType(std::ostream& os, int setType) {
  static const char* const kTexts[] = {"All categorical", "All continuous", "Mixed"};
  os << (setType >= 0 && setType <= 2 ? kTexts[setType] : "Unrecognized") << '\n';
}

void DisplayNamedValue(std::ostream& os, const std::string& name, double value) {
  os << name << " = ";
  if (NQMV::IsMissing(value)) {
    os << "<missing>";
  } else {
    os << value;
  }
  os << '\n';
}

void DisplayVector(std::ostream& os, const std::string& name, const std::vector<double>& values) {
  const std::streamsize previous = os.precision(7);
  PrintVector(os, name, values, [&os](double v) {
    if (NQMV::IsMissing(v)) {
      os << "<missing> ";
    } else {
      os << std::setw(11) << v << ' ';
    }
  });
  os.precision(previous);
}

void DisplayVector(std::ostream& os, const std::string& name, const std::vector<int>& values) {
  PrintVector(os, name, values, [&os](int v) { os << std::setw(11) << v << ' '; });
}

void DisplayVector(std::ostream& os, const std::string& name, const std::vector<bool>& values) {
  PrintVector(os, name, values,
              [&os](bool v) { os << std::setw(6) << (v ? "true" : "false") << ' '; });
}
