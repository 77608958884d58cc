"""The five selection rules over a criterion's ranking (the order of the ranking breaks ties)."""

import math

import numpy as np

from ._errors import OptionError

RULES = ("k", "percentile", "fpr", "fdr", "fwe")
_PVALUE_RULES = ("fpr", "fdr", "fwe")


def parse_rule(rule):
    """(rule, value) from "fdr=0.05", {"fdr": 0.05} or a (rule, value) pair."""
    if isinstance(rule, str):
        name, sep, value = rule.partition("=")
        if not sep:
            raise OptionError("a selection is RULE=VALUE (one of %s), got %r"
                              % (", ".join(RULES), rule))
        try:
            rule = {name.strip(): float(value)}
        except ValueError:
            raise OptionError("the selection %r needs a number" % (rule,)) from None
    if isinstance(rule, tuple):
        rule = dict([rule])
    if not isinstance(rule, dict) or len(rule) != 1:
        raise OptionError("give exactly one selection rule (one of %s)" % ", ".join(RULES))
    (name, value), = rule.items()
    name = str(name).lower()
    if name not in RULES:
        raise OptionError("unknown selection rule %r (one of %s)" % (name, ", ".join(RULES)))
    try:
        value = float(value)
    except (TypeError, ValueError):
        raise OptionError("the selection %s needs a number, got %r" % (name, value)) from None
    if name == "k" and not (value >= 0 and value == math.floor(value)):
        raise OptionError("k must be a whole number >= 0, got %r" % (value,))
    if name == "percentile" and not 0 <= value <= 100:
        raise OptionError("percentile must lie in 0 to 100, got %r" % (value,))
    if name in _PVALUE_RULES and not 0 <= value <= 1:
        raise OptionError("%s is a level in 0 to 1, got %r" % (name, value))
    return name, value


def select_count(values, rule, value, criterion):
    """How many of the ranked predictors (values best first) the rule keeps."""
    m = len(values)
    if rule == "k":
        return min(int(value), m)
    if rule == "percentile":
        return int(m * value / 100.0)
    if criterion in ("Cramer", "Lambda"):
        raise OptionError("the rule %s needs p-values; %s ranks by a measure of association: "
                          "use k or percentile" % (rule, criterion))
    p = np.asarray(values, dtype=float)
    with np.errstate(invalid="ignore"):
        if rule == "fpr":
            keep = p < value
        elif rule == "fwe":
            keep = p < value / m
        else:
            below = np.nonzero(p <= value * np.arange(1, m + 1) / m)[0]
            keep = p <= p[below[-1]] if len(below) else np.zeros(m, dtype=bool)
    return int(np.count_nonzero(keep))
