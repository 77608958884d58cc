// One sort record of the ranking (a criterion value, two tie-breaking values and the predictor
// index) and the order each criterion sorts its records in.
#ifndef FSRANK_ENGINE_PRED_SORT_H
#define FSRANK_ENGINE_PRED_SORT_H

#include <iosfwd>

class FSPredSort {
 public:
  FSPredSort() : fdValue(0.0), fdTieBreak1(0.0), fdTieBreak2(0.0), fnIndex(0) {}
  FSPredSort(double value, double tieBreak1, double tieBreak2, int index)
      : fdValue(value), fdTieBreak1(tieBreak1), fdTieBreak2(tieBreak2), fnIndex(index) {}

  // Persistence (engine_persistence.cpp): the 33-byte "FSPRS" chunk and the "FSPredSort" XML
  // object at level 2 (6 elements). A reader failure writes "Error reading FSPredSort!\n" to
  // the standard error stream and throws a new NQFeature::IOException by pointer.
  int WriteObject(std::ostream& stream) const;
  int ReadObject(std::istream& stream);
  int WriteObjectXML(std::ostream& stream) const;
  int ReadObjectXML(std::ifstream& stream);
  // The three values, not the predictor index (engine_display.cpp).
  void Display(std::ostream& stream) const;

  double fdValue;
  double fdTieBreak1;
  double fdTieBreak2;
  int fnIndex;
};

// The order of one criterion (a RankCriteria value; any other value orders like Pearson):
// records with a missing value come last; otherwise the value, the first and, where the
// criterion uses it, the second tie-breaking value decide, each in the criterion's direction.
// A NaN in any compared field has no place in either direction; it is put behind every
// number so that the order stays a strict weak order and the sorts stay well defined.
class FSPredSortOrder {
 public:
  explicit FSPredSortOrder(int criterion);
  // True when a comes strictly before b.
  bool operator()(const FSPredSort* a, const FSPredSort* b) const;

 private:
  bool fbValueAscending;
  bool fbTie1Ascending;
  bool fbUseTie2;
  bool fbTie2Ascending;
};

#endif  // FSRANK_ENGINE_PRED_SORT_H
