"""The exceptions of fsrank and the wording of the library's status codes."""

__all__ = ["FSRankError", "InputError", "OptionError", "StateError", "CancelledError",
           "LibraryError", "NothingRankedWarning"]


class FSRankError(Exception):
    """Every error fsrank raises. ``status`` is the library's status code, when there is one."""

    def __init__(self, message, status=None):
        super().__init__(message)
        self.status = status


class InputError(FSRankError, ValueError):
    """The data cannot be ranked: a bad value, column, target or weight."""


class OptionError(FSRankError, ValueError):
    """An option is unknown, out of range, or does not fit the columns' types."""


class StateError(FSRankError, ValueError):
    """A saved state cannot be restored, or does not fit the ranker it is combined with."""


class CancelledError(FSRankError):
    """The library's operation was cancelled."""


class LibraryError(FSRankError):
    """The library reported an error that is not the input's fault."""


class NothingRankedWarning(UserWarning):
    """Every predictor was removed before ranking (constant, all missing or screened out)."""


CANCELLED = 1
NO_VALID_DATA = 80009
ALL_DELETED_BY_CHECK = 80010
NO_PREDICTORS_LEFT = 80011
NO_VALID_WEIGHT = 80013

_TEXT = {
    1: "the operation was cancelled",
    6: "nothing was ranked",
    80003: "the file cannot be read",
    80004: "the data are damaged or not a binary state",
    80005: "the file is damaged or not an XML state",
    80006: "the criterion was not computed",
    80009: "no usable record: no row with a target value has a value for any predictor",
    80010: "every predictor is either all missing or constant",
    80011: "every predictor was screened out",
    80013: "no row has a usable weight (a positive number after conversion)",
    80101: "the settings define no target column",
    80104: "the rankers describe different fields",
    80105: "a ranker is not in a state to merge (no data read yet, or already ranked)",
    80106: "a ranker cannot be merged into itself",
    80107: "the other ranker holds an error",
    80108: "the selection rule needs p-values",
    80109: "the selection's value is out of range",
    80110: "a record count would pass 2147483647, the most a ranker can hold",
    80102: "nothing to rank: no data were read",
    80103: "this build of the library cannot do that yet",
}

_INPUT = {NO_VALID_DATA, NO_VALID_WEIGHT, 80102}
_STATE = {80003, 80004, 80005, 80104, 80105, 80106, 80107, 80110}


def status_text(code):
    return _TEXT.get(code, "the library reported status %d" % code)


def raise_for_status(status, what=None):
    """Raises the exception for an error status tuple (code, severity, ...)."""
    code, severity = status[0], status[1]
    if severity >= 0:
        return
    message = status_text(code) if what is None else "%s: %s" % (what, status_text(code))
    if code == CANCELLED:
        raise CancelledError(message, code)
    if code in _INPUT:
        raise InputError(message, code)
    if code in _STATE:
        raise StateError(message, code)
    raise LibraryError(message, code)
