"""Hostile inputs of the engine: scales it cannot represent, through the
command and through the Python module."""

from .case import Case

# 200 events over about 74 days, and the same in units of 1e160.
TIMES = [0.37 * i + 0.3 * (i * 7 % 11) / 11 for i in range(200)]
EVENTS = "".join("%.17g\n" % t for t in TIMES)
HUGE = "".join("%.17g\n" % (t * 1e160) for t in TIMES)
SPAN = r"\(%s to %s\)" % ("%.6g" % TIMES[0], "%.6g" % TIMES[-1])
# 20,000 events: a workspace per thread of a third of a megabyte.
MANY = "".join("%.17g\n" % (0.01 * i + 0.006 * (i * 7 % 11) / 11) for i in range(20000))
GRID = ["--min-period", "1", "--max-period", "2"]
TRIM = r"trim the intervals to the time the catalogue covers"


def far(name, interval, low, high, extra=()):
    return Case(name, ["survey", "ev.txt", "--intervals", "far.iv"] + GRID + list(extra), 1,
                r"^periodscan-survey: far\.iv: the intervals reach from %s to %s, too far "
                r"beyond the events %s.*%s\n$" % (low, high, SPAN.replace(".", r"\."), TRIM),
                files={"ev.txt": EVENTS, "far.iv": interval + "\n"}, absent=("ev.spectrum.tsv",))


def python(name, call, status, message):
    """periodscan.survey(call) on the 200 events t; a refusal ends the script
    with its type and text."""
    code = ("import sys, numpy as np, periodscan\n"
            "t = np.array([0.37 * i + 0.3 * (i * 7 %% 11) / 11 for i in range(200)])\n"
            "try:\n"
            "    r = periodscan.survey(%s)\n"
            "    print('rows', len(r), 'highest', r.delta_log_lik.max())\n"
            "except (ValueError, TypeError) as error:\n"
            "    sys.exit(type(error).__name__ + ': ' + str(error))\n" % call)
    return Case(name, ["python", code], status, message, anywhere=True)


def assessment(name, call, status, message):
    """An assessment function of the package on the 200 events t; a refusal
    ends the script with its type and text."""
    code = ("import importlib, sys, numpy as np\n"
            "import periodscan\n"
            "from periodscan import surrogates, uncertainty\n"
            "survey = importlib.import_module('periodscan.periodogram')\n"
            "t = np.array([0.37 * i + 0.3 * (i * 7 %% 11) / 11 for i in range(200)])\n"
            "try:\n"
            "    print('result', %s)\n"
            "except (ValueError, TypeError) as error:\n"
            "    sys.exit(type(error).__name__ + ': ' + str(error))\n" % call)
    return Case(name, ["python", code], status, message, anywhere=True)


FAR_PYTHON = (r"ValueError: the intervals reach from 0 to 1e\+20, too far beyond the events "
              + SPAN.replace(".", r"\.") + ".*" + TRIM)

CASES = [
    far("interval to 1e20", "0 1e20", "0", r"1e\+20"),
    far("interval to 1e20, log periods", "0 1e20", "0", r"1e\+20", ["--periods", "20"]),
    far("interval to 1e30 (until now)", "0 1e30", "0", r"1e\+30"),
    far("interval to 1e30, log periods", "0 1e30", "0", r"1e\+30", ["--periods", "20"]),
    far("interval to 1e200", "0 1e200", "0", r"1e\+200"),
    far("interval to 1e200, log periods", "0 1e200", "0", r"1e\+200", ["--periods", "20"]),
    far("interval from -1e20", "-1e20 400", r"-1e\+20", "400"),
    far("interval from -1e20, log periods", "-1e20 400", r"-1e\+20", "400",
        ["--periods", "20"]),
    far("interval over every double", "-1e308 1.7e308", r"-1e\+308", r"1\.7e\+308"),
    Case("interval to 1e20, moving windows fitted over their own part",
         ["survey", "ev.txt", "--intervals", "far.iv", "--window", "20", "--step", "10"] + GRID,
         0, r"periodscan-survey: .*delta_log_lik", anywhere=True,
         files={"ev.txt": EVENTS, "far.iv": "0 1e20\n"}),
    Case("periods far too short for the span",
         ["survey", "ev.txt", "--min-period", "1e-8", "--max-period", "2", "--periods", "5"], 1,
         r"^periodscan-survey: ev\.txt: the events span [0-9.]+ long: at periods down to 1e-08 "
         r"the fit's phases would reach [0-9.e+]+ cycles, beyond the 1e9 it can resolve; raise "
         r"the shortest period to at least",
         files={"ev.txt": EVENTS}),
    Case("times near 1e160, periods near 1e160",
         ["survey", "ev.txt", "--min-period", "1e160", "--max-period", "2e161"], 0,
         r"highest peak: period [0-9.]+e\+160 \(frequency [0-9.]+e-161\): delta_log_lik "
         r"[0-9.]+, amplitude (1|0\.[0-9]+),", anywhere=True, files={"ev.txt": HUGE}, timeout=30),
    Case("1024 threads asked for, a workspace per core",
         ["survey", "ev.txt", "--min-period", "0.5", "--max-period", "2", "--periods", "200",
          "--threads", "1024"], 0, r"periodscan-survey: wrote ev\.spectrum\.tsv", anywhere=True,
         files={"ev.txt": MANY}, limits={"RLIMIT_AS": 1 << 30}, sanitizer=False),
    python("module: interval to 1e20", "t, 1, 2, intervals=[[0, 1e20]]", 1, FAR_PYTHON),
    python("module: interval to 1e20, log periods", "t, 1, 2, periods=20, intervals=[[0, 1e20]]",
           1, FAR_PYTHON),
    python("module: masked array with a masked value",
           "np.ma.masked_array(t, mask=(np.arange(200) == 5)), 1, 2", 1,
           r"ValueError: times has masked values: pass times\.compressed\(\)"),
    python("module: masked array, nothing masked", "np.ma.masked_array(t), 1, 2", 0, r"rows \d+"),
    python("module: complex times", "t + 0.5j, 1, 2", 1,
           r"TypeError: times must be real numbers, not complex ones"),
    python("module: complex intervals", "t, 1, 2, intervals=[[0, 100 + 1j]]", 1,
           r"TypeError: intervals must be real numbers, not complex ones"),
    python("module: text times", "['0', '1', '2'], 1, 2", 1,
           r"TypeError: times must be real numbers, not text"),
    python("module: 5000 threads", "t, 1, 2, threads=5000", 1,
           r"ValueError: threads must be at most 1024"),
    assessment("assessment: kappa below 1",
               "uncertainty.peak_uncertainty(t, 0.7, kappa=0.5)", 1,
               r"ValueError: kappa must be a finite number of at least 1, not 0\.5"),
    assessment("assessment: a frequency of nan",
               "uncertainty.peak_uncertainty(t, float('nan'))", 1,
               r"ValueError: frequency must be a positive finite number, not nan"),
    assessment("assessment: an event outside the intervals",
               "uncertainty.amplitude_upper_limit(t, [0.7], intervals=[[0, 30]])", 1,
               r"ValueError: times\[[0-9]+\] = [0-9.]+ lies outside every interval"),
    assessment("assessment: unsorted times to fit_at",
               "survey.fit_at(t[::-1], [0.7])", 1,
               r"ValueError: times\[1\] = .* is smaller than times\[0\]"),
    assessment("assessment: a label per event missing",
               "surrogates.cluster_shift_surrogates(t, np.arange(199), [0.5, 0.7], 3.0)", 1,
               r"ValueError: clusters must hold one label per event \(200\), not 199"),
    assessment("assessment: labels in a column",
               "surrogates.cluster_shift_surrogates(t, np.arange(200).reshape(200, 1), "
               "[0.5, 0.7], 3.0)", 1, r"ValueError: clusters must be a one-dimensional array"),
    assessment("assessment: a negative seed",
               "surrogates.cluster_shift_surrogates(t, np.arange(200), [0.5, 0.7], 3.0, seed=-1)",
               1, r"ValueError: seed must be 0 or more"),
    assessment("assessment: an unknown unit",
               "periodscan.assess(survey.survey(t, min_period=1, max_period=2), unit='weeks')",
               1, r"ValueError: unit must be one of days, .*not 'weeks'"),
    assessment("assessment: an analysis that is not one",
               "periodscan.plot(survey.survey(t, min_period=1, max_period=2), analysis='x')",
               1, r"TypeError: analysis must be what periodscan.assess gives, not str"),
    assessment("assessment: the false alarms of an infinite peak",
               "survey.survey(t, min_period=1, max_period=2).false_alarm_probability("
               "[np.inf, 0])", 0, r"result \[0\. 1\.\]"),
]

CASES += [
    Case("surrogates: a scheduler address Dask cannot use",
         ["python", "import sys, numpy as np\n"
                    "from periodscan import surrogate_fap\n"
                    "t = np.arange(200) * 0.37\n"
                    "try:\n"
                    "    surrogate_fap(t, np.arange(200), [0.5, 0.7], 3.0, n=3, "
                    "scheduler='ucx://127.0.0.1:1')\n"
                    "except RuntimeError as error:\n"
                    "    sys.exit(type(error).__name__ + ': ' + str(error))\n"], 1,
         r"DaskUnavailable: the Dask scheduler at ucx://127.0.0.1:1 cannot be reached",
         anywhere=True),
]
