"""Columns of pandas frames as the library reads them: type inference (the command-line
program's rules) and encoding into numpy arrays that the binding reads in place.

A categorical column becomes integer codes (negative = missing) given in order of first
appearance over every chunk seen, with the labels kept here; a continuous column is passed as
its own numeric buffer (NaN = missing) whenever its dtype allows, without a copy."""

import numpy as np
import pandas as pd

from ._errors import InputError, OptionError

# Integer columns with at most this many distinct values in the sample are categorical.
MAX_INTEGER_LEVELS = 10
_NATIVE = set("dfbhilqBHILQ?")


def _is_text(dtype):
    return dtype == object or pd.api.types.is_string_dtype(dtype)


def _numeric_object(values):
    """The values of an object column as floats when every present one is a number, else None."""
    present = values[pd.notna(values)]
    if len(present) == 0:
        return None
    converted = pd.to_numeric(pd.Series(present), errors="coerce")
    if converted.isna().any() or np.isinf(converted.to_numpy(dtype=float)).any():
        return None
    return converted


def guess_type(series, sample):
    """True when the column is categorical: text, booleans, categories, and numbers that are
    integers with at most ten distinct values among the first `sample` rows."""
    dtype = series.dtype
    if isinstance(dtype, pd.CategoricalDtype) or pd.api.types.is_bool_dtype(dtype):
        return True
    head = series.iloc[:sample]
    if _is_text(dtype):
        numbers = _numeric_object(head.to_numpy(dtype=object))
        if numbers is None:
            return head.notna().any()
        values = numbers.to_numpy(dtype=float)
    elif isinstance(dtype, np.dtype) and dtype.kind in "fiu":
        values = head.to_numpy().astype(float)
    elif pd.api.types.is_numeric_dtype(dtype):
        values = head.to_numpy(dtype=float, na_value=np.nan)
    else:
        raise InputError("column %r: unsupported dtype %s" % (series.name, dtype))
    values = values[~np.isnan(values)]
    if len(values) == 0:
        return False
    if not np.all(np.floor(values) == values):
        return False
    return len(np.unique(values[: 4 * sample])) <= MAX_INTEGER_LEVELS


class Column:
    """One column's name, type and, for a categorical one, its labels in code order."""

    def __init__(self, name, categorical, labels=()):
        self.name = name
        self.categorical = bool(categorical)
        self.labels = list(labels)
        self._codes = {label: k for k, label in enumerate(self.labels)}

    def forget_after(self, count):
        """Drops the labels after the first `count` (those a refused chunk brought)."""
        for label in self.labels[count:]:
            del self._codes[label]
        del self.labels[count:]

    def to_dict(self):
        return {"name": self.name, "categorical": self.categorical, "labels": self.labels}

    @classmethod
    def from_dict(cls, d):
        return cls(d["name"], d["categorical"], d["labels"])

    def _table(self, uniques):
        """Global codes for a chunk's unique labels, new labels appended; -1 last (missing)."""
        table = np.empty(len(uniques) + 1, dtype=np.int64)
        for k, label in enumerate(uniques):
            code = self._codes.get(label)
            if code is None:
                code = self._codes[label] = len(self.labels)
                self.labels.append(label)
            table[k] = code
        table[-1] = -1
        return table

    def encode(self, series):
        """The column as a numpy array the binding reads in place; codes for a categorical one."""
        if self.categorical:
            if isinstance(series.dtype, pd.CategoricalDtype):
                codes = series.cat.codes.to_numpy()
                uniques = series.cat.categories
            else:
                codes, uniques = pd.factorize(series, use_na_sentinel=True)
            table = self._table(list(uniques))
            if np.array_equal(table[:-1], np.arange(len(uniques))) and codes.dtype.kind == "i":
                return codes  # the chunk's codes are already the global ones
            return table[codes]
        dtype = series.dtype
        if isinstance(dtype, np.dtype) and dtype.char in _NATIVE and dtype.kind != "i":
            return series.to_numpy()
        if isinstance(dtype, np.dtype) and dtype.kind == "i":
            # Signed integers reach the binding as floats: a negative value is not missing here.
            return series.to_numpy(dtype=np.float64)
        if _is_text(dtype):
            return pd.to_numeric(series, errors="coerce").to_numpy(dtype=np.float64,
                                                                    na_value=np.nan)
        if isinstance(dtype, pd.CategoricalDtype):
            values = np.asarray(series.cat.categories, dtype=np.float64)
            return np.append(values, np.nan)[series.cat.codes.to_numpy()]
        try:
            return series.to_numpy(dtype=np.float64, na_value=np.nan)
        except (TypeError, ValueError) as e:
            raise InputError("column %r cannot be read as numbers: %s" % (self.name, e)) from None


def infer_columns(frame, names, categorical, continuous, sample):
    """Columns for `names` of the frame, typed by the overrides or else by inference."""
    categorical = set(categorical or ())
    continuous = set(continuous or ())
    both = categorical & continuous
    if both:
        raise OptionError("column(s) both categorical and continuous: %s" % ", ".join(
            map(repr, sorted(both, key=str))))
    unknown = (categorical | continuous) - set(frame.columns)
    if unknown:
        raise OptionError("unknown column(s) in categorical/continuous: %s" % ", ".join(
            map(repr, sorted(unknown, key=str))))
    columns = []
    for name in names:
        if name in categorical:
            kind = True
        elif name in continuous:
            kind = False
        else:
            kind = guess_type(frame[name], sample)
        columns.append(Column(name, kind))
    return columns


def as_frame(data, prefix="x"):
    """A DataFrame view of a DataFrame or a 2-D array (columns x0, x1, ...)."""
    if isinstance(data, pd.DataFrame):
        return data
    array = np.asarray(data)
    if array.ndim != 2:
        raise InputError("data must be a DataFrame or a 2-D array, got %d dimension(s)"
                         % array.ndim)
    return pd.DataFrame(array, columns=["%s%d" % (prefix, k) for k in range(array.shape[1])],
                        copy=False)
