"""The outcome of a ranking: tables, selection, XML documents, a chart and a notebook view."""

import html
import math
import warnings

import numpy as np
import pandas as pd

from ._errors import (ALL_DELETED_BY_CHECK, NO_PREDICTORS_LEFT, NothingRankedWarning,
                      OptionError, raise_for_status, status_text)
from ._selection import RULES, rule_text, select_count

CRITERIA = ("Pearson", "Likelihood", "Cramer", "Lambda", "F-Statistic", "t-Statistic")
PEARSON, LIKELIHOOD, CRAMER, LAMBDA, FSTAT, TSTAT = range(6)
_ALIASES = {
    "pearson": 0, "chi2": 0, "chisq": 0, "likelihood": 1, "lr": 1, "g2": 1, "cramer": 2,
    "cramer v": 2, "cramerv": 2, "v": 2, "lambda": 3, "f-statistic": 4, "f": 4, "fstat": 4,
    "f-stat": 4, "f-test": 4, "t-statistic": 5, "t": 5, "tstat": 5, "t-stat": 5, "t-test": 5}
REASONS = {1: ("allMissing", "every value is missing"),
           2: ("allConst", "constant: every value is the same"),
           3: ("manyMissing", "more than {0:g}% of the values are missing"),
           4: ("manyConst", "one category holds more than {1:g}% of the values"),
           5: ("manyCategs", "too many categories: more than {2:g}% of the number of values"),
           6: ("smallStdDev", "standard deviation below {4:g}"),
           7: ("smallVar", "coefficient of variation below {3:g}")}


def criterion_index(name):
    """The library's number of a criterion given by name (as the command-line program reads
    them: "Pearson", "chi2", "likelihood", "G2", "Cramer", "lambda", "F", "t", ...) or number."""
    if isinstance(name, (int, np.integer)) and 0 <= name < 6:
        return int(name)
    c = _ALIASES.get(str(name).strip().lower())
    if c is None:
        raise OptionError("unknown criterion %r (one of %s)" % (name, ", ".join(CRITERIA)))
    return c


def _statistic(engine, c, p, categorical, cat_target):
    """The statistic behind a criterion value: name, value, df, df2."""
    if categorical and cat_target:
        asked, name = {PEARSON: (PEARSON, "X2"), CRAMER: (PEARSON, "X2"),
                       LIKELIHOOD: (LIKELIHOOD, "G2")}.get(c, (None, None))
    elif categorical or cat_target:
        asked, name = FSTAT, "F"
    else:
        asked, name = TSTAT, "t"
    stats = engine.stats(asked, p) if asked is not None else None
    if stats is None:
        return None, math.nan, math.nan, math.nan
    _, b, s2, s3 = stats
    if asked == TSTAT:
        return name, s2, s3, math.nan
    if asked == FSTAT:
        return name, b, s2, s3
    return name, b, s2, math.nan


class RankResult:
    """A ranking: ``table`` (one row per criterion and ranked predictor), ``screened``,
    ``target_counts``, ``top()``, ``select()``, ``to_xml()``, ``plot()``."""

    def __init__(self, engine, predictors, target, status, rows):
        self._engine = engine
        self.predictors = [c.name for c in predictors]
        self._columns = predictors
        self.target = target.name
        self.target_categorical = target.categorical
        self._target = target
        self.rows = rows
        self.note = None
        if status[1] > 0 and status[0] in (ALL_DELETED_BY_CHECK, NO_PREDICTORS_LEFT):
            self.note = "Nothing was ranked: %s." % status_text(status[0])
            warnings.warn(self.note, NothingRankedWarning, stacklevel=3)
        self.valid, self.excluded, self.weighted_valid, self.weighted_excluded = engine.counts()
        flags = engine.criteria()
        mixed_cont = not target.categorical and engine.set_type() == 2
        # With a continuous target and mixed predictors the F-Statistic list ranks the t tests
        # of the continuous predictors too; the t-Statistic would repeat it.
        self.criteria = [CRITERIA[c] for c in range(6) if flags[c] and
                         not (c == TSTAT and mixed_cont)]
        self.selection = None
        self.table = self._build_table()
        self.screened = self._build_screened()

    def _build_table(self):
        rows = []
        cat_target = self.target_categorical
        if self.note is None:
            for name in self.criteria:
                c = CRITERIA.index(name)
                status, indices, values = self._engine.top(c)
                raise_for_status(status, name)
                measure = "V" if c == CRAMER else "lambda" if c == LAMBDA else "p-value"
                for k, (p, v) in enumerate(zip(indices.tolist(), values.tolist())):
                    col = self._columns[p]
                    stat, sv, df, df2 = _statistic(self._engine, c, p, col.categorical,
                                                   cat_target)
                    rows.append((col.name, p, "categorical" if col.categorical else
                                 "continuous", name, k + 1, v, measure, stat, sv, df, df2, False))
        table = pd.DataFrame(rows, columns=[
            "predictor", "index", "type", "criterion", "rank", "value", "measure", "statistic",
            "statistic_value", "df", "df2", "selected"])
        return table.astype({"index": "int64", "rank": "int64", "value": "float64",
                             "statistic_value": "float64", "df": "float64", "df2": "float64",
                             "selected": "bool"})

    def _build_screened(self):
        indices, reasons = self._engine.deleted()
        thresholds = self._engine.screening()
        rows = []
        for p, r in zip(indices, reasons):
            col = self._columns[p]
            word, text = REASONS.get(r, ("", "unknown reason %d" % r))
            rows.append((col.name, p, "categorical" if col.categorical else "continuous", word,
                         text.format(*thresholds)))
        return pd.DataFrame(rows, columns=["predictor", "index", "type", "reason",
                                           "reason_text"]).astype({"index": "int64"})

    @property
    def target_counts(self):
        """Counts of the target's categories (label, count, weighted count), most first as
        the library orders them; empty for a continuous target."""
        rows = [(self._target.labels[code] if 0 <= code < len(self._target.labels) else code,
                 n, w) for code, n, w in self._engine.target_categories()]
        frame = pd.DataFrame(rows, columns=["label", "count", "weighted"])
        return frame.set_index("label")

    @property
    def criterion(self):
        """The criterion used when none is named: the first computed."""
        if not self.criteria:
            raise OptionError("no criterion was computed: nothing was ranked")
        return self.criteria[0]

    def _name(self, criterion):
        if criterion is None:
            return self.criterion
        name = CRITERIA[criterion_index(criterion)]
        if name not in self.criteria:
            raise OptionError("the criterion %s was not computed (computed: %s)"
                              % (name, ", ".join(self.criteria) or "none"))
        return name

    def ranking(self, criterion=None):
        """The table's rows of one criterion, best first."""
        name = self._name(criterion)
        return self.table[self.table["criterion"] == name].reset_index(drop=True)

    def top(self, criterion=None, n=10):
        """The names of the n best predictors by the criterion."""
        return self.ranking(criterion)["predictor"].head(n).tolist()

    def select(self, criterion=None, **rule):
        """The predictors a selection rule keeps, best first: exactly one of k=K,
        percentile=P, fpr=A, fdr=A (Benjamini-Hochberg), fwe=A (Bonferroni)."""
        name = self._name(criterion)
        ranking = self.ranking(name)
        kept, _ = select_count(ranking["value"].to_numpy(), rule, name)
        return ranking["predictor"].head(kept).tolist()

    def with_selection(self, select, criterion=None):
        """This result with the table's `selected` column marking a rule's choice (select as
        "fdr=0.05", {"fdr": 0.05} or ("fdr", 0.05))."""
        name = self._name(criterion)
        ranking = self.ranking(name)
        kept, cut = select_count(ranking["value"].to_numpy(), select, name)
        keep = set(ranking["predictor"].head(kept))
        self.table["selected"] = (self.table["criterion"] == name) & self.table[
            "predictor"].isin(keep)
        self.selection = (name, rule_text(select), cut)
        return self

    def to_xml(self, criterion=None, n=0):
        """The library's result document: every criterion (FSOutputAll), or one (FSOutputOne,
        the best n, 0 = all)."""
        c = -1 if criterion is None else CRITERIA.index(self._name(criterion))
        status, text = self._engine.export_xml(c, int(n))
        raise_for_status(status, "XML export")
        return text

    def _scores(self, name):
        ranking = self.ranking(name)
        values = ranking["value"].to_numpy(dtype=float)
        if name in ("Cramer", "Lambda"):
            return ranking, values, name if name == "Lambda" else "Cramer's V"
        with np.errstate(divide="ignore"):
            scores = -np.log10(np.maximum(values, np.finfo(float).tiny))
        return ranking, scores, "-log10(p-value)"

    def plot(self, criterion=None, n=50, ax=None):
        """A horizontal bar chart of the best n predictors: -log10(p) (or the value for
        Cramer's V and lambda), selected ones highlighted, with the selection threshold."""
        import matplotlib.pyplot as plt
        name = self._name(criterion)
        ranking, scores, label = self._scores(name)
        ranking, scores = ranking.head(n), scores[:n]
        if ax is None:
            _, ax = plt.subplots(figsize=(7, 0.6 + 0.25 * max(len(ranking), 1)))
        colors = np.where(ranking["selected"].to_numpy(), "#2b6cb0", "#a0aec0")
        ax.barh(np.arange(len(ranking)), np.nan_to_num(scores), color=colors)
        ax.set_yticks(np.arange(len(ranking)), labels=ranking["predictor"].astype(str))
        ax.invert_yaxis()
        ax.set_xlabel(label)
        ax.set_title("%s: %s" % (self.target, name))
        if self.selection is not None and self.selection[0] == name:
            cut = self.selection[2]
            if name not in ("Cramer", "Lambda") and cut > 0:
                cut = -np.log10(cut)
            if np.isfinite(cut):
                ax.axvline(cut, color="#c53030", ls="--", label=self.selection[1])
                ax.legend(loc="lower right")
        return ax

    def __repr__(self):
        head = "<RankResult: target %r, %d predictors ranked by %s; %d screened out>" % (
            self.target, len(self.predictors) - len(self.screened),
            ", ".join(self.criteria) or "nothing", len(self.screened))
        return head

    def _repr_html_(self, n=20):
        parts = ["<div><p><b>fsrank</b>: target <code>%s</code> (%s), %d predictors, "
                 "%d valid records, %d excluded</p>" % (
                     html.escape(str(self.target)),
                     "categorical" if self.target_categorical else "continuous",
                     len(self.predictors), self.valid, self.excluded)]
        if self.note:
            parts.append("<p>%s</p>" % html.escape(self.note))
        for name in self.criteria:
            ranking = self.ranking(name)
            parts.append("<p><b>%s</b> (best %d of %d)</p>" % (
                html.escape(name), min(n, len(ranking)), len(ranking)))
            parts.append(ranking.head(n).drop(columns=["criterion"]).to_html(
                index=False, na_rep="", float_format=lambda x: "%.4g" % x))
        if len(self.screened):
            parts.append("<p><b>Screened out</b></p>")
            parts.append(self.screened.to_html(index=False))
        parts.append("</div>")
        return "\n".join(parts)


__all__ = ["RankResult", "CRITERIA", "RULES", "criterion_index"]
