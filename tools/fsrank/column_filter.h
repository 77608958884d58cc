// The second pass of `fsrank select`: copies chosen columns of a delimiter-separated file,
// every kept field byte for byte as it stands in the input (quotes, doubled quotes, embedded
// line breaks and all), each row ended as it was (LF, CRLF, or nothing at the end of the file).
// The rows are split exactly as CsvReader splits them, so the copy holds the rows that were
// ranked: completely empty lines are left out, as CsvReader skips them, and a UTF-8 byte-order
// mark at the start is kept.
#ifndef FSRANK_TOOLS_COLUMN_FILTER_H
#define FSRANK_TOOLS_COLUMN_FILTER_H

#include <cstddef>
#include <istream>
#include <ostream>
#include <string>
#include <vector>

namespace fsrank_cli {

// Copies the columns at the positions `keep` (0-based, ascending, no repeats) of every row of
// `in`, header included, to `out`, separated by `delimiter`. Returns the number of rows written
// after the header. Throws InputError, naming `source` and the line, for a quoted field that
// never ends, a row without one of the kept columns, or a read error.
long CopyColumns(std::istream& in, const std::string& source, char delimiter,
                 const std::vector<std::size_t>& keep, std::ostream& out);

}  // namespace fsrank_cli

#endif  // FSRANK_TOOLS_COLUMN_FILTER_H
