// The columns as the program knows them, beyond the numbers the library keeps: names, roles,
// types, the codes given to categorical labels, and how the file was read. The data sources
// encode through it, the reports name predictors and categories from it, and it is saved next
// to a library state (STATE.columns.json) so that a resumed run reads new data the same way:
// known labels keep their codes and new labels get new ones.
#ifndef FSRANK_TOOLS_SCHEMA_H
#define FSRANK_TOOLS_SCHEMA_H

#include <cstddef>
#include <cstdint>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "column_types.h"

namespace fsrank_cli {

struct SchemaColumn {
  std::string name;
  ColumnType type = ColumnType::kContinuous;
  LabelEncoder labels;  // categorical columns only
};

struct ColumnSchema {
  bool long_form = false;
  char delimiter = ',';
  std::vector<std::string> missing;  // the missing-value tokens
  SchemaColumn target;               // an empty name: no target (the check)
  std::string weight;                // wide form: column names, empty when unused
  std::string id;
  std::string case_column;  // long form: the columns of case, predictor name and value
  std::string predictor_column;
  std::string value_column;
  std::vector<SchemaColumn> predictors;  // in the library's order
  std::vector<std::string> sources;      // the data files read so far, in order
  long rows = 0;                         // their data rows
  // Long form: a fingerprint of each case identifier read so far, and the last one, so that
  // more data can neither split a case nor bring an old one back unnoticed.
  std::set<std::uint64_t> case_hashes;
  std::string last_case;

  // The library's records. Wide: the target (when there is one), then the weight and the case
  // identifier when present, then the predictors. Long: the four fields of a transaction.
  bool HasTarget() const { return !target.name.empty(); }
  int TargetPosition() const { return HasTarget() ? 0 : -1; }
  int WeightPosition() const { return weight.empty() ? -1 : Lead(); }
  int IdPosition() const { return id.empty() ? -1 : Lead() + (weight.empty() ? 0 : 1); }
  int FirstPredictorPosition() const {
    return Lead() + (weight.empty() ? 0 : 1) + (id.empty() ? 0 : 1);
  }
  int RecordSize() const {
    return long_form ? 4 : FirstPredictorPosition() + static_cast<int>(predictors.size());
  }

 private:
  int Lead() const { return HasTarget() ? 1 : 0; }
};

// Where the column description of a state file lives.
std::string SidecarPath(const std::string& state_path);

// A fingerprint of a file's bytes (64-bit FNV-1a, in hexadecimal), tying a sidecar to the state
// it was written with. Throws InputError when the file cannot be read.
std::string FileChecksum(const std::string& path);

// Writes the description as JSON, with the checksum of its state file.
void WriteSidecar(std::ostream& out, const ColumnSchema& schema, const std::string& checksum);

// Whether a byte can separate fields: not a quote (which opens a quoted field), a line end or
// a NUL.
bool IsUsableDelimiter(char c);

// The fingerprint of a long-form case identifier kept in ColumnSchema::case_hashes.
std::uint64_t CaseHash(const std::string& id);

// What is wrong with a list of names (the first empty one, or the first repeated one), naming
// them as `what` 1, 2, ... in the list's order; empty when nothing is.
std::string NameFault(const std::vector<std::string>& names, const std::string& what);
// The same for the columns of a schema: every column it reads must have a name of its own (a
// sidecar cannot tell two columns of the same name apart, nor a report).
std::string CheckColumnNames(const ColumnSchema& schema);

// Parses the text of a sidecar named `name` (for messages), refusing anything the program did
// not write, and gives the checksum of the state it was written with.
// `kSkipOwnChecksum` reads a sidecar whose own checksum may not match (the fuzzer's inputs).
enum class SidecarCheck { kAll, kSkipOwnChecksum };
ColumnSchema ParseSidecar(const std::string& text, const std::string& name,
                          std::string& state_checksum, SidecarCheck check = SidecarCheck::kAll);

// Reads the sidecar of `state_path` and checks that it was written with that state. Throws
// InputError, naming the file and the fault, when either file is missing or unreadable, the
// sidecar is malformed, or the two do not belong together.
ColumnSchema LoadSidecar(const std::string& state_path);

}  // namespace fsrank_cli

#endif  // FSRANK_TOOLS_SCHEMA_H
