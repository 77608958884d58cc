import numpy as np
import pandas as pd
from sklearn.compose import ColumnTransformer
from sklearn.feature_selection import GenericUnivariateSelect, f_classif
from sklearn.linear_model import LogisticRegression
from sklearn.model_selection import GridSearchCV
from sklearn.pipeline import make_pipeline
from sklearn.preprocessing import OneHotEncoder
from sklearn.utils.estimator_checks import check_estimator

from fsrank.sklearn import RankSelector


def data(n=400, seed=0):
    rng = np.random.default_rng(seed)
    y = rng.integers(0, 2, n)
    X = pd.DataFrame({"signal": rng.normal(size=n) + 2 * y, "noise": rng.normal(size=n),
                      "colour": np.where(y == 1, "red", rng.choice(["red", "blue"], n)),
                      "size": pd.Categorical(rng.choice(["s", "m", "l"], n))})
    return X, y


def test_passes_scikit_learns_estimator_checks():
    check_estimator(RankSelector())


def test_modes_agree_with_generic_univariate_select_on_numeric_data():
    rng = np.random.default_rng(1)
    X = rng.normal(size=(300, 12)) + np.outer(rng.integers(0, 3, 300), np.linspace(0, .5, 12))
    y = (X[:, -1] + 3 * rng.normal(size=300) > 1).astype(int)
    for mode, param in [("k_best", 4), ("percentile", 50), ("fpr", 1e-3), ("fdr", 1e-2),
                        ("fwe", 1e-2)]:
        ours = RankSelector(mode=mode, param=param).fit(X, y)
        theirs = GenericUnivariateSelect(f_classif, mode=mode, param=param).fit(X, y)
        np.testing.assert_allclose(ours.pvalues_, theirs.pvalues_, rtol=1e-9)
        assert (ours.get_support() == theirs.get_support()).all(), mode


def test_mixed_frame_in_pipeline_column_transformer_and_grid_search():
    X, y = data()
    selector = RankSelector(param=2).set_output(transform="pandas")
    kept = selector.fit_transform(X, y)
    assert list(kept.columns) == ["signal", "colour"] and kept["colour"].dtype == object
    assert list(selector.get_feature_names_out()) == ["signal", "colour"]
    encode = ColumnTransformer([("cat", OneHotEncoder(handle_unknown="ignore"),
                                 lambda frame: [c for c in frame.columns if c in ("colour", "size")])],
                               remainder="passthrough")
    pipeline = make_pipeline(RankSelector(), encode, LogisticRegression())
    search = GridSearchCV(pipeline, {"rankselector__param": [1, 2, 3]}, cv=3).fit(X, y)
    assert search.best_score_ > 0.8
    inside = ColumnTransformer([("rank", RankSelector(param=1), ["noise", "signal", "size"])])
    assert inside.fit_transform(X, y).shape == (len(X), 1)
