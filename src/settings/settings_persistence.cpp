// The saved forms of the settings: the "FSSet" binary chunk and the "FSSettings" XML object,
// one field list for both forms and both directions.
#include <fstream>
#include <istream>
#include <ostream>
#include <type_traits>
#include <vector>

#include "fsrank/enums.h"
#include "fsrank/settings.h"
#include "persist/binary_fields.h"
#include "persist/state_fields.h"

using NQFeatureXML::FSXMLFieldReader;
using NQFeatureXML::FSXMLFieldWriter;

namespace {

constexpr char kTag[] = "FSSet";
constexpr char kName[] = "FSSettings";
constexpr int kLevel = 1;

// One flag of a vector<bool>, which hands out proxies rather than references.
template <class IO>
void FlagAt(IO& io, const std::vector<bool>& flags, std::size_t i) {
  io.Field(static_cast<bool>(flags[i]));
}
template <class IO>
void FlagAt(IO& io, std::vector<bool>& flags, std::size_t i) {
  bool flag = false;
  io.Field(flag);
  flags[i] = flag;
}

}  // namespace

// Friend of FSSettings: the field list shared by the four directions. Self is
// const FSSettings for the writers and FSSettings for the readers.
struct FSSettingsFields {
  template <class IO, class Self>
  static void Fields(IO& io, Self& s) {
    io.Tag(kTag);
    // The predictor count and the types form one counted sequence; the reader takes the count
    // from the types it read.
    io.Vector(s.fvPredictorTypes);
    if constexpr (IO::kReads) s.fnPredictors = static_cast<int>(s.fvPredictorTypes.size());
    // Stored, not recomputed from the types.
    io.Field(s.fnCatPredictors);
    io.Field(s.feSetType);
    io.Field(s.fbCatTarget);
    // Always six flags, without a count.
    if constexpr (IO::kReads) s.fvCriteria.assign(NQFSCommon::kNumCriteria, false);
    for (std::size_t c = 0; c < static_cast<std::size_t>(NQFSCommon::kNumCriteria); ++c)
      FlagAt(io, s.fvCriteria, c);
    io.Field(s.fnSkipRecords);
    io.Field(s.fnSkipPredictors);
    io.Field(s.fbTrInput);
    io.Field(s.fnTargetPosition);
    io.Field(s.fnCaseIDPosition);
    io.Field(s.fnWeightPosition);
    io.Field(s.feWeightConv);
    io.Field(s.fdMaxMiss);
    io.Field(s.fbDeleteManyMiss);
    io.Field(s.fdMaxSingle);
    io.Field(s.fbDeleteManySingle);
    io.Field(s.fdMaxNCat);
    io.Field(s.fbDeleteManyCategories);
    io.Field(s.fdMinVariation);
    io.Field(s.fbDeleteSmallVariation);
    io.Field(s.fdMinStddev);
    io.Field(s.fbDeleteSmallStddev);
    io.End();
  }
};

int FSSettings::WriteObject(std::ostream& stream) const {
  FSBinaryFieldWriter io(stream);
  FSSettingsFields::Fields(io, *this);
  return io.Bytes();
}

// The readers fill a copy and take it only when the whole object was read, so that a failed
// read cannot leave the predictor count out of step with the types.
int FSSettings::ReadObject(std::istream& stream) {
  FSBinaryFieldReader io(stream, kName);
  FSSettings read(*this);
  FSSettingsFields::Fields(io, read);
  *this = read;
  return io.Bytes();
}

int FSSettings::WriteObjectXML(std::ostream& stream) const {
  FSXMLFieldWriter io(stream, kName, kLevel);
  FSSettingsFields::Fields(io, *this);
  return io.Count();
}

int FSSettings::ReadObjectXML(std::ifstream& stream) {
  FSXMLFieldReader io(stream, kName);
  FSSettings read(*this);
  FSSettingsFields::Fields(io, read);
  *this = read;
  return io.Count();
}
