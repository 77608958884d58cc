// Enumerations shared by the settings, the engine and the results. Their numeric values are
// stored in the state files.
#ifndef FSRANK_ENUMS_H
#define FSRANK_ENUMS_H

namespace NQFSCommon {

// The ranking criteria; also the index of every per-criterion array.
enum RankCriteria { Pearson = 0, Likelihood = 1, Cramer = 2, Lambda = 3, FStat = 4, TStat = 5 };
constexpr int kNumCriteria = 6;

// The kind of a predictor set. A settings object without predictors holds 3 (unrecognised).
enum PredictorSetType { AllCategorical = 0, AllContinuous = 1, Mixed = 2 };
constexpr int kSetTypeUnrecognized = 3;

// How a case weight becomes a frequency.
enum WeightToFreq { WeightAsIs = 0, WeightRound = 1, WeightTruncate = 2 };

}  // namespace NQFSCommon

#endif  // FSRANK_ENUMS_H
