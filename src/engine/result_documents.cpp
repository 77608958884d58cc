// The result documents. Both are engine operations: they read the engine's lists, ranks and
// accumulators directly, and build the documents from the engine-free parts in persist/.
#include <cstddef>
#include <memory>

#include "accum/accumulator.h"
#include "engine/predictor_set.h"
#include "fsrank/missing.h"
#include "persist/document_parts.h"

using NQFeature::NQStatus;
using NQFeatureXML::AddValueOrMissing;
using NQFeatureXML::XMLDocType;
using NQFeatureXML::XMLElement;
using NQFSCommon::RankCriteria;

namespace {

constexpr char kVersion[] = "1.0";

// The word of a predictor set type; null for an unrecognised type, which gets no attribute.
const char* SetTypeWord(int setType) {
  switch (setType) {
    case NQFSCommon::AllCategorical:
      return "categorical";
    case NQFSCommon::AllContinuous:
      return "continuous";
    case NQFSCommon::Mixed:
      return "mixed";
    default:
      return nullptr;
  }
}

const char* TypeWord(bool categorical) {
  return categorical ? "categorical" : "continuous";
}

void AddSetType(XMLElement& root, int setType) {
  if (const char* word = SetTypeWord(setType)) root.AddAttribute("predictorSetType", word);
}

// Only a mixed set says of each predictor which kind it is.
void AddPredictorType(XMLElement& element, const FSSettings& settings, int setType, int index) {
  if (setType == NQFSCommon::Mixed) {
    element.AddAttribute("predictorType", TypeWord(settings.IsCatPredictor(index)));
  }
}

// Transactions carry their target in every record, so there is no target column to name.
void AddTarget(XMLElement& root, const FSSettings& settings) {
  if (settings.GetFlagTrInput()) return;
  auto target = new XMLElement("Target");
  target->AddAttribute("targetIndex", static_cast<double>(settings.GetTargetPosition()));
  root.AddChild(target);
}

// Entry i of a per-predictor vector, or fallback when the vector does not reach it (the
// criterion was switched on only after the engine sized its vectors).
template <typename T>
T EntryOr(const std::vector<T>& v, int i, T fallback) {
  return i >= 0 && static_cast<std::size_t>(i) < v.size() ? v[static_cast<std::size_t>(i)]
                                                          : fallback;
}

NQStatus WriteAndDelete(std::ostream& stream, std::unique_ptr<XMLDocType> docType,
                        std::unique_ptr<XMLElement> root) {
  NQFeatureXML::WriteXMLDocument(stream, docType.get(), root.get(), true);
  return NQStatus();
}

}  // namespace

NQStatus FSPredictorSet::ExportOne(std::ostream& stream, RankCriteria c, int n) const {
  if (Cancelled()) return NQStatus(NQFeature::StatusCancelled, false);
  if (feStatus != EngineRanked || fpSettings == nullptr) {
    return NQStatus(NQFeature::StatusNotRanked, false);
  }
  auto docType = std::make_unique<XMLDocType>("FSOutputOne", "fsoutputonecrit.dtd");
  auto root = std::make_unique<XMLElement>("FSOutputOne");
  root->AddAttribute("version", kVersion);
  AddSetType(*root, feSetType);

  // Without a partial sort every record has a rank, so a request for at least as many as there
  // are predictors is a request for all of them; after one, only the sorted best are ranked.
  int limit = fnBestSorted;
  if (fnBestSorted == 0 && (n == 0 || n >= fnPredictors)) {
    root->AddAttribute("predictorChoiceType", "all");
  } else {
    if (n > 0 && (fnBestSorted == 0 || n < fnBestSorted)) limit = n;
    root->AddAttribute("predictorChoiceType", "numberOfBest");
    root->AddAttribute("numberOfBest", static_cast<double>(limit));
  }

  root->AddChild(NQFeatureXML::NewHeaderBlock());

  auto criterion = new XMLElement("Criterion");
  criterion->AddAttribute("name",
                          c == NQFSCommon::Cramer ? "Cramer V" : NQFeatureXML::CriterionTagName(c));
  root->AddChild(criterion);

  AddTarget(*root, *fpSettings);

  // A mixed set ranks the t tests of its continuous predictors together with the F tests of
  // its categorical ones, in the FStat list.
  const std::vector<FSPredSort*>& list =
      c == NQFSCommon::TStat && feSetType == NQFSCommon::Mixed ? fvpSortFStat : GetSortList(c);
  int count = 0;
  for (std::size_t i = 0; i < list.size(); ++i) {
    if (limit != 0 && i >= static_cast<std::size_t>(limit)) break;
    const FSPredSort& record = *list[i];
    auto predictor = new XMLElement("Predictor");
    predictor->AddAttribute("predictorIndex", static_cast<double>(record.fnIndex));
    AddPredictorType(*predictor, *fpSettings, feSetType, record.fnIndex);
    AddValueOrMissing(*predictor, "criterionValue", record.fdValue);
    predictor->AddAttribute("rankOrder", static_cast<double>(i));
    root->AddChild(predictor);
    ++count;
  }
  root->AddAttribute("numberOfPredictors", static_cast<double>(count));
  return WriteAndDelete(stream, std::move(docType), std::move(root));
}

NQStatus FSPredictorSet::ExportAll(std::ostream& stream) const {
  if (Cancelled()) return NQStatus(NQFeature::StatusCancelled, false);
  if (feStatus < EngineChecked || fpSettings == nullptr) {
    return NQStatus(NQFeature::StatusNotRanked, false);
  }
  auto docType = std::make_unique<XMLDocType>("FSOutputAll", "fsoutputallcrit.dtd");
  auto root = std::make_unique<XMLElement>("FSOutputAll");
  const bool catTarget = fpSettings->IsCatTarget();
  root->AddAttribute("version", kVersion);
  root->AddAttribute("targetType", TypeWord(catTarget));
  AddSetType(*root, feSetType);

  root->AddChild(NQFeatureXML::NewHeaderBlock());
  AppendExcludedPredictors(*root);

  auto criteria = new XMLElement("CriteriaList");
  root->AddChild(criteria);
  int nCriteria = 0;
  for (int c = 0; c < NQFSCommon::kNumCriteria; ++c) {
    if (!CriterionOn(c)) continue;
    auto criterion = new XMLElement("Criterion");
    criterion->AddAttribute("name", NQFeatureXML::CriterionTagName(c));
    criteria->AddChild(criterion);
    ++nCriteria;
  }
  criteria->AddAttribute("numberOfCriteria", static_cast<double>(nCriteria));

  AddTarget(*root, *fpSettings);

  int count = 0;
  if (feStatus == EngineRanked) {
    std::size_t nextDeleted = 0;
    for (int i = 0; i < fnPredictors; ++i) {
      if (nextDeleted < fvIndicesDel.size() && fvIndicesDel[nextDeleted] == i) {
        ++nextDeleted;
        continue;
      }
      const bool catPredictor = fpSettings->IsCatPredictor(i);
      auto predictor = new XMLElement("Predictor");
      root->AddChild(predictor);
      ++count;
      predictor->AddAttribute("predictorIndex", static_cast<double>(i));
      AddPredictorType(*predictor, *fpSettings, feSetType, i);
      if (catTarget && catPredictor) {
        for (RankCriteria c : {NQFSCommon::Pearson, NQFSCommon::Likelihood, NQFSCommon::Cramer,
                               NQFSCommon::Lambda}) {
          AppendCriterionAndRank(*predictor, i, c);
        }
      } else if (catTarget) {
        AppendCriterionAndRank(*predictor, i, NQFSCommon::FStat);
        // In a mixed set the chi-square lists rank a continuous predictor by its F test too;
        // these short entries show where it stands there.
        for (RankCriteria c : {NQFSCommon::Pearson, NQFSCommon::Likelihood}) {
          const int rank = EntryOr(fvRanks[c], i, -1);
          if (!CriterionOn(c) || rank == -1) continue;
          auto entry = new XMLElement("CriterionAndRank");
          entry->AddAttribute("criterionName", NQFeatureXML::CriterionTagName(c));
          AddValueOrMissing(*entry, "criterionValue", EntryOr(fvValues[c], i, NQMV::Missing()));
          entry->AddAttribute("rankOrder", static_cast<double>(rank));
          predictor->AddChild(entry);
        }
      } else if (catPredictor) {
        AppendCriterionAndRank(*predictor, i, NQFSCommon::FStat);
      } else {
        AppendCriterionAndRank(*predictor, i, NQFSCommon::TStat);
      }
    }
  }
  root->AddAttribute("numberOfPredictors", static_cast<double>(count));
  return WriteAndDelete(stream, std::move(docType), std::move(root));
}

bool FSPredictorSet::AppendCriterionAndRank(XMLElement& parent, int i, RankCriteria c) const {
  if (!CriterionOn(c)) return false;
  auto entry = std::make_unique<XMLElement>("CriterionAndRank");
  entry->AddAttribute("criterionName", NQFeatureXML::CriterionTagName(c));
  double value, s1, s2, s3;
  GetPredictorStats(c, i, value, s1, s2, s3);
  AddValueOrMissing(*entry, "criterionValue", value);
  switch (c) {
    case NQFSCommon::Pearson:
    case NQFSCommon::Likelihood:
      AddValueOrMissing(*entry, "statisticValue", s1);
      AddValueOrMissing(*entry, "df", s2);
      break;
    case NQFSCommon::FStat:
      AddValueOrMissing(*entry, "statisticValue", s1);
      AddValueOrMissing(*entry, "df", s2);
      AddValueOrMissing(*entry, "df2", s3);
      break;
    case NQFSCommon::TStat:
      AddValueOrMissing(*entry, "corrCoeff", s1);
      AddValueOrMissing(*entry, "statisticValue", s2);
      AddValueOrMissing(*entry, "df", s3);
      break;
    default:
      break;
  }
  // GetRanks answers TStat with the FStat ranks where the engine ranks the two together.
  const int rank = EntryOr(GetRanks(c), i, -1);
  if (rank != -1) entry->AddAttribute("rankOrder", static_cast<double>(rank));
  parent.AddChild(entry.release());
  return true;
}

void FSPredictorSet::AppendExcludedPredictors(XMLElement& parent) const {
  auto excluded = new XMLElement("ExcludedPredictors");
  parent.AddChild(excluded);
  excluded->AddAttribute("numberOfPredictors", static_cast<double>(fvIndicesDel.size()));

  auto screening = new XMLElement("ScreeningCriteria");
  excluded->AddChild(screening);
  int nCriteria = 0;
  auto add = [&](const char* name, bool withValue, double value) {
    auto criterion = new XMLElement("ScreenCriterion");
    criterion->AddAttribute("name", name);
    if (withValue) criterion->AddAttribute("value", value);
    screening->AddChild(criterion);
    ++nCriteria;
  };
  const FSSettings& s = *fpSettings;
  add("allMissing", false, 0.0);
  add("allConst", false, 0.0);
  if (s.GetFlagDeleteIfManyMiss()) add("manyMissing", true, s.GetMaxPctMiss());
  if (s.GetFlagDeleteIfManySingle()) add("manyConst", true, s.GetMaxPctSingle());
  if (s.GetFlagDeleteIfManyCategories()) add("manyCategs", true, s.GetMaxNCatAsPct());
  if (s.GetFlagDeleteIfSmallVariation()) add("smallVar", true, s.GetMinVariation());
  // A zero minimum deletes nothing, so it is not listed as a rule.
  if (s.GetFlagDeleteIfSmallStddev() && s.GetMinStddev() > 0.0) {
    add("smallStdDev", true, s.GetMinStddev());
  }
  screening->AddAttribute("numberOfCriteria", static_cast<double>(nCriteria));

  for (std::size_t k = 0; k < fvIndicesDel.size(); ++k) {
    const int index = fvIndicesDel[k];
    auto predictor = new XMLElement("ExclPredictor");
    predictor->AddAttribute("predictorIndex", static_cast<double>(index));
    AddPredictorType(*predictor, *fpSettings, feSetType, index);
    predictor->AddAttribute("screenCriterion",
                            DeletionReasonName(EntryOr(fvReasonsDel, static_cast<int>(k), 0)));
    excluded->AddChild(predictor);
  }
}
