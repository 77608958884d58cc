// The binary writer and reader as a persistent class's Fields template sees them: the
// primitives of binary_io.h plus what a chunk with nested chunks needs, so that the same
// template also runs with the XML field writer and reader (xml/state_fields.h).
//
//   Nested(obj)  the nested chunk, through the object's own WriteObject / ReadObject, its
//                byte count added to this chunk's;
//   End()        nothing (a binary chunk has no end marker; the XML object has an end line);
//   kReads       true for the reader, so that a template can fix up derived fields after
//                reading.
#ifndef FSRANK_PERSIST_BINARY_FIELDS_H
#define FSRANK_PERSIST_BINARY_FIELDS_H

#include <istream>
#include <ostream>
#include <string>
#include <utility>

#include "persist/binary_io.h"

class FSBinaryFieldWriter : public FSBinaryWriter {
 public:
  static constexpr bool kReads = false;

  explicit FSBinaryFieldWriter(std::ostream& stream) : FSBinaryWriter(stream), fOut(stream) {}

  template <class Object>
  void Nested(const Object& object) {
    AddNested(object.WriteObject(fOut));
  }
  void End() {}

 private:
  std::ostream& fOut;
};

class FSBinaryFieldReader : public FSBinaryReader {
 public:
  static constexpr bool kReads = true;

  FSBinaryFieldReader(std::istream& stream, std::string className)
      : FSBinaryReader(stream, std::move(className)), fIn(stream) {}

  template <class Object>
  void Nested(Object& object) {
    AddNested(object.ReadObject(fIn));
  }
  void End() {}

 private:
  std::istream& fIn;
};

#endif  // FSRANK_PERSIST_BINARY_FIELDS_H
