#include "html_report.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <sstream>
#include <vector>

#include "text.h"

namespace fsrank_cli {

namespace {

// -log10 of the smallest positive double: where a p-value of 0 (below the double range) is
// drawn.
const double kLogFloor = -std::log10(std::numeric_limits<double>::denorm_min());

std::string Format(const char* pattern, double x) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, pattern, x);
  return buffer;
}

// A number for people: 4 significant digits, never nan or inf.
std::string Number(std::optional<double> x) {
  if (!x || !std::isfinite(*x)) return "";
  return Format("%.4g", *x);
}

bool IsPValue(const CriterionRanking& c) {
  return c.value_label == "p-value";
}

// The bar's length: -log10(p) for a p-value (a p-value of 0 at the floor), the value itself for
// Cramer's V and lambda. Absent values get no bar.
std::optional<double> Evidence(const CriterionRanking& c, std::optional<double> value) {
  if (!value || !std::isfinite(*value)) return std::nullopt;
  if (!IsPValue(c)) return std::max(*value, 0.0);
  if (*value <= 0.0) return kLogFloor;
  const double e = -std::log10(*value);
  return e > 0.0 ? std::min(e, kLogFloor) : 0.0;  // 0, not -0, for p = 1
}

std::string EvidenceText(const CriterionRanking& c, std::optional<double> value) {
  const std::optional<double> e = Evidence(c, value);
  if (!e) return "";
  if (IsPValue(c) && *value <= 0.0) return Format("&gt;%.1f", kLogFloor);
  return Format(IsPValue(c) ? "%.2f" : "%.4f", *e);
}

// Tick spacing of 1, 2 or 5 times a power of ten giving at most about six ticks up to `top`.
double TickStep(double top) {
  const double raw = top / 6.0;
  const double power = std::pow(10.0, std::floor(std::log10(raw)));
  for (double m : {1.0, 2.0, 5.0}) {
    if (m * power >= raw) return m * power;
  }
  return 10.0 * power;
}

const char* kStyle = R"(
body{font-family:system-ui,-apple-system,"Segoe UI",Roboto,"DejaVu Sans",sans-serif;color:#1a202c;
background:#fff;margin:0 auto;max-width:1100px;padding:24px 28px 48px;line-height:1.45}
h1{font-size:1.6em;margin:0 0 4px}
h2{font-size:1.25em;margin:32px 0 6px;padding-top:12px;border-top:1px solid #e2e8f0}
p.sub{color:#4a5568;margin:0 0 16px}
dl.facts{display:grid;grid-template-columns:max-content 1fr;gap:4px 18px;margin:8px 0}
dl.facts dt{color:#4a5568}
dl.facts dd{margin:0}
table{border-collapse:collapse;margin:8px 0;font-size:0.92em}
th,td{padding:3px 10px;text-align:left;border-bottom:1px solid #edf2f7;vertical-align:top}
th{background:#f7fafc;border-bottom:2px solid #cbd5e0}
td.num,th.num{text-align:right;font-variant-numeric:tabular-nums}
tr.kept td:first-child{box-shadow:inset 3px 0 #2b6cb0}
tr.flag td:first-child{box-shadow:inset 3px 0 #c53030}
.yes{color:#2b6cb0;font-weight:600}
.note{color:#4a5568;font-size:0.92em}
svg{display:block;max-width:100%;height:auto;margin:8px 0}
svg text{font-family:inherit;font-size:12px;fill:#1a202c}
svg .axis{stroke:#a0aec0;stroke-width:1}
svg .grid{stroke:#edf2f7;stroke-width:1}
svg .kept{fill:#2b6cb0}
svg .dropped{fill:#a0aec0}
svg .cut{stroke:#c53030;stroke-width:2;stroke-dasharray:6 4}
svg text.cut{fill:#c53030;stroke:none}
svg text.dim{fill:#4a5568;paint-order:stroke;stroke:#fff;stroke-width:3px}
details{margin:8px 0}
summary{cursor:pointer;color:#2b6cb0}
)";

void Head(std::ostream& out, const std::string& title) {
  out << "<!DOCTYPE html>\n<html xmlns=\"http://www.w3.org/1999/xhtml\" lang=\"en\">\n<head>\n"
      << "<meta charset=\"utf-8\"/>\n"
      << "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\"/>\n"
      << "<title>" << HtmlText(title) << "</title>\n<style>" << kStyle << "</style>\n</head>\n"
      << "<body>\n";
}

void Fact(std::ostream& out, const std::string& term, const std::string& html) {
  out << "<dt>" << HtmlText(term) << "</dt><dd>" << html << "</dd>\n";
}

std::string RecordsHtml(int count, bool weighted, double weight) {
  std::string text = GroupDigits(count);
  if (weighted) text += " (weighted " + HtmlText(Format("%.6g", weight)) + ")";
  return text;
}

std::string ThresholdsHtml(const RunFacts& facts) {
  if (!facts.screening) return "off (only all-missing and constant predictors go)";
  const ScreeningThresholds& t = facts.thresholds;
  return "missing &#8804; " + Format("%g", t.max_missing_pct) + "%, largest category &#8804; " +
         Format("%g", t.max_single_pct) + "%, categories &#8804; " +
         Format("%g", t.max_categories_pct) + "% of values, coefficient of variation &#8805; " +
         Format("%g", t.min_cv) + ", standard deviation &#8805; " + Format("%g", t.min_sd);
}

void RunFactsHtml(std::ostream& out, const RunFacts& facts) {
  Fact(out, "Screening", ThresholdsHtml(facts));
  Fact(out, "Started", HtmlText(facts.started));
  Fact(out, "Time", HtmlText(Format("%.2f s", facts.seconds)));
  Fact(out, "Program", "fsrank " + HtmlText(facts.version) + " " + HtmlText(facts.command));
}

// A horizontal bar chart of labelled counts (the target's categories).
void CountChart(std::ostream& out, const std::vector<TargetCategory>& categories, bool weighted) {
  double total = 0.0, top = 0.0;
  for (const TargetCategory& c : categories) {
    const double v = weighted ? c.weighted : c.count;
    total += v;
    top = std::max(top, v);
  }
  if (top <= 0.0) return;
  const int label = 180, bar = 520, row = 22;
  const int height = static_cast<int>(categories.size()) * row + 8;
  out << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << label + bar + 140 << "\" height=\""
      << height << "\" viewBox=\"0 0 " << label + bar + 140 << ' ' << height
      << "\" role=\"img\" aria-label=\"target distribution\">\n";
  int y = 4;
  for (const TargetCategory& c : categories) {
    const double v = weighted ? c.weighted : c.count;
    out << "<text x=\"" << label - 8 << "\" y=\"" << y + 15 << "\" text-anchor=\"end\">"
        << HtmlText(FitWidth(c.label, 24)) << "</text>";
    out << "<rect class=\"kept\" x=\"" << label << "\" y=\"" << y + 3 << "\" width=\""
        << Format("%.1f", bar * v / top) << "\" height=\"" << row - 6 << "\"/>";
    out << "<text class=\"dim\" x=\"" << Format("%.1f", label + bar * v / top + 6) << "\" y=\""
        << y + 15 << "\">" << HtmlText(Format(weighted ? "%.6g" : "%.0f", v))
        << Format(" (%.1f%%)", 100.0 * v / total) << "</text>\n";
    y += row;
  }
  out << "</svg>\n";
}

// Whether the selection tests p-values (fpr, fdr, fwe) and so cuts at a bound on the p-value;
// k and percentile cut after a number of predictors.
bool CutsAtBound(const std::string& selection) {
  return selection.rfind("fpr=", 0) == 0 || selection.rfind("fdr=", 0) == 0 ||
         selection.rfind("fwe=", 0) == 0;
}

// The bar chart of one criterion's best predictors, the selection's cut drawn across.
void EvidenceChart(std::ostream& out, const CriterionRanking& c, const std::string& selection) {
  const std::size_t shown = std::min(c.predictors.size(), kChartedPredictors);
  if (shown == 0) return;
  // The scale fits the bars of p-values above 0; a p-value of 0 (below the double range) would
  // flatten every other bar, so its bar runs off the end of the scale instead, unless all are 0.
  double top = 0.0;
  bool saturated = false;
  for (std::size_t k = 0; k < shown; ++k) {
    const std::optional<double>& value = c.predictors[k].value;
    if (IsPValue(c) && value && *value == 0.0) {
      saturated = true;
    } else {
      top = std::max(top, Evidence(c, value).value_or(0.0));
    }
  }
  if (saturated && top == 0.0) top = kLogFloor;
  const bool atBound = c.selected && CutsAtBound(selection);
  std::optional<double> cut;
  if (atBound && c.cutoff) cut = Evidence(c, c.cutoff);
  if (cut) top = std::max(top, *cut);
  // A p-value scale reaches at least 1 (p = 0.1): predictors without evidence keep short bars
  // instead of filling the chart when nothing stands out.
  if (IsPValue(c)) top = std::max(top, 1.0);
  if (!(top > 0.0)) top = 1.0;
  if (saturated) top *= 1.08;  // room to show where the long bars leave the scale
  const double step = TickStep(top);
  top = std::ceil(top / step - 1e-9) * step;

  const int label = 230, plot = 560, right = 90, row = 18, head = 24, axis = 36;
  const int width = label + plot + right;
  const int height = head + static_cast<int>(shown) * row + axis;
  const auto X = [&](double v) { return label + plot * std::min(v, top) / top; };
  out << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << width << "\" height=\"" << height
      << "\" viewBox=\"0 0 " << width << ' ' << height << "\" role=\"img\" aria-label=\""
      << HtmlText(c.name) << " chart\">\n";
  // Grid and axis.
  const int bottom = head + static_cast<int>(shown) * row;
  for (double t = 0.0; t <= top + step * 1e-6; t += step) {
    out << "<line class=\"grid\" x1=\"" << Format("%.1f", X(t)) << "\" y1=\"" << head - 4
        << "\" x2=\"" << Format("%.1f", X(t)) << "\" y2=\"" << bottom << "\"/>";
    out << "<text class=\"dim\" x=\"" << Format("%.1f", X(t)) << "\" y=\"" << bottom + 15
        << "\" text-anchor=\"middle\">" << Format("%g", t) << "</text>\n";
  }
  out << "<line class=\"axis\" x1=\"" << label << "\" y1=\"" << head - 4 << "\" x2=\"" << label
      << "\" y2=\"" << bottom << "\"/>\n";
  out << "<text class=\"dim\" x=\"" << label + plot / 2 << "\" y=\"" << bottom + 31
      << "\" text-anchor=\"middle\">"
      << (IsPValue(c) ? "&#8722;log10(p), larger is stronger" : HtmlText(c.value_label))
      << "</text>\n";
  // Bars.
  const std::size_t kept = c.selected.value_or(c.predictors.size());
  for (std::size_t k = 0; k < shown; ++k) {
    const RankedPredictor& p = c.predictors[k];
    const int y = head + static_cast<int>(k) * row;
    const std::optional<double> e = Evidence(c, p.value);
    out << "<g><title>" << HtmlText(p.name) << ": " << HtmlText(c.value_label) << ' '
        << HtmlText(Number(p.value).empty() ? "missing" : Number(p.value)) << "</title>";
    out << "<text x=\"" << label - 8 << "\" y=\"" << y + 13 << "\" text-anchor=\"end\">"
        << HtmlText(FitWidth(p.name, 30)) << "</text>";
    if (e) {
      out << "<rect class=\"" << (k < kept ? "kept" : "dropped") << "\" x=\"" << label << "\" y=\""
          << y + 3 << "\" width=\"" << Format("%.1f", X(*e) - label) << "\" height=\"" << row - 5
          << "\"/>";
      out << "<text class=\"dim\" x=\"" << Format("%.1f", X(*e) + 4) << "\" y=\"" << y + 13 << "\">"
          << EvidenceText(c, p.value) << "</text>";
    } else {
      out << "<text class=\"dim\" x=\"" << label + 4 << "\" y=\"" << y + 13 << "\">missing</text>";
    }
    out << "</g>\n";
  }
  // The cut: a vertical line at a p-value rule's bound; a line between the last kept and the
  // first dropped row otherwise.
  if (cut) {
    const std::string x = Format("%.1f", X(*cut));
    out << "<line class=\"cut\" x1=\"" << x << "\" y1=\"" << head - 6 << "\" x2=\"" << x
        << "\" y2=\"" << bottom << "\"/>";
    const bool leftward = X(*cut) > label + plot * 0.6;
    out << "<text class=\"cut\" x=\"" << Format("%.1f", X(*cut) + (leftward ? -6 : 6)) << "\" y=\""
        << head - 10 << "\" text-anchor=\"" << (leftward ? "end" : "start") << "\">"
        << HtmlText(selection) << ": p &lt; " << HtmlText(Number(c.cutoff)) << "</text>\n";
  } else if (c.selected && !atBound && *c.selected > 0 && *c.selected < shown) {
    const int y = head + static_cast<int>(*c.selected) * row - 1;
    out << "<line class=\"cut\" x1=\"" << 8 << "\" y1=\"" << y << "\" x2=\"" << label + plot
        << "\" y2=\"" << y << "\"/>";
    out << "<text class=\"cut\" x=\"" << label + plot << "\" y=\"" << y + 13
        << "\" text-anchor=\"end\">" << HtmlText(selection) << ": " << *c.selected
        << " kept above</text>\n";
  }
  out << "</svg>\n";
}

// Every ranked predictor of one criterion; a long table folds away.
void PredictorTable(std::ostream& out, const CriterionRanking& c) {
  const bool folded = c.predictors.size() > kChartedPredictors;
  if (folded) {
    out << "<details><summary>All " << HtmlText(GroupDigits(static_cast<long>(c.predictors.size())))
        << " ranked predictors</summary>\n";
  }
  out << "<table>\n<tr><th class=\"num\">Rank</th><th>Predictor</th><th>Type</th><th class=\"num\">"
      << HtmlText(c.value_label) << "</th>";
  if (IsPValue(c)) out << "<th class=\"num\">&#8722;log10 p</th>";
  out << "<th class=\"num\">Statistic</th><th class=\"num\">df</th>";
  if (c.selected) out << "<th>Kept</th>";
  out << "</tr>\n";
  for (const RankedPredictor& p : c.predictors) {
    const bool kept = c.selected && static_cast<std::size_t>(p.rank) <= *c.selected;
    out << "<tr" << (kept ? " class=\"kept\"" : "") << "><td class=\"num\">" << p.rank
        << "</td><td>" << HtmlText(p.name) << "</td><td>" << HtmlText(p.type)
        << "</td><td class=\"num\">" << HtmlText(Number(p.value)) << "</td>";
    if (IsPValue(c)) out << "<td class=\"num\">" << EvidenceText(c, p.value) << "</td>";
    out << "<td class=\"num\">";
    if (p.statistic) out << HtmlText(p.statistic_name) << ' ' << HtmlText(Number(p.statistic));
    out << "</td><td class=\"num\">" << HtmlText(Number(p.df));
    if (p.df2) out << ", " << HtmlText(Number(p.df2));
    out << "</td>";
    if (c.selected) out << "<td>" << (kept ? "<span class=\"yes\">yes</span>" : "") << "</td>";
    out << "</tr>\n";
  }
  out << "</table>\n";
  if (folded) out << "</details>\n";
}

}  // namespace

std::string HtmlText(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  const std::string replacement = "\xEF\xBF\xBD";
  for (std::size_t k = 0; k < text.size();) {
    const auto b = static_cast<unsigned char>(text[k]);
    if (b < 0x80) {
      switch (b) {
        case '&':
          out += "&amp;";
          break;
        case '<':
          out += "&lt;";
          break;
        case '>':
          out += "&gt;";
          break;
        case '"':
          out += "&quot;";
          break;
        case '\'':
          out += "&#39;";
          break;
        default:
          if (b < 0x20 && b != '\t' && b != '\n') {
            out += replacement;
          } else if (b == 0x7F) {
            out += replacement;
          } else {
            out.push_back(static_cast<char>(b));
          }
      }
      ++k;
      continue;
    }
    // A UTF-8 sequence: its length from the lead byte, its code point checked for overlong
    // forms, surrogates, the range, and XML's two non-characters U+FFFE and U+FFFF.
    std::size_t length = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 0;
    unsigned long cp = length == 4 ? (b & 0x07u) : length == 3 ? (b & 0x0Fu) : (b & 0x1Fu);
    bool valid = length > 0 && b <= 0xF4 && k + length <= text.size();
    for (std::size_t j = 1; valid && j < length; ++j) {
      const auto c = static_cast<unsigned char>(text[k + j]);
      valid = (c & 0xC0) == 0x80;
      cp = (cp << 6) | (c & 0x3Fu);
    }
    static const unsigned long kMinimum[] = {0, 0, 0x80, 0x800, 0x10000};
    valid = valid && cp >= kMinimum[length] && cp <= 0x10FFFF && !(cp >= 0xD800 && cp <= 0xDFFF) &&
            cp != 0xFFFE && cp != 0xFFFF && !(cp >= 0x80 && cp <= 0x9F);
    if (valid) {
      out.append(text, k, length);
      k += length;
    } else {
      out += replacement;
      ++k;
    }
  }
  return out;
}

void WriteHtmlReport(std::ostream& out, const RankingReport& report, const RunFacts& facts) {
  Head(out, "fsrank: " + report.target + " in " + report.file);
  out << "<h1>Which columns predict " << HtmlText(report.target) << "?</h1>\n";
  out << "<p class=\"sub\">" << HtmlText(report.file) << "</p>\n";

  out << "<h2 id=\"facts\">The run</h2>\n<dl class=\"facts\">\n";
  Fact(out, "File", HtmlText(report.file));
  Fact(out, "Target", HtmlText(report.target) + ", " + HtmlText(report.target_type));
  Fact(out, "Predictors",
       HtmlText(GroupDigits(static_cast<long>(report.predictors))) + " (" +
           HtmlText(GroupDigits(static_cast<long>(report.categorical_predictors))) +
           " categorical, " +
           HtmlText(
               GroupDigits(static_cast<long>(report.predictors - report.categorical_predictors))) +
           " continuous); " + HtmlText(GroupDigits(static_cast<long>(report.screened.size()))) +
           " screened out");
  std::string records = RecordsHtml(report.valid, report.weighted, report.weighted_valid) +
                        " valid, " +
                        RecordsHtml(report.excluded, report.weighted, report.weighted_excluded) +
                        " excluded (target missing, or no predictor value)";
  if (report.skipped > 0) {
    records += ", " + HtmlText(GroupDigits(report.skipped)) + " without a usable weight";
  }
  Fact(out, "Records", records);
  if (!report.selection.empty()) Fact(out, "Selection", HtmlText(report.selection));
  RunFactsHtml(out, facts);
  out << "</dl>\n";

  out << "<h2 id=\"target\">Target: " << HtmlText(report.target) << "</h2>\n";
  if (!report.target_categories.empty()) {
    out << "<p class=\"note\">" << report.target_categories.size()
        << " categories among the valid records" << (report.weighted ? ", weighted" : "")
        << ".</p>\n";
    CountChart(out, report.target_categories, report.weighted);
  } else {
    out << "<p class=\"note\">A " << HtmlText(report.target_type) << " target.</p>\n";
  }
  if (!report.note.empty()) out << "<p>" << HtmlText(report.note) << "</p>\n";

  for (const CriterionRanking& c : report.criteria) {
    out << "<h2 id=\"" << HtmlText(c.name) << "\">" << HtmlText(c.name) << "</h2>\n";
    out << "<p class=\"note\">" << HtmlText(c.description) << "; "
        << HtmlText(Plural(c.ranked, "predictor", "predictors")) << " ranked.";
    if (c.selected) {
      out << " <span class=\"yes\">" << HtmlText(report.selection) << " keeps "
          << HtmlText(GroupDigits(static_cast<long>(*c.selected))) << " of "
          << HtmlText(GroupDigits(static_cast<long>(c.ranked))) << "</span>.";
    } else if (!report.selection.empty()) {
      out << " " << HtmlText(report.selection) << " does not apply to this criterion.";
    }
    out << "</p>\n";
    if (c.predictors.size() > kChartedPredictors) {
      out << "<p class=\"note\">The best " << kChartedPredictors << " of "
          << HtmlText(GroupDigits(static_cast<long>(c.predictors.size()))) << ":</p>\n";
    }
    EvidenceChart(out, c, report.selection);
    PredictorTable(out, c);
  }

  out << "<h2 id=\"screened\">Screened out</h2>\n";
  if (report.screened.empty()) {
    out << "<p class=\"note\">No predictor was screened out.</p>\n";
  } else {
    out << "<table>\n<tr><th>Predictor</th><th>Type</th><th>Reason</th></tr>\n";
    for (const ScreenedPredictor& s : report.screened) {
      out << "<tr><td>" << HtmlText(s.name) << "</td><td>" << HtmlText(s.type) << "</td><td>"
          << HtmlText(s.reason_text) << "</td></tr>\n";
    }
    out << "</table>\n";
  }
  out << "</body>\n</html>\n";
}

void WriteHtmlCheckReport(std::ostream& out, const CheckReport& report, const RunFacts& facts) {
  Head(out, "fsrank check: " + report.file);
  std::size_t breaking = 0;
  for (const CheckedColumn& column : report.columns)
    breaking += column.reasons.empty() ? 0 : 1;
  out << "<h1>Check of " << HtmlText(Plural(report.columns.size(), "column", "columns"))
      << ", without a target</h1>\n<p class=\"sub\">" << HtmlText(report.file) << "</p>\n";
  out << "<h2 id=\"facts\">The run</h2>\n<dl class=\"facts\">\n";
  Fact(out, "File", HtmlText(report.file));
  Fact(out, "Columns",
       HtmlText(GroupDigits(static_cast<long>(report.columns.size()))) + " (" +
           HtmlText(GroupDigits(static_cast<long>(report.categorical_columns))) + " categorical)");
  std::string records =
      RecordsHtml(report.records, report.weighted, report.weighted_records) + " read";
  if (report.skipped > 0) {
    records += ", " + HtmlText(GroupDigits(report.skipped)) + " without a usable weight";
  }
  Fact(out, "Records", records);
  RunFactsHtml(out, facts);
  out << "</dl>\n";
  out << "<h2 id=\"columns\">Columns</h2>\n<p class=\"note\">"
      << HtmlText(Plural(breaking, "column breaks", "columns break")) << " screening rules; "
      << HtmlText(GroupDigits(static_cast<long>(report.columns.size() - breaking)))
      << " pass every rule.</p>\n";
  out << "<table>\n<tr><th>Column</th><th>Type</th><th>Rules broken</th></tr>\n";
  for (const CheckedColumn& column : report.columns) {
    out << "<tr" << (column.reasons.empty() ? "" : " class=\"flag\"") << "><td>"
        << HtmlText(column.name) << "</td><td>" << HtmlText(column.type) << "</td><td>";
    if (column.reasons.empty()) out << "<span class=\"note\">none</span>";
    for (std::size_t k = 0; k < column.reasons.size(); ++k) {
      out << (k ? "; " : "") << HtmlText(ReasonText(column.reasons[k], facts.thresholds));
    }
    out << "</td></tr>\n";
  }
  out << "</table>\n</body>\n</html>\n";
}

}  // namespace fsrank_cli
