// The report as one self-contained HTML page to look at: per criterion a bar chart (inline SVG)
// of the evidence for the best predictors with the selection's cut-off drawn, the table of
// every ranked predictor, the screened predictors and why, the target's distribution and the
// facts of the run. No scripts, no external resources; the markup is also well-formed XML
// (XHTML), so that xmllint can check it.
#ifndef FSRANK_TOOLS_HTML_REPORT_H
#define FSRANK_TOOLS_HTML_REPORT_H

#include <cstddef>
#include <optional>
#include <ostream>
#include <string>

#include "output.h"

namespace fsrank_cli {

// What the page tells about the run beyond the results.
struct RunFacts {
  std::string command;   // "rank", "check" or "resume"
  std::string started;   // when the run started, e.g. "2026-12-06 00:30:12 UTC"
  double seconds = 0.0;  // wall-clock time of the run
  std::string version;   // the program's version
  ScreeningThresholds thresholds;
  bool screening = true;  // false with --no-screen
};

// The charts show at most this many predictors per criterion; the tables show all.
constexpr std::size_t kChartedPredictors = 50;

// The page of a ranking (rank, resume). `report` lists every ranked predictor of each
// criterion; a criterion's `selected` count (when set) marks its first predictors as kept.
void WriteHtmlReport(std::ostream& out, const RankingReport& report, const RunFacts& facts);

// The page of a check without a target: every column and the rules it breaks.
void WriteHtmlCheckReport(std::ostream& out, const CheckReport& report, const RunFacts& facts);

// Text as HTML and XML character data or attribute value: markup characters escaped, bytes
// that are not UTF-8 and control characters (other than tab and newline) replaced by U+FFFD.
std::string HtmlText(const std::string& text);

}  // namespace fsrank_cli

#endif  // FSRANK_TOOLS_HTML_REPORT_H
