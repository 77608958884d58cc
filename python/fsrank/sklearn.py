"""A scikit-learn transformer that keeps the best predictors by fsrank's criteria."""

import warnings

import numpy as np
import pandas as pd
from sklearn.base import BaseEstimator
from sklearn.feature_selection import SelectorMixin
from sklearn.utils.validation import check_is_fitted

from ._errors import NothingRankedWarning, OptionError
from ._ranker import rank
from ._result import CRITERIA

_MODES = {"k_best": "k", "percentile": "percentile", "fpr": "fpr", "fdr": "fdr", "fwe": "fwe"}


class RankSelector(SelectorMixin, BaseEstimator):
    """Univariate feature selection with the modes of scikit-learn's GenericUnivariateSelect
    ("k_best", "percentile", "fpr", "fdr", "fwe"; `param` is K, the percentile or the level),
    for numeric, categorical and mixed columns alike.

    A DataFrame keeps its column types (category, object and bool columns are categorical;
    numbers as the command-line program guesses them, or as `categorical`/`continuous` say);
    a numeric array is typed the same way column by column. NaN is a missing value.
    `criterion` names the ranking criterion ("auto": chi-square for categorical predictors of a
    categorical target, else the F or t test). After fitting: ``scores_`` (-log10 of the
    p-value, or Cramer's V / lambda; NaN for predictors that were screened out), ``pvalues_``,
    ``ranking_`` (the full table of :func:`fsrank.rank`), ``criterion_``.
    """

    def __init__(self, criterion="auto", mode="k_best", param=10, *, categorical=None,
                 continuous=None, screen=True, max_missing=None, max_single=None,
                 max_categories=None, min_cv=None, min_sd=None, weight_conversion="asis",
                 exact_tails=True):
        self.criterion = criterion
        self.mode = mode
        self.param = param
        self.categorical = categorical
        self.continuous = continuous
        self.screen = screen
        self.max_missing = max_missing
        self.max_single = max_single
        self.max_categories = max_categories
        self.min_cv = min_cv
        self.min_sd = min_sd
        self.weight_conversion = weight_conversion
        self.exact_tails = exact_tails

    def _more_tags(self):
        return {"allow_nan": True, "requires_y": True}

    def fit(self, X, y, sample_weight=None):
        if self.mode not in _MODES:
            raise OptionError("mode must be one of %s, got %r" % (", ".join(_MODES), self.mode))
        if y is None:
            raise ValueError("requires y to be passed, but the target y is None")
        if isinstance(X, pd.DataFrame):
            self._check_feature_names(X, reset=True)
            self._check_n_features(X, reset=True)
            frame = X
            y = np.asarray(y)
            if y.ndim != 1 or len(y) != len(X):
                raise ValueError("y should be a 1d array with one value per row of X")
        else:
            X, y = self._validate_data(X, y, dtype="numeric", force_all_finite="allow-nan")
            frame = X
        if sample_weight is not None:
            sample_weight = np.asarray(sample_weight, dtype=float)
        with warnings.catch_warnings():
            warnings.simplefilter("ignore", NothingRankedWarning)
            result = rank(frame, y, weight=sample_weight, categorical=self.categorical,
                          continuous=self.continuous, screen=self.screen,
                          max_missing=self.max_missing, max_single=self.max_single,
                          max_categories=self.max_categories, min_cv=self.min_cv,
                          min_sd=self.min_sd, weight_conversion=self.weight_conversion,
                          exact_tails=self.exact_tails)
        m = self.n_features_in_
        self.scores_ = np.full(m, np.nan)
        self.pvalues_ = np.full(m, np.nan)
        self._mask = np.zeros(m, dtype=bool)
        self.ranking_ = result.table
        if not result.criteria:  # nothing could be ranked: every predictor was removed
            self.criterion_ = None
            return self
        name = result.criterion if self.criterion == "auto" else None
        self.criterion_ = name or CRITERIA[CRITERIA.index(result._name(self.criterion))]
        ranking = result.ranking(self.criterion_)
        index = ranking["index"].to_numpy()
        values = ranking["value"].to_numpy(dtype=float)
        if self.criterion_ in ("Cramer", "Lambda"):
            self.scores_[index] = values
        else:
            self.pvalues_[index] = values
            with np.errstate(divide="ignore"):
                self.scores_[index] = -np.log10(np.maximum(values, np.finfo(float).tiny))
        keep = result.select(self.criterion_, **{_MODES[self.mode]: self.param})
        self._mask[index[: len(keep)]] = True
        return self

    def _get_support_mask(self):
        check_is_fitted(self)
        return self._mask

    def transform(self, X):
        if isinstance(X, pd.DataFrame):
            check_is_fitted(self)
            self._check_feature_names(X, reset=False)
            self._check_n_features(X, reset=False)
            return X.iloc[:, np.flatnonzero(self._mask)]
        return super().transform(X)
