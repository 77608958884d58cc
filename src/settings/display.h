// The display routines shared by every diagnostic dump: set-type and engine-state texts, named
// values and the vector printers. They are the only place that formats those shapes.
#ifndef FSRANK_SETTINGS_DISPLAY_H
#define FSRANK_SETTINGS_DISPLAY_H

#include <ostream>
#include <string>
#include <vector>

// "All categorical", "All continuous", "Mixed" or "Unrecognized", then a newline.
void DisplaySetType(std::ostream& os, int setType);
// The engine-state text of states 1 to 7 ("Unrecognized" otherwise), then a newline.
void DisplayEngineState(std::ostream& os, int state);
// name, " = ", then the value or "<missing>", then a newline.
void DisplayNamedValue(std::ostream& os, const std::string& name, double value);
// A header with the element count, then the elements ten to a line.
void DisplayVector(std::ostream& os, const std::string& name, const std::vector<double>& values);
void DisplayVector(std::ostream& os, const std::string& name, const std::vector<int>& values);
void DisplayVector(std::ostream& os, const std::string& name, const std::vector<bool>& values);

#endif  // FSRANK_SETTINGS_DISPLAY_H
