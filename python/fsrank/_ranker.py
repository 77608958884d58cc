"""Ranking pandas and numpy data: the streaming Ranker and the one-call rank()."""

import json
import math
import os
from collections.abc import Iterable

import numpy as np
import pandas as pd

from . import _core
from ._errors import (NO_VALID_DATA, NO_VALID_WEIGHT, InputError, OptionError, StateError,
                      raise_for_status)
from ._frame import Column, as_frame, guess_type, infer_columns
from ._result import CRITERIA, RankResult, criterion_index

_CONVERSIONS = {"asis": 0, "round": 1, "truncate": 2}
_SCREENING = ("max_missing", "max_single", "max_categories", "min_cv", "min_sd")


def _criteria_rule(engine):
    kind, cat_target = engine.set_type(), engine.cat_target()
    if cat_target:
        return ("choose one or more of Pearson, Likelihood, Cramer, Lambda" if kind == 0 else
                "only F-Statistic applies" if kind == 1 else
                "F-Statistic and at least one of Pearson, Likelihood are needed; Cramer and "
                "Lambda do not apply")
    return ("only F-Statistic applies" if kind == 0 else
            "only t-Statistic applies" if kind == 1 else
            "F-Statistic and t-Statistic are both needed")


def _combination(engine):
    kind = engine.set_type()
    return "%s target with %s predictors" % (
        "a categorical" if engine.cat_target() else "a continuous",
        ("categorical", "continuous", "categorical and continuous")[kind])


def _apply_criteria(engine, names):
    if names is None:
        return
    if isinstance(names, str):
        names = [names]
    wanted = []
    for name in names:
        c = criterion_index(name)
        if c not in wanted:
            wanted.append(c)
    for c in wanted:
        if not engine.set_criterion(c, True):
            raise OptionError("the criterion %s is not available for %s: %s" % (
                CRITERIA[c], _combination(engine), _criteria_rule(engine)))
    for c in range(6):
        if c not in wanted and not engine.set_criterion(c, False):
            raise OptionError("%s cannot be left out for %s: %s" % (
                CRITERIA[c], _combination(engine), _criteria_rule(engine)))


class _Progress:
    """A tqdm bar fed by the library's reports: records read, then predictors ranked."""

    def __init__(self, enabled, total=None):
        self.bar = None
        if enabled:
            from tqdm.auto import tqdm
            self.bar = tqdm(total=total, unit=" records", unit_scale=True, leave=False)

    def __call__(self, records, predictors):
        if self.bar is None:
            return
        if records >= 0:
            self.bar.update(records - self.bar.n)
        else:
            self.bar.set_description("ranking: %d predictors" % predictors)

    def callback(self):
        return self if self.bar is not None else None

    def close(self):
        if self.bar is not None:
            self.bar.close()


class Ranker:
    """Ranks predictors over data given in pieces (``partial_fit``), in memory that does not
    grow with the rows; partial rankers of the same columns combine with ``merge``.

    ``target`` names the target column of the chunks (or give ``y`` to ``partial_fit``);
    ``weight`` likewise names a weight column. The other options are those of :func:`rank`.

    Category labels get codes in order of first appearance. Rankers that read different parts
    of the data and are merged must give the same labels the same codes: start them from
    ``empty_copy`` of one ranker, which can also fix the codes of labels known beforehand.
    """

    def __init__(self, target=None, *, weight=None, categorical=None, continuous=None,
                 criteria=None, weight_conversion="round", max_missing=None, max_single=None,
                 max_categories=None, min_cv=None, min_sd=None, screen=True, exact_tails=True,
                 sample=1000, progress=False):
        if weight_conversion not in _CONVERSIONS:
            raise OptionError("weight_conversion must be one of %s, got %r"
                              % (", ".join(_CONVERSIONS), weight_conversion))
        for name, value in [("max_missing", max_missing), ("max_single", max_single),
                            ("max_categories", max_categories)]:
            if value is not None and not 0 <= value <= 100:
                raise OptionError("%s is a percentage from 0 to 100, got %r" % (name, value))
        for name, value in [("min_cv", min_cv), ("min_sd", min_sd)]:
            if value is not None and not value >= 0:
                raise OptionError("%s must be a number >= 0, got %r" % (name, value))
        if criteria is not None:
            for name in [criteria] if isinstance(criteria, str) else criteria:
                criterion_index(name)
        self.target = target
        self.weight = weight
        self.options = dict(categorical=list(categorical or ()),
                            continuous=list(continuous or ()), criteria=criteria,
                            weight_conversion=weight_conversion, max_missing=max_missing,
                            max_single=max_single, max_categories=max_categories, min_cv=min_cv,
                            min_sd=min_sd, screen=screen, exact_tails=exact_tails, sample=sample)
        self.progress = progress
        self._engine = None
        self._target = None  # Column
        self._predictors = None  # [Column]
        self._rows = 0
        # Engines of the chunks read before the first usable row: the library keeps their
        # counts but refuses a further pass after one; they merge into the first engine that
        # reads a usable row.
        self._unusable = []
        self._guessed = False  # the types were guessed here, not described by another ranker

    # ----------------------------------------------------------------------------- reading
    def _split(self, data, y, weight):
        """The predictors' frame, the target series and the weight series of one chunk."""
        frame = as_frame(data)
        target_name = self.target if self.target is not None else "target"
        if y is None:
            if self.target is None:
                raise OptionError("no target: name the target column or give y")
            if self.target not in frame.columns:
                raise InputError("the target column %r is not in the data" % (self.target,))
            y = frame[self.target]
        else:
            y = pd.Series(np.asarray(y) if not isinstance(y, pd.Series) else y.to_numpy(),
                          name=target_name)
            if len(y) != len(frame):
                raise InputError("the target has %d values for %d rows" % (len(y), len(frame)))
        weight = self.weight if weight is None else weight
        w = None
        if weight is not None:
            if isinstance(weight, str):
                if weight not in frame.columns:
                    raise InputError("the weight column %r is not in the data" % (weight,))
                w = frame[weight]
            else:
                w = pd.Series(np.asarray(weight, dtype=float))
                if len(w) != len(frame):
                    raise InputError("the weight has %d values for %d rows"
                                     % (len(w), len(frame)))
        drop = [c for c in (self.target, weight) if isinstance(c, str) and c in frame.columns]
        return frame, [c for c in frame.columns if c not in drop], y, w

    def _start(self, frame, names, y, w):
        o = self.options
        if not names:
            raise InputError("there is no predictor column")
        if len(set(names)) != len(names):
            raise InputError("duplicate column names in the data")
        # Column by column: a frame of the predictors alone would be a copy of the data.
        self._predictors = infer_columns(
            frame, names, [c for c in o["categorical"] if c != self.target],
            [c for c in o["continuous"] if c != self.target], o["sample"])
        tcat = (True if self.target in o["categorical"] else
                False if self.target in o["continuous"] else guess_type(y, o["sample"]))
        name = y.name if getattr(y, "name", None) is not None else "target"
        target = Column(name, tcat)
        self._target = target

    def _new_engine(self, weighted):
        engine = _core.Engine([c.categorical for c in self._predictors], self._target.categorical,
                              weighted, _CONVERSIONS[self.options["weight_conversion"]])
        _apply_criteria(engine, self.options["criteria"])
        self._engine = engine

    def partial_fit(self, data, y=None, weight=None):
        """Adds the rows of a DataFrame (or 2-D array) to the ranking; returns the ranker.

        A chunk is added whole or not at all: a chunk refused for its columns or values (an
        infinite value, say) leaves the ranker as it was, so that the corrected chunk can be
        given again without counting any row twice."""
        kept = (self._target, self._predictors, self._guessed, self._unusable, self._engine)
        marks = [(c, len(c.labels)) for c in [kept[0]] + (kept[1] or []) if c is not None]
        # The binding stops at an infinite value after adding the rows before it: the engine then
        # goes back to the state the chunk started from (none for a new one). Keeping that state
        # costs as much as the state, not as the chunk, and a new engine costs nothing.
        before = self._engine.state_bytes() if self._engine is not None else None
        try:
            frame, w, arrays = self._prepare(data, y, weight)
            if frame is None:
                return self
            if self._engine is None:
                self._new_engine(w is not None)
            bar = _Progress(self.progress, len(frame))
            try:
                status, bad_column, bad_row = self._engine.accumulate(arrays, len(frame),
                                                                      bar.callback(), 0)
            finally:
                bar.close()
            if bad_column >= 0:
                layout = [self._target.name] + (["weight"] if w is not None else [])
                name = (layout + [c.name for c in self._predictors])[bad_column]
                raise InputError("column %r, row %d: an infinite value (use NaN for a missing "
                                 "value)" % (name, self._rows + bad_row))
        except BaseException:
            self._target, self._predictors, self._guessed, self._unusable, engine = kept
            self._engine = engine if before is None else _restore(before)
            for column, count in marks:
                column.forget_after(count)
            raise
        self._rows += len(frame)
        if status[0] in (NO_VALID_DATA, NO_VALID_WEIGHT):  # nothing usable so far
            self._unusable.append(self._engine)
            self._engine = None
            return self
        raise_for_status(status)
        while self._unusable:
            raise_for_status(self._engine.merge(self._unusable[-1]), "merge")
            self._unusable.pop()
        return self

    def _prepare(self, data, y, weight):
        """(frame, weight series, the arrays the binding reads) of a chunk; frame is None for an
        empty chunk."""
        frame, names, y, w = self._split(data, y, weight)
        if self._predictors is None:
            self._start(frame, names, y, w)
            self._guessed = True
        elif self._guessed and self._engine is None and len(frame):
            # Nothing usable read yet (the target missing throughout, say): the types are
            # guessed again, from this chunk. Those earlier chunks' counts are kept when the
            # types stay, dropped with the types they were read under otherwise.
            before = [self._target] + self._predictors
            self._start(frame, names, y, w)
            if ([(c.name, c.categorical) for c in before] ==
                    [(c.name, c.categorical) for c in [self._target] + self._predictors]):
                self._target, self._predictors = before[0], before[1:]
            else:
                self._unusable = []
        else:
            expected = [c.name for c in self._predictors]
            if names != expected:
                missing = [c for c in expected if c not in names]
                extra = [c for c in names if c not in expected]
                raise InputError("the chunk's columns differ from the first chunk's" +
                                 (": missing %s" % missing if missing else "") +
                                 (": unexpected %s" % extra if extra else ""))
            first = self._engine or (self._unusable[0] if self._unusable else None)
            if first is not None and (w is not None) != first.weighted():
                raise InputError("the chunk %s a weight but the first did not" %
                                 ("has" if w is not None else "lacks"))
        if len(frame) == 0:
            return None, w, None
        arrays = [self._target.encode(y)]
        if w is not None:
            arrays.append(w.to_numpy(dtype=np.float64, na_value=np.nan))
        for column in self._predictors:
            arrays.append(column.encode(frame[column.name]))
        return frame, w, arrays

    # ----------------------------------------------------------------------------- results
    def _ranked_engine(self, consume):
        if self._engine is None:
            if self._unusable:
                raise_for_status(self._unusable[-1].status())
            raise InputError("no data: call partial_fit first")
        engine = self._engine if consume else _restore(self.state_bytes())
        o = self.options
        engine.set_screening(*[math.nan if o[k] is None else float(o[k]) for k in _SCREENING])
        if not o["screen"]:
            engine.set_screen_flags(False)
        engine.set_exact_tails(bool(o["exact_tails"]))
        bar = _Progress(self.progress)
        try:
            status = engine.rank(o["screen"], bar.callback())
        finally:
            bar.close()
        raise_for_status(status)
        return engine, status

    def result(self, _consume=False):
        """Screens and ranks what was read so far (the ranker can go on reading)."""
        engine, status = self._ranked_engine(_consume)
        return RankResult(engine, self._predictors, self._target, status, self._rows)

    def merge(self, other):
        """Adds another ranker's data to this one (same columns and options); returns self."""
        if not isinstance(other, Ranker):
            raise TypeError("can only merge another Ranker")
        if other is self:
            raise StateError("a ranker cannot be merged into itself")
        if other._predictors is None:
            return self
        if self._predictors is not None:
            self._check_compatible(other)
        unusable = self._unusable + other._unusable
        if self._engine is None:
            # No data here yet: the other's columns, data and labels become this one's, with
            # this one's options, and labels known here keep their codes.
            self._check_options(other)
            mine = [] if self._predictors is None else [self._target] + self._predictors
            options, progress, rows = self.options, self.progress, self._rows
            self.__setstate__(other.__getstate__())
            self.options, self.progress = options, progress
            self._rows += rows
        else:
            if other._engine is not None:
                raise_for_status(self._engine.merge(other._engine), "merge")
            # Only now, with nothing refused, the labels that the other ranker met first.
            mine = [other._target] + other._predictors
            self._rows += other._rows
        for a, b in zip([self._target] + self._predictors, mine):
            a._table(b.labels[len(a.labels):])
        if self._engine is None:
            self._unusable = unusable
        else:
            for engine in unusable:
                raise_for_status(self._engine.merge(engine), "merge")
            self._unusable = []
        return self

    def _check_compatible(self, other):
        mine = [(c.name, c.categorical) for c in [self._target] + self._predictors]
        theirs = [(c.name, c.categorical) for c in [other._target] + other._predictors]
        if mine != theirs:
            raise StateError("the rankers have different columns or types")
        for a, b in zip([self._target] + self._predictors, [other._target] + other._predictors):
            if a.labels[: len(b.labels)] != b.labels[: len(a.labels)]:
                raise StateError("column %r: the rankers gave its labels different codes "
                                 "(learn the labels first, or feed the same first chunk)"
                                 % (a.name,))

    def _check_options(self, other):
        """What the library would check of a ranker without data: target, weight, criteria,
        weight conversion and the types this one forces."""
        mine, theirs = self.options, other.options
        for what, a, b in [("target", self.target, other.target),
                           ("weight", self.weight, other.weight),
                           ("criteria", mine["criteria"], theirs["criteria"]),
                           ("weight_conversion", mine["weight_conversion"],
                            theirs["weight_conversion"])]:
            if a != b:
                raise StateError("the rankers have different %s: %r and %r" % (what, a, b))
        types = {c.name: c.categorical for c in [other._target] + other._predictors}
        for name in mine["categorical"] + mine["continuous"]:
            if name in types and types[name] != (name in mine["categorical"]):
                raise StateError("column %r is %s in the other ranker" % (
                    name, "categorical" if types[name] else "continuous"))

    # ----------------------------------------------------------------------------- pieces
    def empty_copy(self, labels=None):
        """A ranker of the same columns, types, category codes and options, without data.

        Rankers of other pieces of the same data start from it, so that they code every known
        category alike and merge back (``merge``) into this one or into each other.
        `labels` ({column: [label, ...]}) appends categories not yet known to the codes."""
        if self._predictors is None:
            raise InputError("no columns yet: call partial_fit first")
        copy = Ranker.__new__(Ranker)
        copy._describe(self._description())
        copy._rows = 0
        copy._engine = None
        for column in [copy._target] + copy._predictors:
            if column.categorical:
                column._table(list((labels or {}).get(column.name, ())))
        return copy

    @property
    def labels(self):
        """{column: [label, ...]}: each categorical column's labels (the target's included) in
        the order of their codes, that is of their first appearance."""
        if self._predictors is None:
            return {}
        return {c.name: list(c.labels) for c in [self._target] + self._predictors
                if c.categorical}

    # ----------------------------------------------------------------------------- state
    def _description(self):
        return {"format": "fsrank-python-1", "target": self._target.to_dict(),
                "predictors": [c.to_dict() for c in self._predictors],
                "target_name": self.target, "weight": self.weight if isinstance(
                    self.weight, str) else None, "rows": self._rows, "options": self.options}

    def _describe(self, d):
        try:
            if d.get("format") != "fsrank-python-1":
                raise KeyError("format")
            self.target = d["target_name"]
            self.weight = d["weight"]
            self.options = dict(d["options"])
            self._target = Column.from_dict(d["target"])
            self._predictors = [Column.from_dict(c) for c in d["predictors"]]
            self._rows = int(d["rows"])
        except (KeyError, TypeError, ValueError) as e:
            raise StateError("the column description is malformed (%s)" % (e,)) from None
        self.progress = getattr(self, "progress", False)
        self._unusable = []
        self._guessed = False

    def _adopt(self, engine):
        types = [c.categorical for c in self._predictors]
        if (list(engine.predictor_types()) != types or
                engine.cat_target() != self._target.categorical or engine.layout()[0] != 0):
            raise StateError("the state does not match its column description")
        self._engine = engine

    def __getstate__(self):
        if self._predictors is None:
            return {"description": None, "init": (self.target, self.weight, self.options)}
        return {"description": self._description(),
                "state": None if self._engine is None else self.state_bytes()}

    def state_bytes(self):
        """The library's binary state of what was read so far (what ``save`` writes)."""
        if self._engine is None:
            raise InputError("no data: call partial_fit first")
        try:
            return self._engine.state_bytes()
        except ValueError as e:
            raise StateError(_restore_message(e)) from None

    def __setstate__(self, state):
        self.progress = False
        self._engine = None
        self._unusable = []
        self._guessed = False
        if state.get("description") is None:
            self.target, self.weight, self.options = state["init"]
            self._target = self._predictors = None
            self._rows = 0
            return
        self._describe(state["description"])
        if state.get("state") is None:  # an empty copy
            return
        self._adopt(_restore(bytes(state["state"])))

    def save(self, path, format=None):
        """Saves the library's state (binary, or XML with format="xml" or a .xml name) and the
        columns' description next to it in PATH.columns.json."""
        if self._engine is None:
            raise InputError("nothing to save: no data were read")
        path = os.fspath(path)
        xml = format == "xml" or (format is None and path.endswith(".xml"))
        status, written = self._engine.save_file(path, xml)
        raise_for_status(status, path)
        if not written:
            raise OSError("%s: cannot write the state" % path)
        with open(path + ".columns.json", "w", encoding="utf-8") as f:
            json.dump(self._description(), f, default=_json_label)

    @classmethod
    def load(cls, path, format=None):
        """A ranker restored from the files that ``save`` wrote."""
        path = os.fspath(path)
        xml = format == "xml" or (format is None and path.endswith(".xml"))
        try:
            with open(path + ".columns.json", encoding="utf-8") as f:
                description = json.load(f)
        except FileNotFoundError:
            raise StateError("%s.columns.json: missing (it describes the columns of the state)"
                             % path) from None
        except ValueError as e:
            raise StateError("%s.columns.json: not JSON (%s)" % (path, e)) from None
        ranker = cls.__new__(cls)
        ranker.progress = False
        ranker._describe(description)
        if not os.path.exists(path):
            raise FileNotFoundError(path)
        try:
            engine = _core.Engine.from_file(path, xml)
        except ValueError as e:
            raise StateError("%s: %s" % (path, _restore_message(e))) from None
        ranker._adopt(engine)
        return ranker


def _restore(data):
    try:
        return _core.Engine.from_bytes(data)
    except ValueError as e:
        raise StateError(_restore_message(e)) from None


def _json_label(value):
    if isinstance(value, np.generic):
        return value.item()
    raise StateError("a category label of type %s cannot be saved" % type(value).__name__)


def _restore_message(e):
    from ._errors import status_text
    text = str(e)
    if text.startswith("fsrank-status:"):
        return "the state cannot be used: " + status_text(int(text.split(":")[1]))
    return text


def rank(data, target=None, *, weight=None, categorical=None, continuous=None, criteria=None,
         weight_conversion="round", max_missing=None, max_single=None, max_categories=None,
         min_cv=None, min_sd=None, screen=True, exact_tails=True, sample=1000, progress=False,
         select=None, select_criterion=None):
    """Ranks the predictors of `data` for one target.

    data: a DataFrame (target and weight named by column), a 2-D numpy array with the target
    (and weight) given as arrays, or an iterable of DataFrame chunks such as
    ``pd.read_csv(path, chunksize=100_000)``, read one at a time in bounded memory.
    Column types are guessed as the command-line program guesses them (text, booleans,
    categories, and integers with at most 10 distinct values in the first `sample` rows are
    categorical); `categorical` and `continuous` list columns whose type is forced.
    The screening thresholds (`max_missing`, `max_single`, `max_categories` in percent,
    `min_cv`, `min_sd`) and `criteria` (names such as "Pearson", "likelihood", "F") default to
    the library's; ``screen=False`` skips screening. `select` (for example ``"fdr=0.05"`` or
    ``{"k": 10}``) marks the chosen predictors in the result's table.
    """
    if isinstance(target, (np.ndarray, pd.Series, list)):
        y, target = target, None
    else:
        y = None
    ranker = Ranker(target, weight=weight, categorical=categorical, continuous=continuous,
                    criteria=criteria, weight_conversion=weight_conversion,
                    max_missing=max_missing, max_single=max_single,
                    max_categories=max_categories, min_cv=min_cv, min_sd=min_sd, screen=screen,
                    exact_tails=exact_tails, sample=sample, progress=progress)
    if isinstance(data, (pd.DataFrame, np.ndarray)):
        ranker.partial_fit(data, y)
    elif isinstance(data, Iterable) and not isinstance(data, (str, bytes)):
        if y is not None:
            raise OptionError("with chunks, the target must be a column name")
        for chunk in data:
            ranker.partial_fit(chunk)
        if ranker._engine is None and not ranker._unusable:
            raise InputError("no data: the chunks were empty")
    else:
        raise InputError("data must be a DataFrame, a 2-D array or an iterable of DataFrames, "
                         "got %s" % type(data).__name__)
    result = ranker.result(_consume=True)
    if select is not None:
        result = result.with_selection(select, select_criterion)
    return result
