// A host program built outside the source tree against the installed library.
#include <fsrank/fsrank.h>

#include <iostream>

int main() {
  FSSettings settings(4, true, true);
  NQFeature::NQStatus status(NQFeature::StatusFewerPredictors, true);
  if (settings.GetNPredictors() != 4 || !status.IsWarning()) return 1;
  std::cout << "fsrank consumer ok\n";
  return 0;
}
