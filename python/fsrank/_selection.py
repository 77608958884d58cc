"""Selection rules through the library's one implementation (fsrank/selection.h): k=K,
percentile=P, fpr=A, fdr=A (Benjamini-Hochberg) and fwe=A (Bonferroni), counted as
scikit-learn's selectors count; ties at the cut-off follow the order of the ranking."""

from . import _core
from ._errors import OptionError

RULES = ("k", "percentile", "fpr", "fdr", "fwe")
_NOT_APPLICABLE = 80108


def rule_text(rule):
    """The rule as the library reads it ("fdr=0.05"), from that text, {"fdr": 0.05} or a
    ("fdr", 0.05) pair."""
    if isinstance(rule, str):
        return rule.replace(" ", "")
    if isinstance(rule, tuple) and len(rule) == 2:
        rule = dict([rule])
    if not isinstance(rule, dict) or len(rule) != 1:
        raise OptionError("give exactly one selection rule: one of %s" % ", ".join(RULES))
    (name, value), = rule.items()
    try:
        value = float(value)
    except (TypeError, ValueError):
        raise OptionError("selection %s: the value %r is not a number" % (name, value)) from None
    return "%s=%r" % (name, value)


def select_count(values, rule, criterion):
    """How many of a criterion's ranked values (best first) the rule keeps, and where it cuts
    on the criterion's scale (NaN when there is nothing to draw)."""
    pvalues = criterion not in ("Cramer", "Lambda")
    status, kept, cut, error = _core.count_selected(rule_text(rule), pvalues,
                                                     [float(v) for v in values])
    if status is None:
        raise OptionError(error)
    if status[1] < 0:
        if status[0] == _NOT_APPLICABLE:
            raise OptionError("selection %s needs p-values, but %s ranks by a measure of "
                              "association: use k or percentile" % (rule_text(rule), criterion))
        raise OptionError("selection %s: the library refused it (status %d)"
                          % (rule_text(rule), status[0]))
    return kept, cut
