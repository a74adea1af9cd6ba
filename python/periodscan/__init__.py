"""periodscan: periodic components in the rate of a point process.

Readers of the result files, significance levels, figures and catalogue
preparation, and (when built) a binding of the survey engine:

    >>> import periodscan
    >>> result = periodscan.survey(times, min_period=0.5, max_period=2.0)

survey() and fit_at() return a SurveyResult; read_survey() reads a table of
periodscan-survey back into one. They live in periodscan.periodogram.
"""

from periodscan.periodogram import SurveyResult, fit_at, read_survey, survey  # noqa: F401
from periodscan.analysis import Analysis, assess, plot  # noqa: E402,F401
from periodscan.surrogates import surrogate_fap  # noqa: E402,F401

__all__ = ["survey", "fit_at", "SurveyResult", "read_survey", "assess", "plot", "Analysis",
           "surrogate_fap"]
