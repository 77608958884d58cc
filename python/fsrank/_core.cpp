// The Python binding of fsrank's exported interface. Columns arrive as numpy arrays and are read
// where they lie: a record iterator converts them block by block into the library's records,
// with the interpreter lock released for the whole pass. Interpreter signals (Ctrl-C) and the
// progress callback are served from the library's progress reports, which briefly take the lock
// back; an interrupt cancels the running operation through the library's cancel object.
#include <fsrank/fsrank.h>
#include <fsrank/selection.h>
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include "column_records.h"

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

namespace py = pybind11;
using fsrank_columns::Column;
using fsrank_columns::ColumnRecords;
using fsrank_columns::SetExactTails;

namespace {

using NQFeature::NQStatus;
using NQFSCommon::RankCriteria;

py::tuple StatusTuple(const NQStatus& status) {
  return py::make_tuple(status.GetErrorCode(), status.GetSeverity(), status.GetDiscreteDatum(0),
                        status.GetDiscreteDatum(1), status.GetDiscreteDatum(2));
}

// Serves interpreter signals and the Python progress callback from the library's reports, at
// most ten times a second. A raised exception (KeyboardInterrupt, or one from the callback) is
// kept and cancels the operation; the caller raises it again once the library has returned.
class Watch : public ProgressListener, public NQQueryCancel {
 public:
  Watch(py::object callback, long offset)
      : callback_(std::move(callback)), offset_(offset), last_(Clock::now()) {}
  ~Watch() override {
    if (type_ != nullptr) {
      py::gil_scoped_acquire gil;
      Py_XDECREF(type_);
      Py_XDECREF(value_);
      Py_XDECREF(trace_);
    }
  }

  bool IsCancelRequested() override { return cancelled_.load(std::memory_order_relaxed); }

  void OnProgress(ProgressReport& report) override {
    const auto now = Clock::now();
    if (now - last_ < std::chrono::milliseconds(100) || cancelled_.load()) return;
    last_ = now;
    const int records = report.DiscreteMeasure("records");
    const int predictors = report.DiscreteMeasure("predictors");
    py::gil_scoped_acquire gil;
    if (PyErr_CheckSignals() != 0) return Keep();
    if (callback_.is_none()) return;
    PyObject* result =
        PyObject_CallFunction(callback_.ptr(), "ll", records >= 0 ? offset_ + records : -1L,
                              static_cast<long>(predictors));
    if (result == nullptr) return Keep();
    Py_DECREF(result);
  }

  // With the lock held: raises the kept exception, if any.
  void Rethrow() {
    if (type_ == nullptr) return;
    PyErr_Restore(type_, value_, trace_);
    type_ = value_ = trace_ = nullptr;
    throw py::error_already_set();
  }

 private:
  using Clock = std::chrono::steady_clock;
  void Keep() {
    PyErr_Fetch(&type_, &value_, &trace_);
    cancelled_.store(true);
  }

  py::object callback_;
  long offset_;
  Clock::time_point last_;
  std::atomic<bool> cancelled_{false};
  PyObject* type_ = nullptr;
  PyObject* value_ = nullptr;
  PyObject* trace_ = nullptr;
};

// An algorithm with its settings. The record layout is the command-line program's: the target,
// then the weight when there is one, then the predictors.
class Engine {
 public:
  Engine(const std::vector<bool>& types, bool catTarget, bool weighted, int weightConversion)
      : settings_(std::make_unique<FSSettings>(types, catTarget)) {
    settings_->SetTargetPosition(0);
    if (weighted) {
      settings_->SetWeightPosition(1);
      settings_->SetWeightConv(static_cast<NQFSCommon::WeightToFreq>(weightConversion));
    }
    FSFactory factory;
    algorithm_.reset(factory.CreateFSAlgorithm(settings_.get()));
    if (!algorithm_) throw std::runtime_error("the library could not create an algorithm");
  }
  explicit Engine(IFSAlgorithm* restored) : algorithm_(restored) {}

  static std::unique_ptr<Engine> FromBytes(const std::string& bytes) {
    FSFactory factory;
    IFSAlgorithm* algorithm = nullptr;
    {
      py::gil_scoped_release release;
      algorithm = factory.RestoreFSAlgorithmFromString(bytes);
    }
    return Restored(algorithm, factory);
  }
  static std::unique_ptr<Engine> FromFile(const std::string& path, bool xml) {
    FSFactory factory;
    IFSAlgorithm* algorithm = nullptr;
    if (xml) {
      std::ifstream file(path, std::ios::in);
      algorithm = factory.RestoreFSAlgorithmFromXML(file);
    } else {
      std::fstream file(path, std::ios::in | std::ios::binary);
      algorithm = factory.RestoreFSAlgorithmFromBinary(file);
    }
    return Restored(algorithm, factory);
  }

  FSSettings& Settings() { return *algorithm_->GetSettings(); }
  const FSSettings& Settings() const { return *algorithm_->GetSettings(); }
  IFSAlgorithm& Algorithm() { return *algorithm_; }
  const IFSAlgorithm& Algorithm() const { return *algorithm_; }

  // One data pass over the columns (in record order), rows in all. Returns the status and, when
  // an infinite value stopped the pass, its column and row.
  py::tuple Accumulate(const std::vector<py::array>& arrays, std::size_t rows,
                       const py::object& callback, long offset) {
    std::vector<Column> columns;
    for (const py::array& a : arrays) {
      if (a.ndim() != 1 || static_cast<std::size_t>(a.shape(0)) < rows) {
        throw std::invalid_argument("columns must be one-dimensional arrays of the same length");
      }
      Column c;
      c.data = static_cast<const char*>(a.data());
      c.step = a.strides(0);
      c.kind = a.dtype().char_();
      c.codes = a.dtype().kind() == 'i';
      if (!fsrank_columns::Supported(c.kind)) {
        throw std::invalid_argument(std::string("unsupported column dtype '") + c.kind + "'");
      }
      columns.push_back(c);
    }
    ColumnRecords records(std::move(columns), rows);
    NQStatus status;
    {
      Watch watch(callback, offset);
      Attach(watch);
      {
        py::gil_scoped_release release;
        status = algorithm_->Accumulate(records, -1);
      }
      Detach();
      watch.Rethrow();
    }
    return py::make_tuple(StatusTuple(status), records.BadColumn(), records.BadRow());
  }

  // Screening (unless screen is false) and ranking, as the command-line program chains them.
  py::tuple Rank(bool screen, const py::object& callback) {
    Watch watch(callback, 0);
    Attach(watch);
    NQStatus status = algorithm_->GetStatus();
    {
      py::gil_scoped_release release;
      if (status.IsOK()) status = algorithm_->CheckPredAllMissConst();
      if (status.IsOK() && screen) status = algorithm_->ScreenPredictors();
      if (status.IsOK()) status = algorithm_->SortAndRank(0);
    }
    Detach();
    watch.Rethrow();
    return StatusTuple(status);
  }

  py::tuple Top(int criterion) const {
    std::vector<int> indices;
    std::vector<double> values;
    const NQStatus status =
        algorithm_->GetTopPredictors(static_cast<RankCriteria>(criterion), indices, values, -1);
    for (double& v : values)
      if (NQMV::IsMissing(v)) v = NAN;
    return py::make_tuple(StatusTuple(status), py::array(py::cast(indices)),
                          py::array(py::cast(values)));
  }

  // The four statistics of one predictor, with NaN for missing values; None when the
  // accumulator keeps none for the criterion.
  py::object Stats(int criterion, int predictor) const {
    double v[4] = {0, 0, 0, 0};
    if (!algorithm_->GetPredictorStats(criterion, predictor, v[0], v[1], v[2], v[3])) {
      return py::none();
    }
    for (double& x : v)
      if (NQMV::IsMissing(x)) x = NAN;
    return py::make_tuple(v[0], v[1], v[2], v[3]);
  }

  py::bytes StateBytes() const {
    std::string bytes;
    NQStatus status;
    {
      py::gil_scoped_release release;
      status = algorithm_->SaveStateToString(bytes);
    }
    if (status.IsError())
      throw py::value_error("fsrank-status:" + std::to_string(status.GetErrorCode()));
    return py::bytes(bytes);
  }

  // Adds the other engine's data (same fields; both before any check or ranking).
  py::tuple Merge(const Engine& other) {
    NQStatus status;
    {
      py::gil_scoped_release release;
      status = algorithm_->Merge(*other.algorithm_);
    }
    return StatusTuple(status);
  }

  py::tuple SaveFile(const std::string& path, bool xml) const {
    NQStatus status;
    bool written = false;
    if (xml) {
      std::ofstream file(path, std::ios::out | std::ios::trunc);
      if (file) status = algorithm_->SaveStateXML(file);
      file.close();
      written = static_cast<bool>(file);
    } else {
      std::fstream file(path, std::ios::out | std::ios::binary | std::ios::trunc);
      if (file) status = algorithm_->SaveState(file);
      file.close();
      written = static_cast<bool>(file);
    }
    return py::make_tuple(StatusTuple(status), written);
  }

  py::tuple ExportXML(int criterion, int n) const {
    std::ostringstream out;
    const NQStatus status =
        criterion < 0 ? algorithm_->ExportAllXML(out)
                      : algorithm_->ExportOneXML(out, static_cast<RankCriteria>(criterion), n);
    return py::make_tuple(StatusTuple(status), out.str());
  }

  py::list TargetCategories() const {
    py::list out;
    for (int k = 0; k < algorithm_->GetNTargetCategories(); ++k) {
      int code = -1;
      std::pair<int, double> counts;
      if (algorithm_->GetTargetCategoryInfo(k, code, counts)) {
        out.append(py::make_tuple(code, counts.first, counts.second));
      }
    }
    return out;
  }

 private:
  static std::unique_ptr<Engine> Restored(IFSAlgorithm* algorithm, const FSFactory& factory) {
    if (algorithm == nullptr) {
      throw py::value_error("fsrank-status:" + std::to_string(factory.GetStatus().GetErrorCode()));
    }
    return std::make_unique<Engine>(algorithm);
  }

  // Reports every 65,536 records and every predictor; the watch drops all but ten a second.
  void Attach(Watch& watch) {
    Settings().SetNSkippedRecordReports(65535);
    Settings().SetNSkippedPredictorReports(0);
    algorithm_->SetProgressListener(&watch);
    algorithm_->SetCancelPtr(&watch);
  }
  void Detach() {
    algorithm_->SetProgressListener(nullptr);
    algorithm_->SetCancelPtr(nullptr);
  }

  // Declared first so that the algorithm, which points at them, goes first.
  std::unique_ptr<FSSettings> settings_;
  std::unique_ptr<IFSAlgorithm> algorithm_;
};

}  // namespace

PYBIND11_MODULE(_core, m) {
  m.doc() = "fsrank's C++ library, bound for the fsrank package";
  py::class_<Engine>(m, "Engine")
      .def(py::init<const std::vector<bool>&, bool, bool, int>(), py::arg("types"),
           py::arg("cat_target"), py::arg("weighted"), py::arg("weight_conversion"))
      .def_static("from_bytes",
                  [](const py::bytes& b) { return Engine::FromBytes(std::string(b)); })
      .def_static("from_file", &Engine::FromFile)
      .def("accumulate", &Engine::Accumulate)
      .def("rank", &Engine::Rank)
      .def("top", &Engine::Top)
      .def("stats", &Engine::Stats)
      .def("state_bytes", &Engine::StateBytes)
      .def("save_file", &Engine::SaveFile)
      .def("merge", &Engine::Merge)
      .def("set_exact_tails", [](Engine& e, bool on) { return SetExactTails(e.Settings(), on); })
      .def("export_xml", &Engine::ExportXML)
      .def("target_categories", &Engine::TargetCategories)
      .def("status", [](const Engine& e) { return StatusTuple(e.Algorithm().GetStatus()); })
      .def("counts",
           [](const Engine& e) {
             double wv = 0, we = 0;
             int nv = 0, ne = 0;
             e.Algorithm().GetNValidNExcluded(wv, we, nv, ne);
             return py::make_tuple(nv, ne, wv, we);
           })
      .def("deleted",
           [](const Engine& e) {
             return py::make_tuple(e.Algorithm().GetIndicesDelPred(),
                                   e.Algorithm().GetReasonsDelPred());
           })
      .def("set_criterion",
           [](Engine& e, int c, bool on) {
             return e.Settings().SetCriterion(static_cast<RankCriteria>(c), on);
           })
      .def("criteria", [](const Engine& e) { return e.Settings().GetCriteria(); })
      .def("predictor_types", [](const Engine& e) { return e.Settings().GetPredictorTypes(); })
      .def("set_type", [](const Engine& e) { return e.Settings().GetTypeAllPredictors(); })
      .def("cat_target", [](const Engine& e) { return e.Settings().IsCatTarget(); })
      .def("weighted", [](const Engine& e) { return e.Settings().GetWeightPosition() >= 0; })
      .def("layout",
           [](const Engine& e) {
             const FSSettings& s = e.Settings();
             return py::make_tuple(s.GetTargetPosition(), s.GetWeightPosition(),
                                   s.GetCaseIDPosition(), s.GetFlagTrInput());
           })
      .def("best_count", [](const Engine& e) { return e.Settings().GetNBestPredictors(0); })
      .def("set_screening",
           [](Engine& e, double maxMissing, double maxSingle, double maxCategories, double minCv,
              double minSd) {
             FSSettings& s = e.Settings();
             if (!std::isnan(maxMissing)) s.SetMaxPctMiss(maxMissing);
             if (!std::isnan(maxSingle)) s.SetMaxPctSingle(maxSingle);
             if (!std::isnan(maxCategories)) s.SetMaxNCatAsPct(maxCategories);
             if (!std::isnan(minCv)) s.SetMinVariation(minCv);
             if (!std::isnan(minSd)) s.SetMinStddev(minSd);
           })
      .def("screening",
           [](const Engine& e) {
             const FSSettings& s = e.Settings();
             return py::make_tuple(s.GetMaxPctMiss(), s.GetMaxPctSingle(), s.GetMaxNCatAsPct(),
                                   s.GetMinVariation(), s.GetMinStddev());
           })
      .def("set_screen_flags", [](Engine& e, bool on) {
        FSSettings& s = e.Settings();
        s.SetFlagDeleteIfManyMiss(on);
        s.SetFlagDeleteIfManySingle(on);
        s.SetFlagDeleteIfManyCategories(on);
        s.SetFlagDeleteIfSmallVariation(on);
        s.SetFlagDeleteIfSmallStddev(on);
      });
  // The selection rules (fsrank/selection.h): how many of a ranked list a rule keeps, and
  // where it cuts. The rule arrives as its text ("fdr=0.05"); a refused rule gives the
  // library's message.
  m.def("count_selected",
        [](const std::string& text, bool pvalues, const std::vector<double>& ranked) {
          NQFSSelect::Selection selection;
          std::string error;
          if (!NQFSSelect::ParseSelection(text, selection, error)) {
            return py::make_tuple(py::none(), 0, NAN, error);
          }
          int kept = 0;
          const NQStatus status = NQFSSelect::CountSelected(selection, pvalues, ranked, kept);
          const double cut = NQFSSelect::SelectionCutOff(selection, pvalues, ranked, kept);
          return py::make_tuple(StatusTuple(status), kept, cut, std::string());
        });
  m.attr("MISSING") = gMissingValue;
}
