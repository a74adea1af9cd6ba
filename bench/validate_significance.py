#!/usr/bin/python3
"""False-alarm rates and power of the significance methods on simulated catalogues.

    PYTHONPATH=python bench/validate_significance.py [--quick] [--out FILE]
        [--catalogues N] [--power-catalogues N] [--shard K/M] [--build DIR]
        [--engine auto|numpy|survey]
    PYTHONPATH=python bench/validate_significance.py --table FILE...
    PYTHONPATH=python bench/validate_significance.py --coverage N [--out FILE]

For every process (Poisson, Neyman-Scott with 2 and 5 offspring on average,
Omori-delayed clusters, ETAS-like; swarms lasting Tmin / 10, ETAS with a
branching ratio of 0.9 and sequences outlasting Tmax, a rate that doubles
part way through the record, one aftershock sequence holding most of the
events) it simulates catalogues without a period,
and with a period of PERIOD days on the parents at A = 0.3 and 0.5, scans
them from TMIN to TMAX days and applies each method:

  Poisson levels     Baluev's scan-corrected FAP of the largest DeltaLogLik;
  clustering check   how often the check calls the catalogue clustered;
  check, then kappa  the summary's rule: the Poisson levels unless the check
                     fires, DeltaLogLik / kappa (times only) then;
  kappa, times only  DeltaLogLik / kappa against the Poisson levels, kappa
                     from windows of Tmin / 4 and its plateau test (no
                     detection where no window fits);
  kappa, duration    the same with the cluster duration given (CLUSTER_DAYS);
  declustered        Poisson levels on the background events of the
                     Gardner-Knopoff declustering;
  cluster shifts     the empirical FAP from 99 circular shifts of the linked
                     groups of Gardner-Knopoff clusters (stopping after 5
                     reach the observed value, which gives the same
                     decisions at 5 % and 1 % as all 99);
  z / kappa(f)       at each of the PEAKS largest peaks, DeltaLogLik over its
                     local level against the F tail, always;
  check first        the Poisson FAP unless the check fires, z / kappa(f) then;
  verdict            the summary's rule with the times alone (the local level
                     at every peak, assessment.peak_significance), with the
                     cluster shifts of the largest peak, and on the
                     declustered background at the same frequencies.
A catalogue counts as a detection when any of its assessed peaks passes.

--coverage N instead simulates N Poisson catalogues with a cycle for each
of COVERAGE_CASES and counts how often the 95 % likelihood intervals of the
period, A and the phase at a detected peak (Poisson FAP < 5 %) hold the
true values.

Every catalogue's numbers go to one JSON line of --out as soon as they are
known, so a run that is stopped resumes where it was; --shard K/M takes
every M-th catalogue from the K-th (run M processes with their own --out and
print the table from all of them with --table). The table gives each rate
with its 95 % Clopper-Pearson interval, and a false-alarm rate is marked
"high" when its count exceeds the 97.5 % point of Binomial(n, nominal).

The scans use periodscan.survey when it is built (on PYTHONPATH), else the
numpy fit of periodscan.likelihood (same grid; slower).
"""

import argparse
import importlib
import json
import math
import os
import sys
import time

import numpy as np

from periodscan import (clustering, decluster, likelihood, local_level, significance, simulate,
                        surrogates)
from periodscan.assessment import peak_significance

SPAN = 1000.0              # days
TMIN, TMAX = 20.0, 200.0   # scanned periods, days
SAMPLES_PER_PEAK = 5
PERIOD = 50.0              # period of the modulated parents, days
CLUSTER_DAYS = 3.0         # delays are cut here: clusters end before Tmin / 4
AMPLITUDES = (0.0, 0.3, 0.5)
ALPHAS = (0.05, 0.01)
SEED = 20261208

PROCESSES = {
    "Poisson": lambda rng, mod: simulate.poisson(rng, SPAN, 0.4, mod),
    "Neyman-Scott 2": lambda rng, mod: simulate.neyman_scott(rng, SPAN, 0.15, 2, 0.5, mod),
    "Neyman-Scott 5": lambda rng, mod: simulate.neyman_scott(rng, SPAN, 0.15, 5, 0.5, mod),
    "Omori clusters": lambda rng, mod: simulate.omori_clusters(
        rng, SPAN, 0.15, 5, max_delay=CLUSTER_DAYS, modulation=mod),
    "ETAS-like": lambda rng, mod: simulate.etas_like(
        rng, SPAN, 0.15, max_delay=CLUSTER_DAYS, modulation=mod),
    "swarms": lambda rng, mod: simulate.swarms(rng, SPAN, 0.05, 15, TMIN / 10, mod),
    "ETAS 0.9": lambda rng, mod: simulate.etas_like(
        rng, SPAN, 0.15, branching=0.9, max_delay=100.0, modulation=mod),
    "rate doubles": lambda rng, mod: simulate.rate_step(rng, SPAN, 0.4, 2.0, mod),
    "one sequence": lambda rng, mod: simulate.one_sequence(rng, SPAN, 0.2, 800, modulation=mod),
}
CLUSTERED = [p for p in PROCESSES if p != "Poisson"]
# The peaks of a spectrum that are assessed, as the summary lists them.
PEAKS = 5

# method: (label, processes it claims to handle)
METHODS = {
    "poisson": ("Poisson levels", ["Poisson"]),
    "check": ("clustering check (share flagged)", []),
    "check_kappa": ("check, then kappa (times only)", list(PROCESSES)),
    "kappa_times": ("kappa, times only (plateau test)", list(PROCESSES)),
    "kappa": ("kappa, cluster duration given", list(PROCESSES)),
    "declustered": ("declustered (Gardner-Knopoff)", list(PROCESSES)),
    "shifts": ("cluster shifts (linked Gardner-Knopoff groups)", list(PROCESSES)),
    "local": ("z / kappa(f), F tail, at every peak", list(PROCESSES)),
    "verdict_check": ("Poisson unless the check fires, else z / kappa(f)", list(PROCESSES)),
    "verdict": ("verdict: local level (times only)", list(PROCESSES)),
    "verdict_shifts": ("verdict with cluster shifts", list(PROCESSES)),
    "declustered_verdict": ("verdict on the declustered background", list(PROCESSES)),
    "verdict_all": ("verdict: every method (locations known)", list(PROCESSES)),
}


def make_scan(engine):
    if engine == "survey":
        survey = importlib.import_module("periodscan.periodogram")

        def spectrum(t):
            r = survey.survey(t, TMIN, TMAX, samples_per_peak=SAMPLES_PER_PEAK, threads=1)
            return r.frequency, r.delta_log_lik
        return spectrum

    def spectrum(t):
        span = t[-1] - t[0]
        step = 1.0 / (SAMPLES_PER_PEAK * span)
        f = 1 / TMAX + step * np.arange(int(math.floor((1 / TMIN - 1 / TMAX) / step)) + 1)
        return f, likelihood.fit(t, f).delta_log_lik
    return spectrum


def pick_engine(requested, build):
    """The package may come from the source tree while its compiled engine
    sits in a build tree: then the build tree's package folder is searched
    for it too."""
    if build:
        import periodscan
        periodscan.__path__.append(os.path.join(build, "python", "periodscan"))
        survey = importlib.import_module("periodscan.periodogram")
        if survey._engine is None:     # imported with the package, before the path grew
            try:
                survey._engine = importlib.import_module("periodscan._engine")
            except ImportError:
                pass
    if requested != "auto":
        return requested
    try:
        survey = importlib.import_module("periodscan.periodogram")
        survey.survey(np.array([0.0, 0.5, 1.0, 2.0]), 0.5, 1.0)
        return "survey"
    except ImportError:
        return "numpy"


def scan_fap(z, t):
    w = significance.baluev_w(1 / TMAX, 1 / TMIN, float(np.var(t)))
    return float(significance.baluev_fap(z, w))


def times_only_fields(t, f, z, zmax, fap_poisson):
    """The methods that use the times alone: the clustering check, kappa
    (with its plateau test, or with the cluster duration given), and the
    summary's rule that combines the check and kappa."""
    check = clustering.clustering_check(f, z, float(t[-1] - t[0]))
    kappa = clustering.fano_kappa(t, TMIN)
    given = clustering.fano_kappa(t, TMIN, CLUSTER_DAYS)
    fap_kappa = scan_fap(zmax / kappa.kappa, t) if kappa.kappa else 1.0
    clustered = bool(check.clustered)
    return {"check": 0.0 if clustered else 1.0, "check_mean": check.mean,
            "check_level": check.level, "kappa_times_value": kappa.kappa,
            "kappa_growth": kappa.growth, "kappa_times": fap_kappa,
            "kappa_value": given.kappa,
            "kappa": scan_fap(zmax / given.kappa, t) if given.kappa else 1.0,
            "check_kappa": fap_kappa if clustered else fap_poisson}


def top_peaks(f, z, span, count=PEAKS):
    """The `count` highest local maxima of the spectrum, leaving out those
    within 2/L of a higher one (its side lobes)."""
    inner = np.r_[False, (z[1:-1] >= z[:-2]) & (z[1:-1] >= z[2:]), False]
    inner[0], inner[-1] = z[0] >= z[1], z[-1] >= z[-2]
    out = []
    for i in np.argsort(-np.where(inner, z, -np.inf)):
        if not inner[i] or len(out) == count:
            break
        if all(abs(f[i] - f[j]) > 2 / span for j in out):
            out.append(int(i))
    return out


def peak_rows(t, f_peaks, z_peaks, clustered):
    """[DeltaLogLik, Poisson FAP, local FAP or None, kappa(f), K, clustered,
    W] of each peak, for the events `t`, and its peak_fields."""
    span = float(t[-1] - t[0])
    w = significance.baluev_w(1 / TMAX, 1 / TMIN, float(np.var(t)))
    fit = local_level.events_fit(t, threads=1)
    rows = []
    for fr, zp, extra in zip(f_peaks, z_peaks, peak_fields(t, f_peaks)):
        level = local_level.local_level(fr, zp, span, fit)
        sig = peak_significance(zp, w, level, clustered)
        rows.append([float(zp), sig.poisson, sig.local, level.kappa, level.frequencies,
                     clustered, w] + extra)
    return rows


def peak_fields(t, f_peaks):
    """[kappa, F, F at half the window, window, windows] of the Fano factor
    at each peak's own period (clustering.PeakKappa)."""
    fit = likelihood.fit(t, f_peaks)
    out = []
    for fr, a, phase in zip(f_peaks, fit.amplitude, fit.phase):
        p = clustering.peak_kappa(t, fr, a, phase)
        out.append([p.kappa, p.fano, p.half, p.window, p.windows])
    return out


def _peak(row):
    if len(row) < 12:
        return None
    return clustering.PeakKappa(0.0, *row[7:12])


def local_fields(t, f, z, tb, fb, zb):
    """The local level at the largest peaks of the catalogue, and the
    declustered background assessed at the same frequencies."""
    span = float(t[-1] - t[0])
    peaks = top_peaks(f, z, span)
    clustered = bool(clustering.clustering_check(f, z, span).clustered)
    out = {"peaks": peak_rows(t, f[peaks], z[peaks], clustered)}
    if len(tb) > 2:
        b_clustered = bool(clustering.clustering_check(fb, zb, float(tb[-1] - tb[0])).clustered)
        zb_peaks = likelihood.fit(tb, f[peaks]).delta_log_lik
        out["background_peaks"] = peak_rows(tb, f[peaks], zb_peaks, b_clustered)
    return out


def _rule(row):
    """The FAP that decides for one peak row, by the summary's rule (every
    FAP that applies; 1 where none does)."""
    z, _, _, kappa, k, clustered, w = row[:7]
    level = None if kappa is None else local_level.LocalLevel(0.0, kappa, k, 0)
    applies = peak_significance(z, w, level, clustered, peak=_peak(row)).applies
    return 1.0 if applies is None else applies


def _always_local(row):
    """z / kappa(f) against the F tail wherever kappa(f) is defined."""
    z, _, _, kappa, k, _, w = row[:7]
    if kappa is None:
        return 1.0
    return float(local_level.local_fap(z / kappa, local_level.TAIL_SHARE * k, w))


def _check_first(row):
    """The Poisson FAP unless the clustering check fires, else z / kappa(f)
    against the F tail."""
    z, poisson, _, kappa, k, clustered, w = row[:7]
    if not clustered:
        return poisson
    return _always_local(row)


def derived(r):
    """The FAPs of the methods that combine the peak rows of a record."""
    rows = r.get("peaks")
    if not rows:
        return {}
    out = {"local": min(_always_local(row) for row in rows),
           "verdict": min(_rule(row) for row in rows),
           "verdict_check": min(_check_first(row) for row in rows)}
    top = [max(_rule(rows[0]), r["shifts"])] if "shifts" in r else []
    out["verdict_shifts"] = min(top + [_rule(row) for row in rows[1:]])
    if r.get("background_peaks"):
        background = [_rule(row) for row in r["background_peaks"]]
        out["declustered_verdict"] = min(background)
        every = [max(_rule(row), b) for row, b in zip(rows, background)]
        if "shifts" in r:
            every[0] = max(every[0], r["shifts"])
        out["verdict_all"] = min(every)
    return out


def analyse(cat, spectrum, rng, surrogate_limit):
    t = cat.time
    started = time.time()
    f, z = spectrum(t)
    zmax = float(np.max(z))
    gk = decluster.gardner_knopoff(t, cat.magnitude, cat.latitude, cat.longitude)
    tb = t[gk.background]
    fb, zb_all = spectrum(tb)
    zb = float(np.max(zb_all))
    shifts = surrogates.cluster_shift_fap(t, gk.linked, lambda s: np.max(spectrum(s)[1]),
                                          rng, observed=zmax, max_surrogates=surrogate_limit,
                                          stop_after=5)
    fap_poisson = scan_fap(zmax, t)
    record = {
        "events": len(t), "zmax": zmax, "poisson": fap_poisson,
        "background": len(tb), "declustered": scan_fap(zb, tb),
        "shifts": shifts.fap, "surrogates": shifts.drawn,
    }
    record.update(times_only_fields(t, f, z, zmax, fap_poisson))
    record.update(local_fields(t, f, z, tb, fb, zb_all))
    record["seconds"] = round(time.time() - started, 3)
    return record


def catalogue(name, amplitude):
    """The catalogue of a task and the generator that goes on from it."""
    p_index = list(PROCESSES).index(name)
    a_index = AMPLITUDES.index(amplitude)
    return lambda i: _simulated(name, amplitude, [SEED, p_index, a_index, i])


def _simulated(name, amplitude, seed):
    rng = np.random.default_rng(seed)
    return PROCESSES[name](rng, simulate.Modulation(amplitude, PERIOD, 0.0)), rng


def recheck(path, out_path, spectrum):
    """Recomputes the methods on times alone (the clustering check, kappa
    and the local level) for every record of a run, from the same catalogues: after a
    change of those methods the surrogate scans need not be redone."""
    with open(path) as f, open(out_path, "w") as out:
        for line in f:
            r = json.loads(line)
            cat, _ = catalogue(r["process"], r["amplitude"])(r["index"])
            fr, z = spectrum(cat.time)
            r.update(times_only_fields(cat.time, fr, z, r["zmax"], r["poisson"]))
            gk = decluster.gardner_knopoff(cat.time, cat.magnitude, cat.latitude,
                                           cat.longitude)
            tb = cat.time[gk.background]
            r.update(local_fields(cat.time, fr, z, tb, *spectrum(tb)))
            out.write(json.dumps(r) + "\n")


def refano(path, out_path, spectrum):
    """Adds the Fano factor at each assessed peak's period to the peak rows
    of every record of a run (the catalogues, their spectra and peaks made
    again from the seeds); nothing else is recomputed."""
    with open(path) as f, open(out_path, "w") as out:
        for line in f:
            r = json.loads(line)
            cat, _ = catalogue(r["process"], r["amplitude"])(r["index"])
            t = cat.time
            fr, z = spectrum(t)
            peaks = top_peaks(fr, z, float(t[-1] - t[0]))
            if "peaks" in r:
                assert np.allclose(z[peaks], [row[0] for row in r["peaks"]], rtol=1e-6)
                for row, extra in zip(r["peaks"], peak_fields(t, fr[peaks])):
                    row[7:] = extra
            if r.get("background_peaks"):
                gk = decluster.gardner_knopoff(t, cat.magnitude, cat.latitude, cat.longitude)
                tb = t[gk.background]
                for row, extra in zip(r["background_peaks"], peak_fields(tb, fr[peaks])):
                    row[7:] = extra
            out.write(json.dumps(r) + "\n")
            out.flush()


def tasks(catalogues, power_catalogues, processes):
    for a_index, amplitude in enumerate(AMPLITUDES):
        count = catalogues if amplitude == 0 else power_catalogues
        for p_index, name in enumerate(PROCESSES):
            if name not in processes:
                continue
            for i in range(count):
                yield (name, amplitude, i, [SEED, p_index, a_index, i])


def run(args):
    engine = pick_engine(args.engine, args.build)
    spectrum = make_scan(engine)
    done = set()
    if os.path.exists(args.out):
        with open(args.out) as f:
            for line in f:
                r = json.loads(line)
                done.add((r["process"], r["amplitude"], r["index"]))
    shard, shards = args.shard
    print("engine: %s; results to %s (%d already there)" % (engine, args.out, len(done)),
          file=sys.stderr)
    with open(args.out, "a") as out:
        for k, (name, amplitude, i, seed) in enumerate(tasks(
                args.catalogues, args.power_catalogues, args.processes)):
            if k % shards != shard or (name, amplitude, i) in done:
                continue
            cat, rng = _simulated(name, amplitude, seed)
            record = {"process": name, "amplitude": amplitude, "index": i}
            record.update(analyse(cat, spectrum, rng, args.surrogates))
            out.write(json.dumps(record) + "\n")
            out.flush()
    return [args.out]


# ---------------------------------------------------------------------------
# The table


def _log_pmf(k, n, p):
    if p <= 0:
        return 0.0 if k == 0 else -math.inf
    if p >= 1:
        return 0.0 if k == n else -math.inf
    return (math.lgamma(n + 1) - math.lgamma(k + 1) - math.lgamma(n - k + 1)
            + k * math.log(p) + (n - k) * math.log1p(-p))


def binom_cdf(k, n, p):
    return min(1.0, sum(math.exp(_log_pmf(j, n, p)) for j in range(0, k + 1)))


def binom_quantile(q, n, p):
    total = 0.0
    for k in range(n + 1):
        total += math.exp(_log_pmf(k, n, p))
        if total >= q:
            return k
    return n


def clopper_pearson(k, n, level=0.95):
    tail = (1 - level) / 2

    def solve(fun):
        lo, hi = 0.0, 1.0
        for _ in range(60):
            mid = 0.5 * (lo + hi)
            if fun(mid):
                hi = mid
            else:
                lo = mid
        return 0.5 * (lo + hi)
    lo = 0.0 if k == 0 else solve(lambda p: 1 - binom_cdf(k - 1, n, p) >= tail)
    hi = 1.0 if k == n else solve(lambda p: binom_cdf(k, n, p) <= tail)
    return lo, hi


def rate_cell(k, n):
    lo, hi = clopper_pearson(k, n)
    return "%.1f [%.1f, %.1f]" % (100 * k / n, 100 * lo, 100 * hi)


def table(paths):
    records = []
    for path in paths:
        with open(path) as f:
            records += [json.loads(line) for line in f]
    for r in records:
        if "process" in r:
            r.update(derived(r))
    coverage = [r for r in records if "coverage" in r]
    records = [r for r in records if "process" in r]
    lines = []
    heads = ["method", "process", "n", "false alarms at 5 %", "at 1 %"]
    heads += ["power A = %g (5 %% / 1 %%)" % a for a in AMPLITUDES[1:]]
    lines.append("| " + " | ".join(heads) + " |")
    lines.append("|" + "---|" * 2 + "---:|" * (len(heads) - 2))
    for key, (label, claims) in METHODS.items():
        for name in PROCESSES:
            null = [r[key] for r in records
                    if r["process"] == name and r["amplitude"] == 0 and key in r]
            if not null:
                continue
            n = len(null)
            cells = [label, name, str(n)]
            for alpha in ALPHAS:
                if key == "check":
                    level = 0.5   # the check's value is 0 when it fires
                else:
                    level = alpha
                k = sum(v <= level for v in null)
                cell = rate_cell(k, n)
                if key != "check" and name in claims and k > binom_quantile(0.975, n, alpha):
                    cell += " high"
                cells.append(cell if key != "check" or alpha == ALPHAS[0] else "")
            for amplitude in AMPLITUDES[1:]:
                vals = [r[key] for r in records
                        if r["process"] == name and r["amplitude"] == amplitude and key in r]
                if not vals or key == "check":
                    cells.append("")
                    continue
                cells.append("%.0f / %.0f (n = %d)" % tuple(
                    [100 * np.mean([v <= a for v in vals]) for a in ALPHAS] + [len(vals)]))
            lines.append("| " + " | ".join(cells) + " |")
    if coverage:
        lines += ["", coverage_table(coverage)]
    if not records:
        return "\n".join(lines[2:] if coverage else lines)
    seconds = sum(r["seconds"] for r in records)
    lines.append("")
    lines.append("%d catalogues; %.0f s of analysis; mean events per catalogue: %s"
                 % (len(records), seconds, ", ".join(
                     "%s %.0f" % (name, np.mean([r["events"] for r in records
                                                 if r["process"] == name]))
                     for name in PROCESSES if any(r["process"] == name for r in records))))
    return "\n".join(lines)


# ---------------------------------------------------------------------------
# Coverage of the 95 % likelihood intervals at a detected peak: Poisson
# catalogues of N events with a cycle of amplitude A and a random phase.

COVERAGE_CASES = ((0.3, 500), (0.15, 800))


def coverage_record(amplitude, events, index):
    from periodscan.uncertainty import peak_uncertainty
    rng = np.random.default_rng([SEED, 99, COVERAGE_CASES.index((amplitude, events)), index])
    phase = rng.uniform(0, 2 * np.pi)
    cat = simulate.poisson(rng, SPAN, events / SPAN,
                           simulate.Modulation(amplitude, PERIOD, phase))
    t = cat.time
    f, z = make_scan("numpy")(t) if _SCAN is None else _SCAN(t)
    top = int(np.argmax(z))
    record = {"coverage": [amplitude, events], "index": index, "events": len(t),
              "fap": scan_fap(float(z[top]), t)}
    if record["fap"] >= 0.05:
        return record
    u = peak_uncertainty(t, f[top])
    middle = 0.5 * (t[0] + t[-1])
    true_mid = 2 * np.pi * middle / PERIOD + phase
    est = u.phase.estimate
    true_mid = est + float(np.angle(np.exp(1j * (true_mid - est))))
    record.update({
        "period": bool(u.period.lo <= PERIOD <= u.period.hi),
        "amplitude": bool(u.amplitude.lo <= amplitude <= u.amplitude.hi),
        "phase": bool(u.phase.lo <= true_mid <= u.phase.hi),
        "near": bool(abs(f[top] - 1 / PERIOD) * (t[-1] - t[0]) < 1)})
    return record


_SCAN = None


def run_coverage(args):
    global _SCAN
    _SCAN = make_scan(pick_engine(args.engine, args.build))
    done = set()
    if os.path.exists(args.out):
        with open(args.out) as f:
            done = {(tuple(r["coverage"]), r["index"]) for r in map(json.loads, f)}
    with open(args.out, "a") as out:
        for amplitude, events in COVERAGE_CASES:
            for i in range(args.coverage):
                if ((amplitude, events), i) in done:
                    continue
                out.write(json.dumps(coverage_record(amplitude, events, i)) + "\n")
                out.flush()
    return [args.out]


def coverage_table(records):
    lines = ["| A, N | catalogues | detected (FAP < 5 %) | within 1/L of the true period | "
             "peaks | period covered | A covered | phase covered |",
             "|---|---:|---:|---:|---|---:|---:|---:|"]
    for amplitude, events in COVERAGE_CASES:
        rs = [r for r in records if tuple(r["coverage"]) == (amplitude, events)]
        hits = [r for r in rs if "period" in r]
        if not hits:
            continue
        near = [r for r in hits if r["near"]]
        for label, group in (("every detection", hits), ("within 1/L", near)):
            cells = ["%g, %d" % (amplitude, events), str(len(rs)),
                     rate_cell(len(hits), len(rs)), rate_cell(len(near), len(hits)), label]
            cells += [rate_cell(sum(r[key] for r in group), len(group))
                      for key in ("period", "amplitude", "phase")]
            lines.append("| " + " | ".join(cells) + " |")
    return "\n".join(lines)


def _shard(text):
    try:
        k, m = (int(v) for v in text.split("/"))
    except ValueError:
        raise argparse.ArgumentTypeError("expected K/M, such as 0/2") from None
    if not 0 <= k < m:
        raise argparse.ArgumentTypeError("K must be from 0 to M - 1")
    return k, m


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--quick", action="store_true",
                        help="a smoke run: 10 catalogues without a period, 5 with, "
                             "19 surrogates")
    parser.add_argument("--catalogues", type=int, default=500)
    parser.add_argument("--power-catalogues", type=int, default=200)
    parser.add_argument("--surrogates", type=int, default=surrogates.MAX_SURROGATES)
    parser.add_argument("--out", default="validate_significance.jsonl")
    parser.add_argument("--processes", nargs="+", choices=list(PROCESSES),
                        default=list(PROCESSES), metavar="NAME",
                        help="only these processes (%s)" % ", ".join(PROCESSES))
    parser.add_argument("--shard", type=_shard, default=(0, 1))
    parser.add_argument("--engine", choices=("auto", "numpy", "survey"), default="auto")
    parser.add_argument("--build", metavar="DIR",
                        help="build tree holding python/periodscan/_engine*.so, when the "
                             "package itself comes from the source tree")
    parser.add_argument("--table", nargs="+", metavar="FILE",
                        help="print the table of finished runs and stop")
    parser.add_argument("--recheck", nargs=2, metavar=("FILE", "NEW"),
                        help="recompute the clustering check and kappa of the records in "
                             "FILE and write them to NEW")
    parser.add_argument("--refano", nargs=2, metavar=("FILE", "NEW"),
                        help="add the Fano factor at each peak's period to the records in "
                             "FILE and write them to NEW")
    parser.add_argument("--coverage", type=int, metavar="N",
                        help="instead: the coverage of the likelihood intervals on N Poisson "
                             "catalogues of each of %s (A, events)" % (COVERAGE_CASES,))
    args = parser.parse_args(argv)
    if args.coverage:
        print(table(run_coverage(args)))
        return 0
    if args.refano:
        refano(args.refano[0], args.refano[1], make_scan(pick_engine(args.engine, args.build)))
        print(table([args.refano[1]]))
        return 0
    if args.recheck:
        recheck(args.recheck[0], args.recheck[1],
                make_scan(pick_engine(args.engine, args.build)))
        print(table([args.recheck[1]]))
        return 0
    if args.table:
        print(table(args.table))
        return 0
    if args.quick:
        args.catalogues, args.power_catalogues, args.surrogates = 10, 5, 19
        if args.out == parser.get_default("out"):
            args.out = "validate_significance_quick.jsonl"
    paths = run(args)
    print(table(paths))
    return 0


if __name__ == "__main__":
    sys.exit(main())
