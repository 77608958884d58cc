// The display routines shared by every diagnostic dump: set-type texts, named
// values and the vector printers. They are the only place that formats those shapes.
#ifndef FSRANK_CORE_DISPLAY_H
#define FSRANK_CORE_DISPLAY_H

#include <ostream>
#include <string>
#include <vector>

// "All categorical", "All continuous", "Mixed" or "Unrecognized", then a newline.
void DisplaySetType(std::ostream& os, int setType);
// name, " = ", then the value or "<missing>", then a newline.
void DisplayNamedValue(std::ostream& os, const std::string& name, double value);
// A header with the element count, then the elements ten to a line.
void DisplayVector(std::ostream& os, const std::string& name, const std::vector<double>& values);
void DisplayVector(std::ostream& os, const std::string& name, const std::vector<int>& values);
void DisplayVector(std::ostream& os, const std::string& name, const std::vector<bool>& values);

#endif  // FSRANK_CORE_DISPLAY_H
