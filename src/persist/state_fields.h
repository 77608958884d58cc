// The XML counterpart of the binary field writer and reader (api/binary_fields.h): the same
// symmetric Tag / Field / Padding / Sequence / Vector / Nested / End interface, so that one
// Fields template per persistent class lists its fields once for the binary chunk and the XML
// object, in both directions.
//
// Mapping onto the line encoding:
//   Tag(tag)      the object's start line (the binary tag is ignored: the object is named by
//                 the class name the writer or reader was given);
//   Field(v)      one value line: an int, a bool as 1 or 0, an enumeration as its int, a double
//                 ("Missing" for the missing value);
//   Padding(n)    nothing (padding bytes exist only in the binary chunk);
//   Sequence      the element count as an int value, then each element's values;
//   Nested(obj)   the nested object, through its own WriteObjectXML / ReadObjectXML taking
//                 this stream (an object whose reader needs the file stream itself is read
//                 by the caller, its count given to AddNested);
//   End()         the object's end line.
//
// Count() is the number of elements written or read: the object's start and end lines, each
// value, and each nested object's own count. A reader failure (a line that cannot be read or
// is not what the layout expects, a negative count) writes "Error reading <Class>!\n" to the
// standard error stream and throws a new NQFeature::IOException by pointer.
#ifndef FSRANK_PERSIST_STATE_FIELDS_H
#define FSRANK_PERSIST_STATE_FIELDS_H

#include <istream>
#include <ostream>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "persist/binary_io.h"
#include "persist/state_reader.h"
#include "persist/state_writer.h"

namespace NQFeatureXML {

class FSXMLFieldWriter {
 public:
  static constexpr bool kReads = false;

  FSXMLFieldWriter(std::ostream& stream, std::string name, int level)
      : fStream(stream), fFrame(std::move(name), level) {}

  void Tag(const std::string& /*binaryTag*/) { Counted(fFrame.WriteObjBegin(fStream)); }
  void End() { Counted(fFrame.WriteObjEnd(fStream)); }

  void Field(int value) { Counted(fFrame.WriteInt(fStream, value)); }
  void Field(bool value) { Field(value ? 1 : 0); }
  void Field(double value) { Counted(fFrame.WriteDouble(fStream, value)); }
  template <class E, std::enable_if_t<std::is_enum_v<E>, int> = 0>
  void Field(E value) {
    Field(static_cast<int>(value));
  }
  void Padding(int /*n*/) {}

  template <class T, class F>
  void Sequence(const std::vector<T>& elements, int /*minEntryBytes*/, F entry) {
    Field(static_cast<int>(elements.size()));
    for (const T& element : elements)
      entry(*this, element);
  }
  template <class T>
  void Vector(const std::vector<T>& elements) {
    Sequence(elements, 0, [](FSXMLFieldWriter& io, const T& e) { io.Field(e); });
  }

  template <class Object>
  void Nested(const Object& object) {
    AddNested(object.WriteObjectXML(fStream));
  }
  void AddNested(int count) { fnCount += count; }

  int Count() const { return fnCount; }

 private:
  // Every writer of the frame returns 0; one element was written.
  void Counted(int /*writerResult*/) { ++fnCount; }

  std::ostream& fStream;
  XMLObjectFrame fFrame;
  int fnCount = 0;
};

class FSXMLFieldReader {
 public:
  static constexpr bool kReads = true;

  // name is both the expected object name and the class named in the error message.
  FSXMLFieldReader(std::istream& stream, std::string name)
      : fStream(stream), fsName(std::move(name)) {}

  void Tag(const std::string& /*binaryTag*/) { Check(ReadObjBegin(fStream, fsName)); }
  void End() { Check(ReadObjEnd(fStream)); }

  void Field(int& value) { Check(ReadInt(fStream, value)); }
  // Exactly 1 is true; every other value is false.
  void Field(bool& value) {
    int stored = 0;
    Field(stored);
    value = stored == 1;
  }
  void Field(double& value) { Check(ReadDouble(fStream, value)); }
  template <class E, std::enable_if_t<std::is_enum_v<E>, int> = 0>
  void Field(E& value) {
    int stored = 0;
    Field(stored);
    value = static_cast<E>(stored);
  }
  void Padding(int /*n*/) {}

  // Empties elements, then appends each element read by entry(io, element) in file order.
  // A negative count fails; a huge one reserves only a bounded room and fails at the first
  // missing line.
  template <class T, class F>
  void Sequence(std::vector<T>& elements, int /*minEntryBytes*/, F entry) {
    int n = 0;
    Field(n);
    if (n < 0) Fail();
    ReadElements(elements, n, [&](T& element) { entry(*this, element); });
  }
  template <class T>
  void Vector(std::vector<T>& elements) {
    Sequence(elements, 0, [](FSXMLFieldReader& io, T& e) { io.Field(e); });
  }

  template <class Object>
  void Nested(Object& object) {
    AddNested(object.ReadObjectXML(fStream));
  }
  void AddNested(int count) { fnCount += count; }

  int Count() const { return fnCount; }

  [[noreturn]] void Fail() const { ThrowReadError(fsName); }

 private:
  void Check(bool ok) {
    if (!ok) Fail();
    ++fnCount;
  }

  std::istream& fStream;
  std::string fsName;
  int fnCount = 0;
};

}  // namespace NQFeatureXML

#endif  // FSRANK_PERSIST_STATE_FIELDS_H
