#include "data_source.h"

#include <fsrank/fsrank.h>

#include <algorithm>
#include <exception>
#include <new>
#include <utility>
#include "text.h"

namespace fsrank_cli {

namespace {

std::string Quoted(const std::string& name) {
  return "\"" + name + "\"";
}

bool Contains(const std::vector<std::string>& names, const std::string& name) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

}  // namespace

CsvDataSource::CsvDataSource(std::istream& in, std::string source_name, char delimiter,
                             MissingTokens missing, std::size_t sample_rows)
    : in_(in),
      reader_(in, std::move(source_name), delimiter),
      delimiter_(delimiter),
      missing_(std::move(missing)) {
  if (!reader_.ReadRow(header_)) {
    throw InputError(reader_.Source() + ": the file is empty (a header row is needed)");
  }
  guessers_.resize(header_.size());
  std::vector<std::string> fields;
  long line = 0;
  while (sample_.size() < sample_rows && ReadRaw(fields, line)) {
    for (std::size_t k = 0; k < fields.size(); ++k)
      guessers_[k].Add(fields[k], missing_);
    sample_.push_back(fields);
    sample_lines_.push_back(line);
  }
}

bool CsvDataSource::ReadRaw(std::vector<std::string>& fields, long& line) {
  if (!reader_.ReadRow(fields)) return false;
  line = reader_.RowLine();
  if (fields.size() != header_.size()) {
    throw InputError(reader_.Where() + FieldCountMessage(fields.size(), header_.size()));
  }
  return true;
}

std::size_t FindHeaderColumn(const std::vector<std::string>& header, const std::string& where,
                             const std::string& name, const std::string& role) {
  const auto found = std::find(header.begin(), header.end(), name);
  if (found == header.end()) {
    std::string known;
    for (std::size_t k = 0; k < header.size() && k < 12; ++k) {
      known += (k == 0 ? "" : ", ") + header[k];
    }
    if (header.size() > 12) known += ", ...";
    throw InputError(where + "no column named " + Quoted(name) + " for " + role +
                     " (the header has: " + known + ")");
  }
  return static_cast<std::size_t>(found - header.begin());
}

std::size_t CsvDataSource::FindColumn(const std::string& name, const std::string& role) const {
  return FindHeaderColumn(header_, reader_.Where(1), name, role);
}

DataPlan CsvDataSource::MakePlan(const PlanRequest& request) const {
  for (const std::string& name : request.categorical) {
    if (Contains(request.continuous, name)) {
      throw UsageError("column " + Quoted(name) + " cannot be both categorical and continuous");
    }
  }
  DataPlan plan;
  std::vector<bool> special(header_.size(), false);
  plan.has_target = !request.target.empty();
  if (plan.has_target) {
    plan.target.column = FindColumn(request.target, "--target");
    plan.target.name = header_[plan.target.column];
    special[plan.target.column] = true;
  }
  if (!request.weight.empty()) {
    plan.has_weight = true;
    plan.weight_column = FindColumn(request.weight, "--weight");
    if (special[plan.weight_column]) {
      throw UsageError("the weight column " + Quoted(request.weight) + " is the target");
    }
    special[plan.weight_column] = true;
  }
  if (!request.id.empty()) {
    plan.has_id = true;
    plan.id_column = FindColumn(request.id, "--id");
    if (special[plan.id_column]) {
      throw UsageError("the case identifier column " + Quoted(request.id) +
                       " is already the target or the weight");
    }
    special[plan.id_column] = true;
  }
  for (const std::string& name : request.categorical)
    FindColumn(name, "--categorical");
  for (const std::string& name : request.continuous)
    FindColumn(name, "--continuous");

  auto type_of = [&](std::size_t column) {
    if (Contains(request.categorical, header_[column])) return ColumnType::kCategorical;
    if (Contains(request.continuous, header_[column])) return ColumnType::kContinuous;
    return guessers_[column].Guess();
  };
  if (plan.has_target) plan.target.type = type_of(plan.target.column);
  for (std::size_t k = 0; k < header_.size(); ++k) {
    if (special[k]) continue;
    plan.predictors.push_back(ColumnSpec{header_[k], k, type_of(k)});
  }
  if (plan.predictors.empty()) {
    throw UsageError("there is no predictor column left besides the target, weight and identifier");
  }
  return plan;
}

ColumnSchema CsvDataSource::SchemaFor(const DataPlan& plan) const {
  ColumnSchema schema;
  schema.delimiter = delimiter_;
  schema.missing = missing_.Tokens();
  if (plan.has_target) schema.target = SchemaColumn{plan.target.name, plan.target.type, {}};
  if (plan.has_weight) schema.weight = header_[plan.weight_column];
  if (plan.has_id) schema.id = header_[plan.id_column];
  for (const ColumnSpec& col : plan.predictors) {
    schema.predictors.push_back(SchemaColumn{col.name, col.type, {}});
  }
  return schema;
}

DataPlan CsvDataSource::PlanFor(const ColumnSchema& schema) const {
  const std::string role = "the saved state";
  std::vector<bool> known(header_.size(), false);
  auto find = [&](const std::string& name) {
    const std::size_t column = FindColumn(name, role);
    known[column] = true;
    return column;
  };
  DataPlan plan;
  plan.has_target = schema.HasTarget();
  if (plan.has_target) {
    plan.target = ColumnSpec{schema.target.name, find(schema.target.name), schema.target.type};
  }
  plan.has_weight = !schema.weight.empty();
  if (plan.has_weight) plan.weight_column = find(schema.weight);
  plan.has_id = !schema.id.empty();
  if (plan.has_id) plan.id_column = find(schema.id);
  for (const SchemaColumn& column : schema.predictors) {
    plan.predictors.push_back(ColumnSpec{column.name, find(column.name), column.type});
  }
  for (std::size_t k = 0; k < header_.size(); ++k) {
    if (!known[k]) {
      throw InputError(reader_.Where(1) + "the column " + Quoted(header_[k]) +
                       " is not in the saved state, which cannot take new predictors");
    }
  }
  return plan;
}

void CsvDataSource::SetPlan(DataPlan plan, ColumnSchema& schema, int threads,
                            std::size_t block_size) {
  plan_ = std::move(plan);
  schema_ = &schema;
  threads_ = threads;
  block_size_ = block_size;
}

void CsvDataSource::StartBlocks() {
  const ColumnSchema& layout = *schema_;
  RowPlan rows;
  rows.delimiter = delimiter_;
  rows.missing = missing_;
  rows.record_size = static_cast<std::size_t>(layout.RecordSize());
  rows.actions.resize(header_.size());
  const auto take = [&](std::size_t column, ColumnType type, std::size_t position,
                        LabelEncoder& labels) {
    ColumnAction& action = rows.actions[column];
    action.position = position;
    if (type == ColumnType::kCategorical) {
      action.kind = ColumnAction::kLabel;
      action.labels = label_columns_.size();
      label_columns_.push_back({&labels, position});
      rows.known_labels.emplace_back();
      for (std::size_t k = 0; k < labels.Size(); ++k)
        rows.known_labels.back().Add(labels.Label(static_cast<int>(k)), static_cast<int>(k));
    } else {
      action.kind = ColumnAction::kNumber;
    }
  };
  if (plan_.has_target) take(plan_.target.column, plan_.target.type, 0, schema_->target.labels);
  if (plan_.has_weight) {
    rows.actions[plan_.weight_column] = {ColumnAction::kNumber,
                                         static_cast<std::size_t>(layout.WeightPosition()), 0};
  }
  if (plan_.has_id) {
    rows.actions[plan_.id_column] = {ColumnAction::kId,
                                     static_cast<std::size_t>(layout.IdPosition()), 0};
  }
  std::size_t position = static_cast<std::size_t>(layout.FirstPredictorPosition());
  for (std::size_t p = 0; p < plan_.predictors.size(); ++p, ++position) {
    take(plan_.predictors[p].column, plan_.predictors[p].type, position,
         schema_->predictors[p].labels);
  }
  block_line_ = reader_.NextLine();
  blocks_ = std::make_unique<BlockReader>(in_, reader_.TakeBuffered(), std::move(rows), threads_,
                                          block_size_, cancel_, block_work_);
}

bool CsvDataSource::MapLabels() {
  // Labels new in the block get the file's next codes in the order they appear there, as
  // reading row by row gives them; the block numbered them from the same start, and often alike.
  const std::size_t size = static_cast<std::size_t>(schema_->RecordSize());
  bool recoded = false;
  for (std::size_t t = 0; t < label_columns_.size(); ++t) {
    const BlockLabels& local = block_->labels[t];
    if (local.Fresh().empty()) continue;
    LabelEncoder& labels = *label_columns_[t].labels;
    const std::size_t known = local.KnownCount();
    code_map_.resize(local.Fresh().size());
    bool same = true;
    for (std::size_t k = 0; k < local.Fresh().size(); ++k) {
      code_map_[k] = labels.Encode(local.Fresh()[k]);
      same = same && code_map_[k] == static_cast<double>(known + k);
    }
    if (same) continue;
    recoded = true;
    double* value = block_->values.data() + label_columns_[t].position;
    for (std::size_t r = 0; r < block_->rows; ++r, value += size) {
      if (!NQMV::IsMissing(*value) && *value >= static_cast<double>(known)) {
        *value = code_map_[static_cast<std::size_t>(*value) - known];
      }
    }
  }
  return recoded;
}

ParsedBlock* CsvDataSource::NextBlock(bool& recoded) {
  recoded = false;
  if (!blocks_) {
    if (blocks_done_) return nullptr;
    StartBlocks();
  }
  if (block_ != nullptr) {
    if (block_->failed)
      throw InputError(reader_.Where(block_line_ + block_->error_line) + block_->error);
    block_line_ += block_->lines;
  }
  block_ = blocks_->Next();
  block_row_ = 0;
  block_issue_ = 0;
  if (block_ == nullptr) {
    blocks_done_ = true;
    return nullptr;
  }
  recoded = MapLabels();
  return block_;
}

void CsvDataSource::CommitBlockRows(std::size_t rows) {
  for (std::size_t r = 0; r < rows && block_ != nullptr && block_row_ < block_->rows; ++r) {
    ++block_row_;
    ++delivered_;
    has_pending_row_ = true;
    pending_in_block_ = true;
    CommitLastRow();
  }
}

void CsvDataSource::StopReading() {
  blocks_done_ = true;
  block_ = nullptr;
  blocks_.reset();
}

bool CsvDataSource::NextBlockRow(std::vector<double>& values) {
  if (!blocks_) {
    if (blocks_done_) return false;
    StartBlocks();
  }
  while (block_ == nullptr || block_row_ == block_->rows) {
    if (blocks_done_) return false;
    bool recoded = false;
    if (NextBlock(recoded) == nullptr) return false;
  }
  const std::size_t size = static_cast<std::size_t>(schema_->RecordSize());
  const double* row = block_->values.data() + block_row_ * size;
  values.assign(row, row + size);
  ++block_row_;
  return true;
}

double CsvDataSource::EncodeCategorical(LabelEncoder& encoder, const std::string& field) const {
  if (missing_.IsMissing(field)) return NQMV::Missing();
  return static_cast<double>(encoder.Encode(Trim(field)));
}

double CsvDataSource::EncodeNumber(std::size_t column, const std::string& field, long line) {
  if (missing_.IsMissing(field)) return NQMV::Missing();
  double value = 0.0;
  if (ParseNumber(field, value)) return value;
  pending_.push_back(Issue{column, line, field});
  return NQMV::Missing();
}

bool CsvDataSource::NextRow(std::vector<double>& values) {
  long line = 0;
  if (sample_next_ >= sample_.size()) {
    pending_.clear();
    if (stop_at_blocks_ || !NextBlockRow(values)) return false;
    has_pending_row_ = true;
    pending_in_block_ = true;
    ++delivered_;
    return true;
  }
  fields_.swap(sample_[sample_next_]);
  line = sample_lines_[sample_next_];
  ++sample_next_;
  if (sample_next_ == sample_.size()) {
    sample_.clear();
    sample_.shrink_to_fit();
    sample_lines_.clear();
    sample_lines_.shrink_to_fit();
    sample_next_ = 0;  // and stays past the empty sample
  }
  pending_.clear();
  has_pending_row_ = true;
  ++delivered_;
  const ColumnSchema& layout = *schema_;
  values.resize(static_cast<std::size_t>(layout.RecordSize()));

  const ColumnSpec& target = plan_.target;
  if (plan_.has_target) {
    values[0] = target.type == ColumnType::kCategorical
                    ? EncodeCategorical(schema_->target.labels, fields_[target.column])
                    : EncodeNumber(target.column, fields_[target.column], line);
  }
  if (plan_.has_weight) {
    values[static_cast<std::size_t>(layout.WeightPosition())] =
        EncodeNumber(plan_.weight_column, fields_[plan_.weight_column], line);
  }
  if (plan_.has_id) {
    // The identifier only has to tell cases apart; text identifiers pass as missing.
    double id = NQMV::Missing();
    ParseNumber(fields_[plan_.id_column], id);
    values[static_cast<std::size_t>(layout.IdPosition())] = id;
  }
  std::size_t position = static_cast<std::size_t>(layout.FirstPredictorPosition());
  for (std::size_t p = 0; p < plan_.predictors.size(); ++p, ++position) {
    const ColumnSpec& col = plan_.predictors[p];
    values[position] = col.type == ColumnType::kCategorical
                           ? EncodeCategorical(schema_->predictors[p].labels, fields_[col.column])
                           : EncodeNumber(col.column, fields_[col.column], line);
  }
  return true;
}

void CsvDataSource::CommitLastRow() {
  if (!has_pending_row_) return;
  has_pending_row_ = false;
  ++committed_;
  if (pending_in_block_) {
    pending_in_block_ = false;
    const std::size_t row = block_row_ - 1;
    const auto& unparsable = block_->unparsable;
    for (; block_issue_ < unparsable.size() && unparsable[block_issue_].row == row;
         ++block_issue_) {
      const std::size_t column = unparsable[block_issue_].column;
      UnparsableSummary& summary = unparsable_[column];
      if (summary.count++ > 0) continue;
      for (const auto& first : block_->first_unparsable) {
        if (first.column != column) continue;
        summary.first_line = block_line_ + first.line;
        summary.first_text = first.text;
      }
    }
    return;
  }
  for (Issue& issue : pending_) {
    UnparsableSummary& summary = unparsable_[issue.column];
    if (summary.count++ == 0) {
      summary.first_line = issue.line;
      summary.first_text = std::move(issue.text);
    }
  }
  pending_.clear();
}

void CsvDataSource::WriteWarnings(std::ostream& err) const {
  for (const auto& [column, summary] : unparsable_) {
    WriteWarning(err, SourceName() + ": column " + Quoted(header_[column]) + ": " +
                          std::to_string(summary.count) +
                          (summary.count == 1 ? " value is" : " values are") +
                          " not a number and counted as missing (first on line " +
                          std::to_string(summary.first_line) + ": " + Quoted(summary.first_text) +
                          ")");
  }
}

std::string ReadFailure(const RecordSource& source) {
  try {
    throw;
  } catch (const InputError& e) {
    return e.what();
  } catch (const std::bad_alloc&) {
    return source.SourceName() + ": out of memory while reading";
  } catch (const std::exception& e) {
    return source.SourceName() + ": cannot be read: " + e.what();
  }
}

}  // namespace fsrank_cli
