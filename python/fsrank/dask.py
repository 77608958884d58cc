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

import pickle

import dask
import pandas as pd

from ._errors import FSRankError, InputError, OptionError
from ._ranker import Ranker

__all__ = ["rank", "fit", "partial_fit"]


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
    try:
        base, known = ranker.empty_copy(), True
    except InputError:  # a new ranker: the columns are those of the frame's first rows
        base, known = _schema(ranker, ddf), False
    parts = ddf.to_delayed()
    with _progress(ranker.progress):
        node = _tree([dask.delayed(_fit_partition)(p, base, k, len(parts))
                      for k, p in enumerate(parts)], split_every).compute()
        merged, table, _, dirty = node
        if dirty:
            # Read again, with every label known, the partitions whose codes clashed.
            again = base.empty_copy(labels=table)
            redo = _tree([dask.delayed(_fit_partition)(parts[k], again, k, len(parts))
                          for k in dirty], split_every).compute()
            merged = _merge(merged, redo[0])
    if merged is None:
        if not known:
            raise InputError("no data: every partition of the dask frame is empty")
        return ranker
    progress = ranker.progress
    ranker.merge(merged)
    ranker.progress = progress
    return ranker


def _schema(ranker, ddf):
    """An empty ranker with the columns, types and first labels of the frame's first rows."""
    sample = ranker.options["sample"]
    heads, rows = [], 0
    for k in range(ddf.npartitions):
        head = ddf.get_partition(k).head(sample - rows, npartitions=1)
        if len(head):
            heads.append(head)
            rows += len(head)
        if rows >= sample:
            break
    if not heads:
        raise InputError("no data: every partition of the dask frame is empty")
    probe = pickle.loads(pickle.dumps(ranker))
    try:
        probe.partial_fit(pd.concat(heads) if len(heads) > 1 else heads[0])
    except FSRankError as e:
        raise type(e)("the first %d rows: %s" % (rows, e)) from None
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
