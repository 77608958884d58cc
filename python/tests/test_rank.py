import numpy as np
import pandas as pd
import pytest

import fsrank

CREDIT = __file__.rsplit("/python/", 1)[0] + "/examples/credit-g.csv"


def test_credit_ranking_matches_the_program():
    result = fsrank.rank(pd.read_csv(CREDIT), "class")
    assert result.top("Pearson", 5) == ["checking_status", "credit_history", "duration",
                                         "savings_status", "credit_amount"]
    assert result.screened["predictor"].tolist() == ["foreign_worker"]
    assert result.target_counts["count"].to_dict() == {"good": 700, "bad": 300}
