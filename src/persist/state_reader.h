// The reading half of the saved-state XML encoding. Not an XML parser: it reads one line at a
// time and recognises each line by its first tokens, in the order the writers produced them.
// Every function returns true when the line was what was expected, false otherwise (the line
// could not be read, a token is absent or differs), never throws and writes no message; the
// caller turns a false result into its own error. On false, out parameters are unchanged.
//
// Lines are read into a buffer of 256 characters: a line of more than 255 characters, or an
// exhausted stream, makes the read fail. A last line without newline is accepted.
#ifndef FSRANK_PERSIST_STATE_READER_H
#define FSRANK_PERSIST_STATE_READER_H

#include <istream>
#include <string>

namespace NQFeatureXML {

// The longest line the reader accepts, in characters (the newline not counted).
inline constexpr int kMaxStateLine = 255;

// Three lines whose first tokens are "?xml", "!DOCTYPE" and NQXMLRoot.
bool ReadDocumentHeader(std::istream& stream);

// An object start line <Obj name="expectedName">; one empty line before it is skipped, two
// are not. The name must match exactly (case-sensitive, whole string).
bool ReadObjBegin(std::istream& stream, const std::string& expectedName);

// Whether ReadObjBegin(stream, name) would succeed, for an optional object after what a reader
// knows. The read position and the stream's state are left as they were; false on a stream
// that cannot go back to them.
bool NextIsObjBegin(std::istream& stream, const std::string& name);

// An <Int value="..."/> line. out := the leading decimal integer of the value text the way
// atoi reads it (12abc gives 12, abc gives 0; out-of-range values saturate).
bool ReadInt(std::istream& stream, int& out);

// A <Double value="..."/> line. out := the missing value for "Missing", else the text read
// as a double in the classic locale. True once the value text exists, even when it is not a
// number (out then stays as it was).
bool ReadDouble(std::istream& stream, double& out);

// An object end line </Obj>.
bool ReadObjEnd(std::istream& stream);

}  // namespace NQFeatureXML

#endif  // FSRANK_PERSIST_STATE_READER_H
