"""fsrank.dask on a local cluster of two worker processes: the same results as in memory."""
import os
import signal
import threading
import time

import numpy as np
import pandas as pd
import pytest

import fsrank

dask = pytest.importorskip("dask")
dd = pytest.importorskip("dask.dataframe")
distributed = pytest.importorskip("distributed")
import fsrank.dask  # noqa: E402

pytestmark = pytest.mark.filterwarnings("ignore::DeprecationWarning")


@pytest.fixture(scope="module")
def client():
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                  dashboard_address=":0", silence_logs=50) as cluster, \
            distributed.Client(cluster) as c:
        yield c


@pytest.fixture(autouse=True)
def no_hang():
    def stop(*_):
        raise TimeoutError("the test took more than 120 s")
    previous = signal.signal(signal.SIGALRM, stop)
    signal.alarm(120)
    yield
    signal.alarm(0)
    signal.signal(signal.SIGALRM, previous)


def frame(n=3000, seed=7):
    """Mixed types with missing values. Six partitions of 500 rows: the label "late" first
    appears in partition 4, which meets "u" before "v"; partition 5 meets "v" first (its codes
    clash, so it is read again)."""
    rng = np.random.default_rng(seed)
    y = rng.choice(["lo", "mid", "hi"], n)
    hi = (y == "hi") * 1.0
    text = rng.choice(["a", "b", "c"], n).astype(object)
    text[2100:2200] = "late"
    text[2400:2450] = np.where(np.arange(50) < 10, "u", "v")
    text[2600:2650] = np.where(np.arange(50) < 10, "v", "u")
    text[rng.random(n) < 0.05] = None
    df = pd.DataFrame({"num": rng.normal(hi * 0.3, 1.0), "count": rng.integers(0, 4, n) + hi,
                       "text": text, "flag": rng.random(n) < 0.3 + hi * 0.2,
                       "w": rng.uniform(0.5, 3.0, n).round(1), "y": y,
                       "yc": rng.normal(hi, 1.0)})
    df.loc[rng.random(n) < 0.05, "num"] = np.nan
    return df


def assert_same(got, want):
    assert got.rows == want.rows
    pd.testing.assert_frame_equal(got.screened, want.screened)
    pd.testing.assert_frame_equal(got.target_counts, want.target_counts, rtol=1e-12)
    exact = ["predictor", "index", "type", "criterion", "rank", "measure", "statistic", "df",
             "df2", "selected"]
    pd.testing.assert_frame_equal(got.table[exact], want.table[exact])
    np.testing.assert_allclose(got.table.statistic_value, want.table.statistic_value,
                               rtol=1e-10)
    p = (want.table.measure == "p-value").to_numpy()
    for mask, tol in [(p, 1e-8), (~p, 1e-10)]:
        np.testing.assert_allclose(got.table.value[mask], want.table.value[mask], rtol=tol)


@pytest.mark.parametrize("target, options", [
    ("y", {}),
    ("y", {"weight": "w", "select": "k=2"}),
    ("yc", {"weight": "w", "weight_conversion": "asis", "criteria": ["F", "t"]}),
    ("y", {"categorical": ["num"], "max_missing": 1, "screen": True}),
])
def test_same_as_in_memory(client, target, options):
    df = frame().drop(columns=["yc" if target == "y" else "y"])
    ddf = dd.from_pandas(df.assign(keep=df.index // 500 != 1), npartitions=6, sort=False)
    ddf = ddf[ddf.keep].drop(columns="keep")  # partition 1 is empty
    got = fsrank.dask.rank(ddf, target, split_every=2, **options)
    assert_same(got, fsrank.rank(ddf.compute(), target, **options))


def test_new_day_merged_into_saved_state(client, tmp_path):
    df = frame()
    day1, day2 = df.iloc[:2000].drop(columns="yc"), df.iloc[2000:].drop(columns="yc")
    fsrank.dask.fit(dd.from_pandas(day1, npartitions=3), "y").save(tmp_path / "day1")
    ranker = fsrank.dask.partial_fit(fsrank.Ranker.load(tmp_path / "day1"),
                                     dd.from_pandas(day2, npartitions=2))
    assert_same(ranker.result(), fsrank.rank(df.drop(columns="yc"), "y"))


def test_worker_killed_while_partitions_are_read(client):
    df = frame().drop(columns="yc")

    def slow(piece):
        time.sleep(0.25)
        return piece

    pieces = [dask.delayed(slow)(p) for p in np.array_split(df, 16)]
    ddf = dd.from_delayed(pieces, meta=df.iloc[:0])
    pid = list(client.run(os.getpid).values())[0]
    threading.Timer(1.0, os.kill, (pid, signal.SIGKILL)).start()
    got = fsrank.dask.rank(ddf, "y", split_every=3)
    assert pid not in client.run(os.getpid).values()
    assert_same(got, fsrank.rank(df, "y"))


def test_the_first_rows_partitions_are_read_once(client, tmp_path):
    df = frame().drop(columns="yc")

    def load(piece, k):
        with (tmp_path / str(k)).open("a") as f:
            f.write("x")
        return piece

    pieces = [dask.delayed(load)(p, k) for k, p in enumerate(np.array_split(df, 4))]
    got = fsrank.dask.rank(dd.from_delayed(pieces, meta=df.iloc[:0]), "y")  # 1000 rows: 2 parts
    assert_same(got, fsrank.rank(df, "y"))
    assert (tmp_path / "0").read_text() == (tmp_path / "1").read_text() == "x"


def test_bad_partitions_and_columns_are_named(client):
    df = frame().drop(columns="yc")
    pieces = np.array_split(df, 4)
    for bad, error, words in [
            (pieces[2].drop(columns="num").assign(z=1.0), fsrank.InputError,
             r"partition 2 of 4: .*missing \['num'\].*unexpected \['z'\]"),
            (pieces[2].drop(columns="y"), fsrank.InputError,
             "partition 2 of 4: the target column 'y' is not in the data")]:
        parts = [dask.delayed(p) for p in pieces[:2] + [bad] + pieces[3:]]
        ddf = dd.from_delayed(parts, meta=df.iloc[:0], verify_meta=False)
        with pytest.raises(error, match=words):
            fsrank.dask.rank(ddf, "y")
    ddf = dd.from_pandas(df, npartitions=2)
    with pytest.raises(fsrank.InputError, match="'nope' is not a column of the dask frame"):
        fsrank.dask.rank(ddf, "nope")
    with pytest.raises(fsrank.OptionError, match="unknown column.*'nope'"):
        fsrank.dask.rank(ddf, "y", categorical=["nope"])


def write_files(df, tmp_path):
    """Three CSV files of the frame: LF; CRLF with a byte-order mark; a header alone."""
    df = df.assign(text=df.text.replace("c", "c, quoted"))
    df.iloc[:1700].to_csv(tmp_path / "a.csv", index=False)
    with open(tmp_path / "b.csv", "w", encoding="utf-8-sig", newline="") as f:
        df.iloc[1700:].to_csv(f, index=False, lineterminator="\r\n")
    df.iloc[:0].to_csv(tmp_path / "c.csv", index=False)
    return df


@pytest.mark.parametrize("blocksize, target, options", [
    (1500, "y", {}),
    (4000, "yc", {"weight": "w", "weight_conversion": "asis", "criteria": ["F", "t"]}),
    (None, "y", {"weight": "w", "continuous": ["count"], "select": "k=2"}),
])
def test_csv_files_same_as_pandas(client, tmp_path, blocksize, target, options):
    write_files(frame().drop(columns=["yc" if target == "y" else "y"]), tmp_path)
    got = fsrank.dask.rank_csv(str(tmp_path / "*.csv"), target, blocksize=blocksize,
                               split_every=3, **options)
    # Numbers are read correctly rounded, which pandas does with float_precision="round_trip".
    want = pd.concat([pd.read_csv(tmp_path / f, float_precision="round_trip")
                      for f in ["a.csv", "b.csv"]], ignore_index=True)
    assert_same(got, fsrank.rank(want, target, **options))


def test_csv_bad_files_are_named(client, tmp_path):
    write_files(frame().drop(columns="yc"), tmp_path)
    (tmp_path / "d.csv").write_text("num,count,text,flag,w,y,extra\n1,2,a,True,1,lo,3\n")
    (tmp_path / "e.csv").write_text(open(tmp_path / "c.csv").read() + "1,2,a,True,1,lo,9\n")
    for files, error, words in [
            (["a.csv", "d.csv"], fsrank.InputError, r"d.csv: the columns differ.*'extra'"),
            (["a.csv", "e.csv"], fsrank.InputError, "e.csv, line 2: the row has more fields"),
            (["a.csv", "nope*.csv"], FileNotFoundError, "no file matches"),
    ]:
        with pytest.raises(error, match=words):
            fsrank.dask.rank_csv([tmp_path / f for f in files], "y")
    with pytest.raises(fsrank.InputError, match="'z' is not a column of .*a.csv"):
        fsrank.dask.rank_csv(tmp_path / "a.csv", "z")
