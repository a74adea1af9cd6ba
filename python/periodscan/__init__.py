"""periodscan: periodic components in the rate of a point process.

Readers of the result files, significance levels, figures and catalogue
preparation, and (when built) a binding of the survey engine.
"""

from periodscan.survey import survey  # noqa: E402,F401
from periodscan.analysis import Analysis, assess, plot  # noqa: E402,F401
