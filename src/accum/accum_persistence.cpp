// The saved forms of the accumulators: one field list per class for the binary chunk and the
// XML object, in both directions. Nested maps are saved by their own persistence. Fields that
// are not listed (the unweighted valid count of the categorical-predictor classes) keep the
// values of the freshly constructed object the reader runs on.
#include <fstream>
#include <ostream>

#include "accum/single_accum.h"
#include "api/binary_fields.h"
#include "xml/state_fields.h"

using NQFeatureXML::FSXMLFieldReader;
using NQFeatureXML::FSXMLFieldWriter;

namespace {

// Accumulators stand at level 2 wherever they are nested.
constexpr int kAccumLevel = 2;

}  // namespace

// The four directions of one accumulator class. xmlReadAdjust is added to the element count
// of its XML reader: the two continuous-predictor classes without a target map report one
// element fewer when reading than when writing, and callers add these counts up as they are.
#define FSRANK_ACCUM_PERSISTENCE(Class, xmlReadAdjust)    \
  int Class::WriteObject(std::fstream& stream) const {    \
    FSBinaryFieldWriter io(stream);                       \
    Fields(io, *this);                                    \
    return io.Bytes();                                    \
  }                                                       \
  int Class::ReadObject(std::fstream& stream) {           \
    FSBinaryFieldReader io(stream, #Class);               \
    Fields(io, *this);                                    \
    return io.Bytes();                                    \
  }                                                       \
  int Class::WriteObjectXML(std::ostream& stream) const { \
    FSXMLFieldWriter io(stream, #Class, kAccumLevel);     \
    Fields(io, *this);                                    \
    return io.Count();                                    \
  }                                                       \
  int Class::ReadObjectXML(std::ifstream& stream) {       \
    FSXMLFieldReader io(stream, #Class);                  \
    Fields(io, *this);                                    \
    return io.Count() + (xmlReadAdjust);                  \
  }

// ---------------------------------------------------------------------------------------------
// FSCatAccum: 29 bytes and the category map.

template <class IO, class Self>
void FSCatAccum::Fields(IO& io, Self& self) {
  io.Tag("CAPRE");
  io.Field(self.fdProcessed);
  io.Field(self.fdMissing);
  io.Field(self.fnFirstCategory);
  io.Field(self.fbConstant);
  io.Nested(self.fmCategories);
  io.End();
}

FSRANK_ACCUM_PERSISTENCE(FSCatAccum, 0)

// ---------------------------------------------------------------------------------------------
// FSContAccum: 57 bytes.

template <class IO, class Self>
void FSContAccum::Fields(IO& io, Self& self) {
  io.Tag("COPRE");
  io.Field(self.fdProcessed);
  io.Field(self.fdMissing);
  io.Field(self.fdFirstValue);
  io.Field(self.fbConstant);
  io.Field(self.fdMean);
  io.Field(self.fdSecondMoment);
  io.Field(self.fdVariance);
  io.End();
}

FSRANK_ACCUM_PERSISTENCE(FSContAccum, -1)

#undef FSRANK_ACCUM_PERSISTENCE
