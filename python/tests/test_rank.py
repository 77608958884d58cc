import json
import os
import pickle
import subprocess

import numpy as np
import pandas as pd
import pytest
import scipy.stats as ss

import fsrank

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
CREDIT = os.path.join(ROOT, "examples", "credit-g.csv")


def mixed(n=3000, seed=1):
    rng = np.random.default_rng(seed)
    y = rng.choice(["a", "b", "c"], n)
    df = pd.DataFrame({
        "text": rng.choice(["u", "v", "w", None], n, p=[.3, .3, .3, .1]),
        "cat": pd.Categorical(rng.choice(["p", "q"], n)),
        "num": np.where(rng.random(n) < .1, np.nan, rng.normal(size=n) + (y == "a")),
        "count": rng.integers(0, 5, n),
        "flag": pd.array(rng.random(n) < .5, dtype="boolean"),
        "y": y, "w": rng.integers(1, 4, n).astype(float)})
    df.loc[rng.random(n) < .05, "y"] = None
    df.loc[rng.random(n) < .05, "flag"] = pd.NA
    return df


def test_statistics_match_scipy_with_missing_values_and_weights():
    df = mixed()
    table = fsrank.rank(df, "y", weight="w", progress=True).table
    rows = df.dropna(subset=["y"])
    rows = rows.loc[rows.index.repeat(rows["w"].astype(int))]  # whole weights = repeated rows
    for col in ["text", "cat", "count", "flag"]:
        present = rows.dropna(subset=[col])
        crosstab = pd.crosstab(present[col], present["y"])
        for criterion, lambda_ in [("Pearson", None), ("Likelihood", "log-likelihood")]:
            stat, p, dof, _ = ss.chi2_contingency(crosstab, correction=False, lambda_=lambda_)
            row = table[(table.predictor == col) & (table.criterion == criterion)].iloc[0]
            assert row.statistic_value == pytest.approx(stat, rel=1e-10)
            assert row.value == pytest.approx(p, rel=1e-8) and row.df == dof
    present = rows.dropna(subset=["num"])
    f, p = ss.f_oneway(*[g["num"] for _, g in present.groupby("y")])
    row = table[(table.predictor == "num") & (table.criterion == "F-Statistic")].iloc[0]
    assert (row.statistic, row.df, row.df2) == ("F", 2, len(present) - 3)
    assert row.statistic_value == pytest.approx(f, rel=1e-10)


def test_continuous_target_t_test_matches_scipy():
    rng = np.random.default_rng(2)
    x = rng.normal(size=500)
    frame = pd.DataFrame({"x": x, "z": rng.normal(size=500), "y": x + rng.normal(size=500)})
    row = fsrank.rank(frame, "y").ranking("t").iloc[0]
    r, p = ss.pearsonr(frame.x, frame.y)
    assert row.predictor == "x" and row.df == 498
    assert row.statistic_value == pytest.approx(r * np.sqrt(498 / (1 - r * r)), rel=1e-10)


def test_same_result_from_arrays_chunks_and_merged_rankers():
    df = mixed().dropna(subset=["y"]).drop(columns="w")
    whole = fsrank.rank(df, "y").table
    chunks = fsrank.rank((df.iloc[k:k + 700] for k in range(0, len(df), 700)), "y").table
    pd.testing.assert_frame_equal(whole, chunks, rtol=1e-12)
    labels = {c: list(pd.unique(df[c].dropna())) for c in ["text", "count", "flag", "y"]}
    base = fsrank.Ranker("y").partial_fit(df.iloc[:5]).empty_copy(labels=labels)
    parts = [base.empty_copy().partial_fit(df.iloc[k::3]) for k in range(3)]
    merged = parts[0].merge(parts[1].merge(parts[2])).result().table
    pd.testing.assert_frame_equal(whole, merged, rtol=1e-9)
    with pytest.raises(fsrank.StateError, match="different columns"):
        parts[0].merge(fsrank.Ranker("y").partial_fit(df.drop(columns="cat")))
    # Into a ranker without data, the same checks as into any other.
    for empty, message in [(base.empty_copy(), "different columns"),
                           (fsrank.Ranker("text"), "different target"),
                           (fsrank.Ranker("y", criteria="Pearson"), "different criteria"),
                           (fsrank.Ranker("y", continuous=["count"]), "'count' is categorical")]:
        with pytest.raises(fsrank.StateError, match=message):
            empty.merge(fsrank.Ranker("y").partial_fit(df.drop(columns="cat")))
    # First chunks without a usable row leave the ranker usable, and their rows counted as
    # excluded (the target's type forced: an all-missing target has its type guessed again).
    for unusable, excluded in [(df.iloc[:50].assign(y=None, w=1.0), 100),
                               (df.iloc[:50].assign(w=0.0), 0)]:
        ranker = fsrank.Ranker("y", weight="w", categorical=["y"])
        for chunk in (unusable, unusable, df.assign(w=1.0)):
            ranker.partial_fit(chunk)
        pd.testing.assert_frame_equal(ranker.result().table, whole)
        assert ranker._engine.counts()[:2] == (len(df), excluded)
    numeric = df[["num", "count"]]
    from_array = fsrank.rank(numeric.to_numpy(), df["y"].to_numpy()).table
    assert from_array["statistic_value"].tolist() == pytest.approx(
        fsrank.rank(numeric.assign(y=df.y), "y").table["statistic_value"].tolist(), rel=1e-12)


@pytest.mark.skipif(not os.path.exists(os.path.join(ROOT, "build/debug/tools/fsrank")),
                    reason="the command-line program is not built")
def test_credit_ranking_equals_the_command_line_program():
    out = subprocess.run([os.path.join(ROOT, "build/debug/tools/fsrank"), "rank", CREDIT,
                          "--target", "class", "--format", "json", "--top", "0"],
                         capture_output=True, text=True, check=True).stdout
    result = fsrank.rank(pd.read_csv(CREDIT), "class")
    for criterion in json.loads(out)["criteria"]:
        ours = result.ranking(criterion["name"])
        assert ours["predictor"].tolist() == [p["name"] for p in criterion["predictors"]]
        for (_, mine), theirs in zip(ours.iterrows(), criterion["predictors"]):
            assert mine["value"] == pytest.approx(theirs["value"], rel=1e-8, abs=1e-300)
            assert mine["statistic_value"] == pytest.approx(theirs["statistic_value"], rel=1e-10)
    assert result.screened["reason"].tolist() == ["manyConst"]
    assert result.target_counts["count"].to_dict() == {"good": 700, "bad": 300}


def test_ranker_pickles_saves_and_restores_through_the_library_state(tmp_path):
    df = mixed().drop(columns="w")
    ranker = fsrank.Ranker("y").partial_fit(df.iloc[:1000])
    clone = pickle.loads(pickle.dumps(ranker))
    for r in (ranker, clone):
        r.partial_fit(df.iloc[1000:])
    expected = fsrank.rank(df, "y").table
    pd.testing.assert_frame_equal(clone.result().table, expected)
    for name in ("state.bin", "state.xml"):
        ranker.save(tmp_path / name)
        pd.testing.assert_frame_equal(fsrank.Ranker.load(tmp_path / name).result().table,
                                      expected, rtol=1e-12)
    state = ranker.__getstate__()
    state["state"] = state["state"][:40] + b"\x07" + state["state"][41:]
    with pytest.raises(fsrank.StateError):
        pickle.loads(pickle.dumps(ranker)).__setstate__(state)


def test_ctrl_c_cancels_the_pass_through_the_library_and_raises(monkeypatch):
    # The interrupt is raised from the first progress report, so it lands inside the library's
    # pass however fast the machine is; the pass must end as cancelled, not run to its end, and
    # the ranker goes back to where it was before the chunk.
    passes = []

    def interrupt(self, records, predictors):
        passes.append(ranker._engine)
        raise KeyboardInterrupt

    rng = np.random.default_rng(3)
    frame = pd.DataFrame(rng.normal(size=(4_000_000, 10)))
    frame["y"] = rng.integers(0, 3, len(frame))
    ranker = fsrank.Ranker("y").partial_fit(frame.iloc[:10])
    before = ranker.result().table
    monkeypatch.setattr(fsrank._ranker._Progress, "__call__", interrupt)
    ranker.progress = True
    with pytest.raises(KeyboardInterrupt):
        ranker.partial_fit(frame)
    assert passes[0].status()[0] == 1  # the library's pass ended as cancelled
    monkeypatch.undo()
    ranker.progress = False
    pd.testing.assert_frame_equal(ranker.result().table, before)


ERRORS = [
    (dict(target="nope"), fsrank.InputError, "target column 'nope'"),
    (dict(target="y", criteria=["Cramer"]), fsrank.OptionError, "not available"),
    (dict(target="y", criteria="best"), fsrank.OptionError, "unknown criterion"),
    (dict(target="y", max_missing=150), fsrank.OptionError, "percentage"),
    (dict(target="y", weight_conversion="up"), fsrank.OptionError, "weight_conversion"),
    (dict(target="y", categorical=["nope"]), fsrank.OptionError, "unknown column"),
    (dict(target="y", select="fdr=2"), fsrank.OptionError, "fdr must be"),
    (dict(target="y", select="top"), fsrank.OptionError, "is not RULE=VALUE"),
    (dict(target="y", weight="w0"), fsrank.InputError, "usable weight"),
]


@pytest.mark.parametrize("options,error,message", ERRORS)
def test_documented_errors(options, error, message):
    df = pd.DataFrame({"a": [1.5, 2.5, 3.5, 4.5], "b": list("xyxy"), "y": [0, 1, 0, 1],
                       "w0": 0.0})
    with pytest.raises(error, match=message):
        fsrank.rank(df, **options)


def test_row_major_and_column_major_frames_give_the_same_records():
    # A frame over a 2-D array holds its columns as fields of each row, a copied frame as
    # columns of their own: the binding reads them by different routes.
    rng = np.random.default_rng(4)
    values = rng.normal(size=(3000, 13))
    values[rng.random(values.shape) < .05] = np.nan
    values[:, 0] = rng.integers(0, 3, len(values))
    view = pd.DataFrame(values, columns=["y"] + ["x%d" % k for k in range(1, 13)])
    expected = fsrank.rank(view.copy(), "y").table
    pd.testing.assert_frame_equal(fsrank.rank(view, "y").table, expected)
    values[2000, 9], values[2000, 4], values[2500, 2] = -np.inf, np.inf, np.inf
    for frame in (view, view.copy()):
        with pytest.raises(fsrank.InputError, match="column 'x4', row 2000: an infinite"):
            fsrank.rank(frame, "y")


def test_a_refused_chunk_adds_nothing():
    chunk = pd.DataFrame({"a": np.arange(50.0), "c": ["p", "q"] * 25, "y": [0, 1, 1, 0, 0] * 10})
    bad = chunk.assign(c=chunk["c"].where(chunk.index != 40, "late"),
                       a=chunk["a"].replace(30, np.inf))
    for before in ([], [chunk]):
        want, got = fsrank.Ranker("y"), fsrank.Ranker("y")
        for ranker in [want, got] * len(before):
            ranker.partial_fit(chunk)
        with pytest.raises(fsrank.InputError, match="column 'a', row %d" % (30 + 50 * len(before))):
            got.partial_fit(bad)
        for ranker in (want, got):
            ranker.partial_fit(chunk)
        assert got.state_bytes() == want.state_bytes() and got.labels == want.labels


def test_input_faults_name_the_place():
    df = pd.DataFrame({"a": [1.5, np.inf, 2.5], "y": [0, 1, 0]})
    with pytest.raises(fsrank.InputError, match="column 'a', row 1: an infinite value"):
        fsrank.rank(df, "y")
    with pytest.raises(fsrank.InputError, match="no usable record"):
        fsrank.rank(pd.DataFrame({"a": [1.0, 2.0], "y": [None, None]}), "y")
    ranker = fsrank.Ranker("y").partial_fit(pd.DataFrame({"a": [1.0, 2.0], "y": [0, 1]}))
    with pytest.raises(fsrank.InputError, match="missing \\['a'\\]"):
        ranker.partial_fit(pd.DataFrame({"b": [1.0], "y": [0]}))
    with pytest.warns(fsrank.NothingRankedWarning, match="all missing or constant"):
        assert fsrank.rank(pd.DataFrame({"a": [1.0] * 4, "y": [0, 1, 0, 1]}), "y").table.empty
    categorical = mixed()[["text", "cat", "y"]]
    with pytest.raises(fsrank.OptionError, match="needs p-values"):
        fsrank.rank(categorical, "y", criteria=["Pearson", "Cramer"]).select("Cramer", fdr=0.1)
    assert isinstance(fsrank.InputError("x"), ValueError)
