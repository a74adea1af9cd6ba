"""The printed summary of a run, rendered from its RunReport (report.py): the
largest peaks of the spectrum with their significance, the levels, and
whether the period grid resolves a peak."""

import os
import textwrap

import numpy as np

from .assessment import SIGNIFICANT_FAP, assess_spectrum
from .eventfile import TimeAxis
from .report import STEPS_PER_PEAK, grid_check, largest_peaks
from .results import (COUNTS_FILE, GRID_FILE, MIN_EVENTS_ESTIMATED, NORMALIZED_GRID_FILE,
                      SPECTRUM_FILE, SpectrumTable, grid_image, plural)
from .significance import (SCAN_FAP, SINGLE_PERIOD_P, baluev_fap, baluev_level, baluev_w,
                           single_period_level, single_period_p)

SUMMARY_WIDTH = 100


def _wrapped(text, first="  ", rest="    "):
    return textwrap.wrap(text, width=SUMMARY_WIDTH, initial_indent=first,
                         subsequent_indent=rest, break_on_hyphens=False)


def spectrum_summary(spectrum, events=None, name=SPECTRUM_FILE, assessment=None,
                     axis=TimeAxis(), events_name=None, grid=None):
    """The lines printed for a spectrum: peaks, levels, the grid check
    (`grid`, a report.GridCheck), and what holds of them beyond the Poisson
    levels (`assessment`); both are worked out here when not given."""
    t = spectrum.period
    out = ["%s: %d periods from %g to %g" % (name, len(t), t[0], t[-1])]
    w = None
    if events is not None:
        w = baluev_w(1 / t[-1], 1 / t[0], float(np.var(events)))
    if assessment is None:
        assessment = assess_spectrum(spectrum, largest_peaks(spectrum), events)
    out += _grid_lines(spectrum, assessment.peaks, w, grid or grid_check(spectrum, events))
    out += assessment_lines(assessment, spectrum, axis, events_name)
    return out


def _grid_lines(spectrum, peaks, w, grid):
    t = spectrum.period
    out = []
    header = "  %-4s  %-11s %-12s %-9s %-12s" % ("peak", "T", "DeltaLogLik", "A", "p (1 period)")
    if w is not None:
        header += "  FAP (all periods, Poisson)"
    out.append(header.rstrip())
    for rank, i in enumerate(peaks, start=1):
        z = spectrum.delta_loglik[i]
        row = "  %-4d  %-11.6g %-12.6g %-9.4g %-12.3g" % (
            rank, t[i], z, spectrum.amplitude[i], single_period_p(z))
        if w is not None:
            row += "  %.3g" % baluev_fap(z, w)
        out.append(row.rstrip())
    if not peaks:
        out.append("  (no finite DeltaLogLik)")
    out += _wrapped("levels at one period: " + ", ".join(
        "%.3f (p = %g)" % (single_period_level(p), p) for p in SINGLE_PERIOD_P))
    if w is not None:
        out += _wrapped("levels over all periods for independent events (Poisson; Baluev 2008, "
                        "W = %.4g): " % w + ", ".join(
                            "%.3f (FAP %g %%)" % (baluev_level(a, w), 100 * a)
                            for a in SCAN_FAP))
    out += _wrapped(grid.span_text)
    res = grid.resolution
    if res is None:
        out += _wrapped("period grid: evenly spaced neither in log10 T nor in frequency; "
                        "not checked.")
        return out
    verdict = "too coarse" if res.too_coarse else "fine enough"
    if grid.kind == "frequency":
        out += _wrapped("frequency grid: step %.3g; a peak is 1/Lobs = %.3g wide in frequency: "
                        "%s." % (res.step, res.width, verdict))
    else:
        out += _wrapped("period grid: step %.3g in log10 T; a peak at Tmin = %g is %.3g wide: "
                        "%s." % (res.step, t[0], res.width, verdict))
    if res.too_coarse:
        # The warning itself goes to standard error (grid_warning).
        out += _wrapped("%s would resolve it (see the warning on standard error)."
                        % _resolving_grid(spectrum, res, grid.kind))
    return out


def _resolving_grid(spectrum, res, kind):
    if kind == "frequency":
        return "%d frequencies over the same band" % res.needed
    return "%d periods from %g to %g" % (res.needed, spectrum.period[0], spectrum.period[-1])


def grid_warning(spectrum, grid):
    """The warning, one line, when the grid of `spectrum` (`grid`, a
    report.GridCheck) is too coarse to resolve a peak; else None."""
    res = grid.resolution
    if res is None or not res.too_coarse:
        return None
    if grid.kind == "frequency":
        text = ("the frequency grid is too coarse to resolve a peak: its step (%.3g) exceeds a "
                "third of the peak width 1/Lobs (%.3g), so a narrow peak can fall between two "
                "frequencies and be missed" % (res.step, res.width / STEPS_PER_PEAK))
    else:
        text = ("the period grid is too coarse to resolve a peak: its step in log10 T (%.3g) "
                "exceeds a third of the peak width at Tmin (%.3g), so a narrow peak can fall "
                "between two periods and be missed" % (res.step, res.width / STEPS_PER_PEAK))
    return "%s. %s would resolve it%s." % (text, _resolving_grid(spectrum, res, grid.kind),
                                           "" if grid.kind == "frequency"
                                           else " (or narrow the range)")


def run_warnings(run, report):
    """The warnings on the spectra of `run` and its RunReport, each naming
    its file: for standard error, apart from the summary."""
    spectra = [(SPECTRUM_FILE, run.spectrum, report.grids.get(SPECTRUM_FILE))]
    spectra += [(os.path.basename(table.path), table.data, report.grids.get(table.path))
                for table in run.tables if isinstance(table.data, SpectrumTable)]
    out = []
    for name, spectrum, grid in spectra:
        warning = grid_warning(spectrum, grid) if spectrum is not None and grid else None
        if warning:
            out.append("%s: %s" % (name, warning))
    return out


def grid_summary(name, grid, counts, per_event=False):
    sparse = int(np.sum(counts.count < MIN_EVENTS_ESTIMATED))
    out = ["%s: %s x %s, time marks %g to %g, log10 T %g to %g"
           % (name, plural(grid.nx, "window"), plural(grid.ny, "period"), grid.xmin, grid.xmax,
              grid.ymin, grid.ymax)]
    if sparse == grid.nx:
        out.append("  every window has fewer than two events: nothing was estimated")
        return out
    shown = grid_image(grid, counts)
    k, w = np.unravel_index(np.ma.argmax(shown), grid.z.shape)
    quantity = "DeltaLogLik per event" if per_event else "DeltaLogLik"
    out.append("  largest %s %.6g at time mark %g, T = %.6g"
               % (quantity, grid.z[k, w], grid.x()[w], 10 ** grid.y()[k]))
    if sparse:
        out.append("  %s with fewer than two events (grey)" % plural(sparse, "window"))
    return out


def counts_summary(name, counts):
    return ["%s: %s, %d to %d events" % (name, plural(len(counts.count), "window"),
                                         counts.count.min(), counts.count.max())]


def window_table_summary(name, table):
    """The lines printed for a table of moving windows of periodscan-survey."""
    z = table.delta_loglik
    sparse = int(np.sum(np.all(np.isnan(z), axis=0)))
    out = ["%s: %s x %s, windows from %g to %g, T %g to %g"
           % (name, plural(len(table.events), "window"), plural(len(table.period), "period"),
              table.window_start[0], table.window_end[-1], table.period[0], table.period[-1])]
    if sparse == len(table.events):
        out.append("  no window holds two distinct event times: nothing was estimated")
        return out
    k, w = np.unravel_index(np.nanargmax(z), z.shape)
    out.append("  largest DeltaLogLik %.6g in the window %g to %g, T = %.6g"
               % (z[k, w], table.window_start[w], table.window_end[w], table.period[k]))
    if sparse:
        out.append("  %s with fewer than two distinct event times (grey)"
                   % plural(sparse, "window"))
    return out


def table_summary(table, events=None, report=None):
    name = os.path.basename(table.path)
    if isinstance(table.data, SpectrumTable):
        if report is None:
            return spectrum_summary(table.data, events, name=name)
        return spectrum_summary(table.data, events, name=name,
                                assessment=report.spectra[table.path], axis=report.axis,
                                events_name=report.events_name,
                                grid=report.grids[table.path])
    out = window_table_summary(name, table.data)
    if report is not None and table.path in report.table_levels:
        out += _wrapped("contour: " + report.table_levels[table.path].label + ".")
    return out


def _window_lines(report, run):
    out = []
    if report.window is not None:
        out += _wrapped("window length %.6g, found from the events and the window counts; the "
                        "maps place each window at its centre." % report.window[1])
    if report.grid_kappa is not None:
        out += _wrapped("times only (Fano factor of counts): " + report.grid_kappa.sentence()
                        + ".")
    out += _wrapped("contour: " + report.grid_level.label + ".")
    return out


def run_summary(run, report):
    """The summary lines of every result file of `run` (from results.read_run)
    and its RunReport (report.assess_run)."""
    lines = []
    if run.spectrum is not None:
        lines += spectrum_summary(run.spectrum, run.events,
                                  assessment=report.spectra[SPECTRUM_FILE], axis=report.axis,
                                  events_name=report.events_name,
                                  grid=report.grids[SPECTRUM_FILE])
    if run.grid is not None:
        lines += grid_summary(GRID_FILE, run.grid, run.counts)
        lines += _window_lines(report, run)
    if run.normalized is not None:
        lines += grid_summary(NORMALIZED_GRID_FILE, run.normalized, run.counts, per_event=True)
    if run.counts is not None:
        lines += counts_summary(COUNTS_FILE, run.counts)
    for table in run.tables:
        lines += table_summary(table, table.times, report)
    return lines


# ---------------------------------------------------------------------------
# What holds beyond the Poisson levels


def _ranks(assessment, indices):
    rank = {i: r for r, i in enumerate(assessment.peaks, start=1)}
    return ", ".join("%d" % rank[i] for i in indices)


def _check_lines(a, axis):
    if a.check is None:
        return _wrapped("clustering check: not made without the span of the events (give "
                        "--events).")
    text = "clustering check: " + a.check.sentence()
    if a.check_band is not None:
        lo, hi = a.check_band
        text += (" (The grid's band holds too few independent frequencies: the events were "
                 "scanned at %d frequencies 1/Lobs apart around it, periods %.5g to %.5g%s, "
                 "and those near the highest peak left out.)"
                 % (round((hi - lo) * a.span) + 1, 1 / hi, 1 / lo, axis.suffix()))
    return _wrapped(text)


def _kappa_lines(a):
    """The clustering factor measured at each peak's own frequency and the
    false-alarm probability it gives, then the declustered background's;
    the band's Fano factor last, for reference."""
    parts = []
    for r, s in enumerate(a.significance, start=1):
        if s.peak is not None:
            k = s.peak_kappa
            parts.append("peak %d %.3g (kappa = %.3g, windows down to %.4g, %d of them)"
                         % (r, s.peak, k.kappa, k.window, k.windows))
        elif s.local is not None:
            parts.append("peak %d %.3g (local level kappa(f) = %.3g, K = %d)"
                         % (r, s.local, s.local_level.kappa, s.local_level.frequencies))
        else:
            parts.append("peak %d none" % r)
    out = []
    if any(s.peak is not None or s.local is not None for s in a.significance):
        out += _wrapped("times only, clustering measured at each peak's own period (the Fano "
                        "factor of counts about the fitted rate in windows of T/4 or shorter "
                        "that outlast the clusters; else kappa(f), the mean DeltaLogLik over K "
                        "independent frequencies around the peak, lines and its own lobes left "
                        "out): FAP over all periods of DeltaLogLik/kappa " + ", ".join(parts)
                        + ".")
    out += _background_lines(a)
    if a.kappa is not None and a.kappa.kappa is not None:
        out += _wrapped("for reference, the Fano factor at the band's low end: kappa = %.3g in "
                        "windows of Tmin/4 = %.4g (the purple lines of the figure); it depends "
                        "on the band and decides nothing here." % (a.kappa.kappa,
                                                                   a.kappa.window))
    return out


def _background_lines(a):
    """The FAP of the declustered background at every peak."""
    out = []
    b = getattr(a, "background", None)
    if b is not None and b.check is not None:
        out += _wrapped("declustered background (%d Gardner-Knopoff main shocks, clustering "
                        "check %s): FAP over all periods at the peak's frequency " % (
                            b.events, "fires" if b.check.clustered else "passes") + ", ".join(
                            "peak %d %s" % (r, "none applies" if s.background is None
                                            else "%.3g" % s.background)
                            for r, s in enumerate(a.significance, start=1)) + ".")
    elif b is not None:
        out += _wrapped("declustered background: not assessed: %s." % b.note)
    return out


def _cluster_method_lines(a, events_name):
    if a.declustered:
        d = a.declustered
        return _wrapped("declustered events: %s kept %s of %s events (%s); the levels above "
                        "apply to them when the clustering check passes."
                        % (d.get("source", "the catalogue"), d.get("background", "?"),
                           d.get("events", "?"), d.get("method", "method not named")))
    if a.locations:
        out = []
        if a.shifts is not None and a.shifts.fap is not None:
            f = a.shifts.fap
            out += _wrapped("cluster shifts (Gardner-Knopoff clusters from magnitudes and "
                            "locations, each moved as a whole to a random place in the record): "
                            "FAP of the largest DeltaLogLik over all periods %.3g; %d of %d "
                            "surrogate scans reached %.4g (%d clusters)."
                            % (f.fap, f.reached, f.drawn, f.observed, f.clusters))
        elif a.shifts is not None:
            out += _wrapped("cluster shifts: not run: %s." % a.shifts.note)
        out += _wrapped("declustered levels: `periodscan-prepare decluster %s -o "
                        "BACKGROUND.txt` writes the background events (Gardner-Knopoff "
                        "windows), to which the Poisson levels apply when their clustering "
                        "check passes." % (events_name or "EVENTS.txt"))
        return out
    if a.clustered:
        return _wrapped("declustering or the cluster-shift test needs magnitudes and locations "
                        "(an event file of periodscan-prepare with its EVENTS.json).")
    return []


def _peaks_pass(a, indices):
    if len(indices) == 1:
        return "peak %s passes" % _ranks(a, indices)
    return "peaks %s pass" % _ranks(a, indices)


def _verdict_lines(a):
    if not a.significance:
        return []
    passing = [i for i, s in zip(a.peaks, a.significance) if s.significant]
    lobes = [i for i, f in zip(a.peaks, a.flags) if i in passing and f.side_lobe_of is not None]
    own = [i for i in passing if i not in lobes]
    if passing:
        text = ("significance: %s the %g %% level over all periods by every method that "
                "applies." % (_peaks_pass(a, own) if own else "no peak of its own passes",
                              100 * SIGNIFICANT_FAP))
        if lobes:
            lobe_text = _peaks_pass(a, lobes)
            text += (" %s too, but as side lobe%s of a stronger peak."
                     % (lobe_text[0].upper() + lobe_text[1:], "s" if len(lobes) > 1 else ""))
    elif not a.significance_known():
        unknown = [i for i, s in zip(a.peaks, a.significance) if s.applies is None]
        text = ("significance: not known for %s %s; the catalogue is clustered and no "
                "false-alarm level printed here applies to %s (decluster, or scan a band with "
                "more independent frequencies)." % (
                    "peak" if len(unknown) == 1 else "peaks", _ranks(a, unknown),
                    "it" if len(unknown) == 1 else "them"))
    else:
        text = ("significance: no peak passes the %g %% level over all periods by every method "
                "that applies." % (100 * SIGNIFICANT_FAP))
    return _wrapped(text)


def _flag_lines(a, period):
    parts = ["peak %d %s" % (r, "; ".join(f.labels(period)))
             for r, f in enumerate(a.flags, start=1) if f.labels(period)]
    out = _wrapped("flags: " + ", ".join(parts) + ".") if parts else []
    if a.flags and a.span is None:
        out += _wrapped("side lobes: not checked without the span of the events (give "
                        "--events).")
    return out


def _interval_lines(a, spectrum, axis):
    out = []
    rank = {i: r for r, i in enumerate(a.peaks, start=1)}
    widened = ((", widened by kappa = %.3g, the largest clustering factor measured"
                % a.interval_kappa) if a.interval_kappa > 1 else "")
    raised = widened
    if a.clustered and a.kappa_value is None:
        widened = ", too narrow for these clustered events since kappa is not defined"
        raised = ", too low for these clustered events since kappa is not defined"
    for i, u in a.intervals.items():
        # Each peak's intervals are widened by the kappa at its own period.
        own = (", widened by kappa = %.3g" % u.kappa) if u.kappa > 1 else (
            widened if a.clustered and a.kappa_value is None else "")
        text = ("peak %d, 95 %% profile-likelihood intervals%s: T = %s%s, A = %s, phase at the "
                "middle of the record %s rad, rate maximum at %s%s and every T from it."
                % (rank[i], own, u.period.text(), axis.suffix(), u.amplitude.text("%.3g"),
                   u.phase.text("%.3g"), u.peak_time.text("%.7g"),
                   (" (%s)" % axis.date_text(u.peak_time.estimate)) if axis.has_calendar
                   else ""))
        if a.flags[a.peaks.index(i)].amplitude_at_bound:
            text += " A is at its bound 1: the intervals of A and the phase are not regular."
        out += _wrapped(text)
    edge = [i for i, sig, f in zip(a.peaks, a.significance, a.flags)
            if sig.significant and f.edge and f.side_lobe_of is None]
    if edge:
        out += _wrapped("%s on the edge of the grid: %s maximum may lie outside the band, so "
                        "no intervals are given; widen the band." % (
                            ("peak %s lies" if len(edge) == 1 else "peaks %s lie")
                            % _ranks(a, edge), "its" if len(edge) == 1 else "their"))
    if a.upper_limit is not None:
        u = a.upper_limit
        out += _wrapped("95 %% upper limit on A over the band (%s independent frequencies%s): "
                        "%.3g, the largest, at T = %.6g%s."
                        % (len(u.limits), raised, u.amplitude, 1 / u.frequency, axis.suffix()))
    return out


def assessment_lines(a, spectrum, axis=TimeAxis(), events_name=None):
    """The lines on clustering, the cluster-aware levels, the flags and the
    likelihood intervals of a spectrum's Assessment."""
    out = _check_lines(a, axis)
    out += _kappa_lines(a)
    out += _cluster_method_lines(a, events_name)
    out += _verdict_lines(a)
    out += _flag_lines(a, spectrum.period)
    out += _interval_lines(a, spectrum, axis)
    if a.failed:
        out += _wrapped("not computed, the likelihood being singular (event times on a lattice "
                        "of a trial period): " + ", ".join(a.failed) + ".")
    if a.skipped:
        out += _wrapped("not computed: " + a.skipped + ".")
    return out
