"""The machine-readable report of a run (periodscan-plot --json FILE),
rendered from its RunReport: the peaks of every spectrum with their
false-alarm probabilities by method and verdict, the clustering check, the
likelihood intervals or the upper limit on A, the grid's resolution, the
contour levels of the maps, and what was skipped and why. The keys are
described in docs/report-json.md. A value that is not a finite number is
written as null (bare NaN is not JSON)."""

import json
import math
import os

import numpy as np

from .assessment import SIGNIFICANT_FAP
from .prepare.writer import describe_write_error, staged_files
from .results import GRID_FILE, SPECTRUM_FILE, SpectrumTable, file_error
from .significance import single_period_p

SCHEMA = "periodscan-report/1"

METHOD_LABELS = {
    "single_period": "p at one period, Poisson",
    "poisson": "over all periods, Poisson (Baluev 2008)",
    "kappa": "over all periods of DeltaLogLik/kappa (times only)",
    "cluster_shifts": "over all periods from cluster shifts (largest peak only)",
    "local_level": "over all periods of DeltaLogLik/kappa(f), the local level",
    "peak_fano": "over all periods of DeltaLogLik/kappa, the Fano factor at the peak's period",
    "declustered_background": "of the declustered background at the peak's frequency",
    "applies": "the largest of those that apply to this catalogue",
}
SINGULAR = "the likelihood is singular there (event times on a lattice of a trial period)"


def plain(value):
    """`value` with numpy scalars and arrays made Python ones and every
    number that is not finite made None."""
    if isinstance(value, np.ndarray) and value.ndim == 0:
        value = value.item()
    if isinstance(value, dict):
        return {k: plain(v) for k, v in value.items()}
    if isinstance(value, (list, tuple, np.ndarray)):
        return [plain(v) for v in value]
    if isinstance(value, (bool, np.bool_)):
        return bool(value)
    if isinstance(value, (int, np.integer)):
        return int(value)
    if isinstance(value, (float, np.floating)):
        return float(value) if math.isfinite(value) else None
    return value


def _interval(u):
    return {"estimate": u.estimate, "lo": u.lo, "hi": u.hi,
            "lo_bounded": u.lo_bounded, "hi_bounded": u.hi_bounded}


def _intervals(u):
    if u is None:
        return None
    return {"delta_log_lik": u.delta_log_lik, "kappa": u.kappa,
            **{k: _interval(getattr(u, k))
               for k in ("period", "frequency", "amplitude", "phase", "peak_time")}}


def _verdict(a, rank):
    if not a.significance:
        return "not_assessed"
    s = a.significance[rank]
    if s.applies is None:
        return "unknown"
    return "significant" if s.significant else "not_significant"


def _run_verdict(a):
    if not a.significance:
        return "not_assessed"
    own = [s for s, f in zip(a.significance, a.flags)
           if s.significant and f.side_lobe_of is None]
    if own:
        return "significant"
    return "not_significant" if a.significance_known() else "unknown"


def _peak(spectrum, a, rank, i):
    t = spectrum.period
    table = isinstance(spectrum, SpectrumTable)
    flags = a.flags[rank]
    if i in a.peak_times:
        peak_time, modulo = a.peak_times[i], False
    elif table:
        peak_time, modulo = spectrum.peak_time[i], True
    else:
        peak_time, modulo = None, False
    s = a.significance[rank] if a.significance else None
    methods = {"single_period": single_period_p(spectrum.delta_loglik[i]),
               "poisson": s and s.poisson, "kappa": s and s.kappa,
               "cluster_shifts": s and s.shifts, "local_level": s and s.local,
               "peak_fano": s and s.peak, "declustered_background": s and s.background,
               "applies": s and s.applies}
    p = s and s.peak_kappa
    return {
        "rank": rank + 1, "period": t[i], "frequency": a.frequency[i],
        "delta_log_lik": spectrum.delta_loglik[i], "amplitude": spectrum.amplitude[i],
        "phase": spectrum.phase[i] if table else None,
        "peak_time": peak_time, "peak_time_modulo_period": modulo,
        "flags": {"edge": flags.edge, "amplitude_at_bound": flags.amplitude_at_bound,
                  "side_lobe_of_period": (None if flags.side_lobe_of is None
                                          else t[flags.side_lobe_of])},
        "false_alarm": {k: {"value": v, "label": METHOD_LABELS[k]}
                        for k, v in methods.items()},
        "kappa_at_period": p and {"kappa": p.kappa, "fano": p.fano, "window": p.window,
                                  "windows": p.windows},
        "verdict": _verdict(a, rank),
        "intervals": _intervals(a.intervals.get(i)),
    }


def _clustering(a):
    check = None
    if a.check is not None:
        c = a.check
        check = {"clustered": c.clustered, "mean": c.mean, "frequencies": c.frequencies,
                 "median": c.median, "level": c.level,
                 "own_scan_band": list(a.check_band) if a.check_band else None}
    kappa = None
    if a.kappa is not None:
        k = a.kappa
        kappa = {"kappa": k.kappa, "fano": k.fano, "window": k.window, "note": k.note}
    return {"check": check, "kappa": kappa}


def _skipped(a, grid):
    out = []
    if a.w is None:
        out.append(("false_alarm_over_all_periods", "needs the event times (--events)"))
    if a.check is None:
        out.append(("clustering_check", "needs the span of the events (--events)"))
    if a.shifts is not None and a.shifts.fap is None:
        out.append(("cluster_shifts", a.shifts.note))
    if a.skipped:
        out.append(("intervals", a.skipped))
    out += [(what, SINGULAR) for what in a.failed]
    if grid.resolution is None:
        out.append(("grid_resolution", "the grid is evenly spaced neither in log10 T nor in "
                                       "frequency"))
    return [{"what": what, "why": why} for what, why in out]


def _grid(grid):
    r = grid.resolution
    return {"kind": grid.kind, "span": grid.span, "span_text": grid.span_text,
            "step": r and r.step, "peak_width": r and r.width, "needed": r and r.needed,
            "too_coarse": r and r.too_coarse}


def _upper_limit(u):
    if u is None:
        return None
    return {"amplitude": u.amplitude, "frequency": u.frequency, "period": 1 / u.frequency,
            "frequencies": len(u.limits), "kappa": u.kappa}


def _spectrum(source, spectrum, a, grid):
    return {
        "source": source, "periods": len(spectrum.period),
        "min_period": spectrum.period[0], "max_period": spectrum.period[-1],
        "span": a.span, "grid": _grid(grid),
        "clustering": _clustering(a),
        "significant_fap": SIGNIFICANT_FAP,
        "peaks": [_peak(spectrum, a, rank, i) for rank, i in enumerate(a.peaks)],
        "verdict": _run_verdict(a),
        "upper_limit": _upper_limit(a.upper_limit),
        "skipped": _skipped(a, grid),
    }


def _map(source, windows, periods, length, level):
    return {"source": source, "windows": windows, "periods": periods,
            "window_length": length, "contour_level": level.level,
            "contour_label": level.label}


def report_document(run, report, figures=None):
    """The JSON document of `run` and its RunReport; `figures` the paths of
    the figures written, None when they were not drawn."""
    spectra, maps = [], []
    if run.spectrum is not None:
        spectra.append(_spectrum(os.path.join(run.directory, SPECTRUM_FILE), run.spectrum,
                                 report.spectra[SPECTRUM_FILE], report.grids[SPECTRUM_FILE]))
    if run.grid is not None:
        maps.append(_map(os.path.join(run.directory, GRID_FILE), run.grid.nx, run.grid.ny,
                         report.window[1] if report.window else None, report.grid_level))
    for table in run.tables:
        if isinstance(table.data, SpectrumTable):
            spectra.append(_spectrum(table.path, table.data, report.spectra[table.path],
                                     report.grids[table.path]))
        else:
            data = table.data
            maps.append(_map(table.path, len(data.events), len(data.period),
                             float(np.median(data.window_end - data.window_start)),
                             report.table_levels[table.path]))
    skipped = [{"what": "figures", "why": "--no-figures"}] if figures is None else []
    skipped += [{"what": "file", "why": warning} for warning in run.warnings]
    axis = report.axis
    return plain({
        "schema": SCHEMA,
        "events": run.events_path,
        "time_unit": axis.unit,
        "origin": (str(axis.origin) + "Z") if axis.origin is not None else None,
        "spectra": spectra,
        "maps": maps,
        "figures": list(figures or []),
        "skipped": skipped,
    })


def write_report(path, document):
    """Writes the document to `path` under a temporary name and renames it,
    so that a failure leaves neither a half-written file nor a changed one."""
    text = json.dumps(document, indent=1, allow_nan=False) + "\n"
    try:
        with staged_files([path]) as (temporary,):
            with open(temporary, "w", encoding="utf-8") as f:
                f.write(text)
    except OSError as e:
        raise file_error(path, "cannot be written (%s)" % describe_write_error(e)) from None
