"""fsrank: streaming feature selection for pandas, numpy and scikit-learn.

``fsrank.rank(frame, "target")`` screens and ranks every other column for the target;
``fsrank.Ranker`` does the same over data given in pieces; ``fsrank.sklearn.RankSelector`` is a
scikit-learn transformer that keeps the best predictors."""

from ._errors import (CancelledError, FSRankError, InputError, LibraryError,
                      NothingRankedWarning, OptionError, StateError)
from ._ranker import Ranker, rank
from ._result import CRITERIA, RankResult

__version__ = "1.0.0"
__all__ = ["rank", "Ranker", "RankResult", "CRITERIA", "FSRankError", "InputError",
           "OptionError", "StateError", "CancelledError", "LibraryError",
           "NothingRankedWarning"]
