"""Ranking a dask DataFrame: one partial ranker per partition, merged in a tree.

Each partition is read by a :class:`fsrank.Ranker` on the worker that holds it; the partial
rankers travel between processes as the library's binary state (pickling a Ranker ships its
state bytes and its columns' description, nothing else) and are merged ``split_every`` at a
time, up a tree, into one. Screening and ranking run once, at the end, on the client.

Column types are inferred from the first ``sample`` rows, exactly as :func:`fsrank.rank`
infers them on the whole frame. Category codes follow the labels' first appearance, as in
memory: the labels of those first rows are known to every partition; a label first seen in a
later partition is appended by that partition alone. Two partial rankers merge when their
codes agree (one's labels continue the other's); a partition whose new labels clash with an
earlier partition's (say both met a different new label first) is read a second time, once
every label is known, with the final codes. Columns of few categories (which the first rows
show) and labels that appear in one partition only never need a second read; a column of
many distinct labels (identifiers, free text) makes most partitions read twice.
"""

import glob
import os
import pickle
import threading

import dask
import numpy as np
import pandas as pd

from . import _csv
from ._errors import FSRankError, InputError, OptionError, raise_for_status
from ._ranker import Ranker

__all__ = ["rank", "fit", "partial_fit", "rank_csv", "fit_csv", "partial_fit_csv"]


def rank(ddf, target, *, split_every=8, select=None, select_criterion=None, **options):
    """Ranks the predictors of a dask DataFrame for the column `target`.

    Takes the options of :func:`fsrank.rank` (`weight` must name a column) and returns the same
    result, up to the last digits that the order of additions changes. `split_every` is the
    fan-in of the merge tree."""
    result = fit(ddf, target, split_every=split_every, **options).result()
    if select is not None:
        result = result.with_selection(select, select_criterion)
    return result


def fit(ddf, target, *, split_every=8, **options):
    """A :class:`fsrank.Ranker` holding every row of the dask DataFrame (see :func:`rank`):
    save it, merge it, or add the next partitions with :func:`partial_fit`."""
    if options.get("weight") is not None and not isinstance(options["weight"], str):
        raise OptionError("with a dask frame, the weight must be the name of a column")
    return partial_fit(Ranker(target, **options), ddf, split_every=split_every)


def partial_fit(ranker, ddf, *, split_every=8):
    """Adds every row of the dask DataFrame to `ranker` (an empty one, or one that already
    holds data, such as yesterday's saved state) and returns it. Labels new to `ranker` get the
    next codes, in the order they first appear in the frame."""
    if not isinstance(ranker, Ranker):
        raise TypeError("partial_fit takes a fsrank.Ranker, got %s" % type(ranker).__name__)
    if not hasattr(ddf, "to_delayed") or not hasattr(ddf, "npartitions"):
        raise InputError("data must be a dask DataFrame, got %s" % type(ddf).__name__)
    if not isinstance(split_every, int) or split_every < 2:
        raise OptionError("split_every must be an integer >= 2, got %r" % (split_every,))
    if not isinstance(ranker.target, str):
        raise OptionError("with a dask frame, the target must be the name of a column")
    for name in [ranker.target, ranker.weight]:
        if name is not None and name not in ddf.columns:
            raise InputError("%r is not a column of the dask frame (columns: %s)"
                             % (name, ", ".join(map(repr, ddf.columns))))
    parts = ddf.to_delayed()
    try:
        base, known = ranker.empty_copy(), True
    except InputError:  # a new ranker: the columns are those of the frame's first rows
        base, known = _schema(ranker, ddf, parts), False
    return _reduce(ranker, base, known, len(parts), split_every,
                   lambda k, start: dask.delayed(_fit_partition)(parts[k], start, k, len(parts)))


def _reduce(ranker, base, known, count, split_every, task):
    """Merges the partial rankers task(k, base) for k < count into `ranker`; the pieces whose
    new labels clashed are read again with every label known."""
    with _progress(ranker.progress):
        node = _tree([task(k, base) for k in range(count)], split_every).compute()
        merged, table, _, dirty = node
        if dirty:
            again = base.empty_copy(labels=table)
            redo = _tree([task(k, again) for k in dirty], split_every).compute()
            merged = _merge(merged, redo[0])
    if merged is None:
        if not known:
            raise InputError("no data: every partition is empty")
        return ranker
    progress = ranker.progress
    ranker.merge(merged)
    ranker.progress = progress
    return ranker


def _schema(ranker, ddf, parts):
    """An empty ranker with the columns, types and first labels of the frame's first rows. The
    partitions those rows come from are kept in memory (persisted) and stand in for their
    entries of `parts`, so that ranking the frame does not read them a second time."""
    def read(n, k):
        kept = ddf.get_partition(k).persist()
        parts[k] = kept.to_delayed()[0]
        return kept.head(n, npartitions=1)

    head = _first_rows([lambda n, k=k: read(n, k) for k in range(ddf.npartitions)],
                       ranker.options["sample"],
                       "no data: every partition of the dask frame is empty")
    probe = pickle.loads(pickle.dumps(ranker))
    try:
        probe.partial_fit(head)
    except FSRankError as e:
        raise type(e)("the first %d rows: %s" % (len(head), e)) from None
    return probe.empty_copy()


def _fit_partition(frame, base, index, count):
    """(ranker or None when empty, labels, [index], []): one partition read by a copy of base."""
    ranker = pickle.loads(pickle.dumps(base))
    try:
        if not isinstance(frame, pd.DataFrame):
            raise InputError("not a DataFrame but %s" % type(frame).__name__)
        ranker.partial_fit(frame)
    except FSRankError as e:
        raise type(e)("partition %d of %d: %s" % (index, count, e)) from None
    if len(frame) == 0:
        return None, base.labels, [], []
    return ranker, ranker.labels, [index], []


def _tree(nodes, split_every):
    while len(nodes) > 1:
        nodes = [dask.delayed(_combine)(*nodes[k:k + split_every])
                 for k in range(0, len(nodes), split_every)]
    return nodes[0]


def _continues(a, b):
    n = min(len(a), len(b))
    return a[:n] == b[:n]


def _combine(*nodes):
    """Merges the nodes (in partition order) whose codes agree; the others' partitions are
    listed to be read again. The labels are the ordered union: first appearance order."""
    merged, table, parts, dirty = None, None, [], []
    for ranker, labels, their_parts, their_dirty in nodes:
        dirty = dirty + their_dirty
        if table is None:
            table = {name: list(values) for name, values in labels.items()}
        elif all(_continues(table[name], labels[name]) for name in table):
            for name, values in labels.items():
                table[name] += values[len(table[name]):]
        else:
            for name, values in labels.items():
                known = set(table[name])
                table[name] += [v for v in values if v not in known]
            dirty = dirty + their_parts
            continue
        if ranker is not None:
            merged = _merge(merged, ranker)
            parts = parts + their_parts
    return merged, table, parts, sorted(dirty)


def _merge(into, other):
    if into is None:
        # A copy: the inputs of a task may be kept by the worker and used again on a retry.
        return None if other is None else pickle.loads(pickle.dumps(other))
    return into if other is None else into.merge(other)


class _progress:
    def __init__(self, enabled):
        self.bar = None
        if enabled:
            from dask.diagnostics import ProgressBar
            self.bar = ProgressBar()

    def __enter__(self):
        if self.bar is not None:
            self.bar.__enter__()

    def __exit__(self, *exc):
        if self.bar is not None:
            self.bar.__exit__(*exc)


# ----------------------------------------------------------------------------- CSV files
def rank_csv(paths, target, *, blocksize=64 << 20, delimiter=",", split_every=8, select=None,
             select_criterion=None, **options):
    """Ranks the predictors of CSV files (a glob pattern, a path or a list of them) for the
    column `target`, with the result of ``fsrank.rank(pd.concat(pd.read_csv(f) for f in
    files), target, **options)``.

    Each worker parses its byte ranges (`blocksize` bytes; None: whole files) natively, without
    pandas, into a partial ranker; the rest is as in :func:`rank`. The files need a header row
    naming the same columns; a quoted field holding a line break needs ``blocksize=None``."""
    result = fit_csv(paths, target, blocksize=blocksize, delimiter=delimiter,
                     split_every=split_every, **options).result()
    if select is not None:
        result = result.with_selection(select, select_criterion)
    return result


def fit_csv(paths, target, *, blocksize=64 << 20, delimiter=",", split_every=8, **options):
    """A :class:`fsrank.Ranker` holding every row of the CSV files (see :func:`rank_csv`)."""
    if options.get("weight") is not None and not isinstance(options["weight"], str):
        raise OptionError("with CSV files, the weight must be the name of a column")
    return partial_fit_csv(Ranker(target, **options), paths, blocksize=blocksize,
                           delimiter=delimiter, split_every=split_every)


def partial_fit_csv(ranker, paths, *, blocksize=64 << 20, delimiter=",", split_every=8):
    """Adds every row of the CSV files to `ranker` (see :func:`partial_fit`) and returns it."""
    if not isinstance(ranker, Ranker):
        raise TypeError("partial_fit_csv takes a fsrank.Ranker, got %s" % type(ranker).__name__)
    if not isinstance(split_every, int) or split_every < 2:
        raise OptionError("split_every must be an integer >= 2, got %r" % (split_every,))
    if blocksize is not None and (not isinstance(blocksize, int) or blocksize < 2):
        raise OptionError("blocksize must be a number of bytes >= 2 or None, got %r"
                          % (blocksize,))
    if not isinstance(delimiter, str) or len(delimiter.encode()) != 1 or delimiter in "\r\n\"":
        raise OptionError("the delimiter must be one byte other than a quote or a line end, "
                          "got %r" % (delimiter,))
    if not isinstance(ranker.target, str):
        raise OptionError("with CSV files, the target must be the name of a column")
    files = _expand(paths)
    head, names = _head(files, ranker.options["sample"], delimiter)
    for name in [ranker.target, ranker.weight]:
        if name is not None and name not in names:
            raise InputError("%r is not a column of %s (columns: %s)"
                             % (name, files[0], ", ".join(map(repr, names))))
    try:
        base, known = ranker.empty_copy(), True
    except InputError:
        probe = pickle.loads(pickle.dumps(ranker))
        try:
            probe.partial_fit(head)
        except FSRankError as e:
            raise type(e)("%s, the first %d rows: %s" % (files[0], len(head), e)) from None
        base, known = probe.empty_copy(), False
    kinds = _kinds(base, head)
    blocks = []
    for path in files:
        size = os.path.getsize(path)
        step = size if blocksize is None else blocksize
        blocks += [(path, start, min(start + step, size)) for start in range(0, max(size, 1), step)]

    def task(k, start):
        return dask.delayed(_fit_block)(blocks[k], start, kinds, names, delimiter, k)

    return _reduce(ranker, base, known, len(blocks), split_every, task)


def _expand(paths):
    items = [paths] if isinstance(paths, (str, os.PathLike)) else list(paths)
    files = []
    for item in items:
        item = os.fspath(item)
        found = sorted(glob.glob(item)) if glob.has_magic(item) else [item]
        if not found:
            raise FileNotFoundError("no file matches %s" % item)
        files += found
    if not files:
        raise InputError("no CSV file given")
    for path in files:
        if not os.path.isfile(path):
            raise FileNotFoundError(path)
    return files


def _first_rows(parts, sample, empty):
    """The first `sample` rows of the parts in order; each part is a function giving at most n
    of its first rows. Raises InputError(empty) when no part has a row."""
    heads, rows = [], 0
    for part in parts:
        head = part(sample - rows)
        if len(head):
            heads.append(head)
            rows += len(head)
        if rows >= sample:
            break
    if not heads:
        raise InputError(empty)
    return pd.concat(heads, ignore_index=True) if len(heads) > 1 else heads[0]


def _head(files, sample, delimiter):
    """The first `sample` rows (read by pandas, over as many files as needed) and the names."""
    names = []

    def read(path, n):
        try:
            head = pd.read_csv(path, nrows=n, sep=delimiter,
                               float_precision="round_trip")  # as the workers read them
        except (ValueError, UnicodeDecodeError) as e:  # pandas' ParserError is a ValueError
            raise InputError("%s: %s" % (path, e)) from None
        if not names:
            names.extend(str(c) for c in head.columns)
        return head

    head = _first_rows([lambda n, p=p: read(p, n) for p in files], sample,
                       "no data: the CSV files have no rows")
    return head, names


def _kinds(base, head):
    """Per column of the files: ('c', None) continuous, ('n', int labels?) numbered categories,
    ('t', booleans?) text categories; numbered when pandas reads the first rows as numbers."""
    categorical = {c.name: c.categorical for c in [base._target] + base._predictors}
    kinds = []
    for name in head.columns:
        dtype = head[name].dtype
        if not categorical.get(name, False):
            kinds.append(("c", None))
        elif pd.api.types.is_bool_dtype(dtype):
            kinds.append(("t", True))
        elif pd.api.types.is_numeric_dtype(dtype):
            kinds.append(("n", dtype.kind in "iu"))
        else:
            kinds.append(("t", False))
    return kinds


_BOOLEANS = {"True": True, "true": True, "TRUE": True, "False": False, "false": False,
             "FALSE": False}


class _Buffers(threading.local):
    """Per thread, a block's bytes and its parsed columns, kept from one block to the next:
    fresh memory costs a page fault per page, memory used again does not."""

    def __init__(self):
        self.data = bytearray()
        self.outputs = {}  # column position -> array

    def _read(self, f, at, count):
        """Reads up to `count` bytes into data[at:]; returns how many."""
        if len(self.data) < at + count + 1:
            self.data += bytes(max(at + count + 1, len(self.data) * 5 // 4) - len(self.data))
        done = 0
        with memoryview(self.data) as view:
            while done < count:
                got = f.readinto(view[at + done:at + count])
                if not got:
                    break
                done += got
        return done

    def block(self, path, start, end):
        """(skip, size): the rows that start in [start, end) of the file are data[skip:size],
        followed by a line end; rows are cut at LF."""
        begin = max(start - 1, 0)
        with open(path, "rb") as f:
            f.seek(begin)
            size = self._read(f, 0, end - begin)
            while size and self.data[size - 1] != 10:
                # The row that starts before `end` runs on to its line end.
                got = self._read(f, size, 1 << 16)
                cut = self.data.find(b"\n", size, size + got)
                size = cut + 1 if cut >= 0 else size + got
                if cut >= 0 or not got:
                    break
        skip = 0
        if start > 0:
            skip = self.data.find(b"\n", 0, size) + 1
            if skip == 0 or skip >= end - begin:  # no row starts in the range
                skip = size
        elif self.data[:3] == b"\xef\xbb\xbf":  # a UTF-8 byte-order mark is not data
            skip = 3
        self.data[size] = 10
        return skip, size

    def columns(self, kinds, rows):
        """Arrays for the columns of `kinds`, each of `rows` elements or more."""
        out = []
        for k, kind in enumerate(kinds):
            dtype = np.float64 if kind == "c" else np.int32
            a = self.outputs.get(k)
            if a is None or len(a) < rows or a.dtype != dtype:
                a = self.outputs[k] = np.empty(max(rows, 1024), dtype=dtype)
            out.append(a)
        return out


_buffers = _Buffers()
_BOOLEANS = {"True": True, "true": True, "TRUE": True, "False": False, "false": False,
             "FALSE": False}


def _fit_block(block, base, kinds, names, delimiter, index):
    """(ranker or None, labels, [index], []): the rows of one byte range of a file."""
    path, start, end = block
    skip, size = _buffers.block(path, start, end)
    data = _buffers.data
    lines = data.count(b"\n", skip, size) + 1
    if data.find(b"\r", skip, size) >= 0:
        lines += data.count(b"\r", skip, size)
    outputs = _buffers.columns([k for k, _ in kinds], lines)
    header = start == 0
    with memoryview(data) as view:
        got, rows, labels, line, error = _csv.parse(
            view[skip:size + 1], size - skip, "".join(k for k, _ in kinds), delimiter, header,
            outputs)
    where = path if header else "%s, bytes %d-%d" % (path, start, end)
    if header and got != names:
        missing = [c for c in names if c not in got]
        extra = [c for c in got if c not in names]
        raise InputError("%s: the columns differ from the first file's%s%s" % (
            path, ": missing %s" % missing if missing else "",
            ": unexpected %s" % extra if extra else "" if missing else
            ": %s in place of %s" % (got, names)))
    if error:
        raise InputError("%s, line %d%s: %s" % (where, line, "" if header else " of the range",
                                                 error))
    if rows == 0:
        return None, base.labels, [], []
    ranker = pickle.loads(pickle.dumps(base))
    columns = {c.name: c for c in [ranker._target] + ranker._predictors}
    arrays = {}
    for name, (kind, flag), values, found in zip(names, kinds, outputs, labels):
        values = values[:rows]
        if kind != "c":
            if kind == "n" and flag:
                found = [int(v) if v.is_integer() else v for v in found]
            elif kind == "t" and flag:
                found = [_BOOLEANS.get(v, v) for v in found]
            # The block's codes become the ranker's: the labels it knows keep their codes, new
            # ones get the next (Column._table); -1 (missing) stays.
            table = columns[name]._table(found).astype(np.int32)
            np.take(table, values, out=values, mode="wrap")
        arrays[name] = values
    order = [ranker._target.name] + ([ranker.weight] if ranker.weight is not None else [])
    order += [c.name for c in ranker._predictors]
    if ranker._engine is None:
        ranker._new_engine(ranker.weight is not None)
    status, bad_column, bad_row = ranker._engine.accumulate([arrays[n] for n in order], rows,
                                                            None, 0)
    if bad_column >= 0:
        raise InputError("%s: column %r, row %d%s: an infinite value (leave a missing value "
                         "empty)" % (where, order[bad_column], bad_row + 1,
                                     "" if header else " of the range"))
    try:
        raise_for_status(status)
    except FSRankError as e:
        raise type(e)("%s: %s" % (where, e)) from None
    ranker._rows += rows
    return ranker, ranker.labels, [index], []
