"""False-alarm probability of the largest peak from shifted clusters.

Clusters (aftershock sequences, swarms) make the Poisson levels of a scan
far too low. Where the clusters are known, from declustering on magnitudes
and locations, a reference that keeps them intact is built by moving every
cluster as a whole to a random place in the record: each cluster gets its own
shift u, uniform over [0, L), and its events go to t_1 + ((t - t_1 + u) mod L).
The shifted catalogue has the same clusters and the same cluster sizes but no
common timing between clusters, which is what a periodic rate would give.
The scan's largest DeltaLogLik on such surrogates is the null distribution
of the observed one.

Surrogates are drawn one by one and the drawing stops once `stop_after` of
them reach the observed maximum (Besag and Clifford, Biometrika 78, 301-304,
1991): then p = stop_after / drawn. Otherwise all `max_surrogates` are
drawn and p = (reached + 1) / (max_surrogates + 1). Either way p is a valid
p-value; the sequential rule only saves work where p is large.

The surrogate scans run in the compiled engine (periodscan._engine) on the
table's own grid and over its observation intervals: there the shift is in
watched time (each event's position is mapped to the watched time before it,
shifted circularly, and mapped back), so no event lands in a gap of the
record. The shifts come from a fixed generator (std::mt19937_64) seeded with
`seed`: the same seed gives the same surrogates on any machine and for any
thread count.

surrogate_fap() runs many surrogates (999 by default) on a Dask cluster,
each drawn from a stream of its own, with no stop rule; see below.
"""

import asyncio
import contextlib
import hashlib
import itertools
import os
import tempfile
import time
import zipfile
import zlib
from concurrent.futures import CancelledError
from dataclasses import dataclass

import numpy as np

from .dask_client import DaskUnavailable, dask_client
from .periodogram import _real, _real_array, _whole, engine
from .progress import SHOW_AFTER, TerminalProgress

MAX_SURROGATES = 99
STOP_AFTER = 10
SEED = 20261208


@dataclass
class SurrogateFap:
    fap: float
    observed: float        # the largest DeltaLogLik of the catalogue
    drawn: int             # surrogate scans made
    reached: int           # of which reached the observed value
    clusters: int

    def label(self):
        return "cluster shifts (%d clusters, %d surrogate scans)" % (self.clusters, self.drawn)


def cluster_shift_surrogates(times, clusters, frequencies, observed, intervals=None, seed=SEED,
                             max_surrogates=MAX_SURROGATES, stop_after=STOP_AFTER, threads=0,
                             progress=None):
    """The empirical false-alarm probability of `observed`, the largest
    DeltaLogLik of a scan of the sorted `times` at `frequencies` (the table's
    own; a uniform grid takes the survey's fast route), from surrogates whose
    clusters (`clusters`: a whole-number label per event) are shifted as
    wholes. `intervals`: the (start, end) pairs the events were watched
    over, None for the whole span. `progress`, when given, is called now and
    then with (surrogates done, max_surrogates)."""
    seed = _whole(seed, "seed")
    if not 0 <= seed < 1 << 64:
        raise ValueError("seed must be 0 or more, below 2**64")
    labels = np.asarray(clusters)
    if intervals is not None:
        intervals = _real_array(intervals, "intervals")
        if intervals.ndim == 1 and intervals.size == 2:
            intervals = intervals.reshape(1, 2)
    scans = engine().shift_scans(
        _real_array(times, "times"), labels,
        np.atleast_1d(_real_array(frequencies, "frequencies")),
        _real(observed, "observed"), intervals, seed,
        _whole(max_surrogates, "max_surrogates"), _whole(stop_after, "stop_after"),
        _whole(threads, "threads"), progress)
    drawn, reached = int(scans["drawn"]), int(scans["reached"])
    fap = reached / drawn if reached >= stop_after else (reached + 1) / (max_surrogates + 1)
    return SurrogateFap(fap, float(observed), drawn, reached, len(np.unique(labels)))


# ---------------------------------------------------------------------------
# Many surrogates on a Dask cluster.
#
# surrogate_fap() splits N surrogates into batches, each a task that scans
# its batch in one call of the engine (shift_maxima), on an embedded local
# cluster or on an existing scheduler. Surrogate i draws its shifts from
# its own stream: a std::mt19937_64 seeded with
#     numpy.random.SeedSequence(seed).spawn(N)[i].generate_state(1, numpy.uint64)[0]
# (which is SeedSequence(seed, spawn_key=(i,)), so any one of them is made
# without the others), so the maxima are the same bits for any number of
# workers, any batch size, and a run resumed from its checkpoint.

SURROGATES = 999
CHECKPOINT_VERSION = "periodscan cluster-shift checkpoint 1"
BATCH_LIMIT = 25          # surrogates per task at most: the checkpoint's grain
CHECKPOINT_EVERY = 1.0    # seconds at least between two writes of the checkpoint


class CheckpointError(ValueError):
    """A checkpoint that cannot be read, or that belongs to other inputs."""


@dataclass
class SurrogateTest:
    """The outcome of surrogate_fap."""
    fap: float             # (reached + 1) / (n + 1)
    observed: float        # the largest DeltaLogLik of the catalogue
    maxima: np.ndarray     # the largest DeltaLogLik of each surrogate, in seed order
    n: int                 # surrogates
    seed: int
    clusters: int
    reached: int           # surrogates whose maximum reached `observed`

    @property
    def drawn(self):
        return self.n

    def label(self):
        return "cluster shifts (%d clusters, %d surrogate scans)" % (self.clusters, self.n)


def surrogate_seeds(seed, start, stop):
    """The engine's seeds of surrogates start .. stop-1 (uint64 array)."""
    return np.array([np.random.SeedSequence(seed, spawn_key=(i,)).generate_state(1, np.uint64)[0]
                     for i in range(start, stop)], dtype=np.uint64)


@dataclass
class _Inputs:
    """What every batch scans: sent to the workers once."""
    times: np.ndarray
    clusters: np.ndarray
    frequencies: np.ndarray
    intervals: object


def scan_batch(inputs, start, seeds):
    """One task: (start, the maxima of the surrogates of `seeds`), scanned on
    one thread (the workers' processes share the cores)."""
    return start, engine().shift_maxima(inputs.times, inputs.clusters, inputs.frequencies,
                                        seeds, inputs.intervals, 1)


def _prepared(times, clusters, frequencies, intervals):
    """The inputs as the engine and the fingerprint take them, checked by the
    engine on no surrogate (before any cluster is started)."""
    if intervals is not None:
        intervals = _real_array(intervals, "intervals")
        if intervals.ndim == 1 and intervals.size == 2:
            intervals = intervals.reshape(1, 2)
    inputs = _Inputs(np.ascontiguousarray(_real_array(times, "times")),
                     np.ascontiguousarray(np.asarray(clusters)),
                     np.ascontiguousarray(np.atleast_1d(_real_array(frequencies,
                                                                    "frequencies"))),
                     intervals)
    engine().shift_maxima(inputs.times, inputs.clusters, inputs.frequencies,
                          np.empty(0, np.uint64), inputs.intervals, 1)
    # The same labels give the same fingerprint whatever their integer type.
    inputs.clusters = inputs.clusters.astype(np.int64)
    return inputs


def _fingerprint(inputs, seed, n):
    digest = hashlib.sha256(CHECKPOINT_VERSION.encode())
    for part in (inputs.times, inputs.clusters, inputs.frequencies, inputs.intervals):
        if part is None:
            digest.update(b"none")
        else:
            part = np.ascontiguousarray(part)
            digest.update(("%s %s " % (part.dtype.str, part.shape)).encode())
            digest.update(part.tobytes())
    digest.update(("seed %d n %d" % (seed, n)).encode())
    return digest.hexdigest()


def _read_checkpoint(path, fingerprint, n):
    """The maxima and the done flags kept in the checkpoint at `path`."""
    try:
        with np.load(path, allow_pickle=False) as kept:
            found = str(kept["fingerprint"])
            maxima = np.array(kept["maxima"], dtype=float)
            done = np.array(kept["done"], dtype=bool)
    except FileNotFoundError:
        raise CheckpointError("checkpoint %s: no such file to resume from" % path) from None
    except (OSError, ValueError, KeyError, EOFError, zipfile.BadZipFile, zlib.error) as e:
        # A file cut short, or not one of ours, is no zip archive to numpy.
        raise CheckpointError("checkpoint %s cannot be read (%s)"
                              % (path, e or type(e).__name__)) from None
    if found != fingerprint or maxima.shape != (n,) or done.shape != (n,):
        raise CheckpointError("checkpoint %s was written for other inputs (events, clusters, "
                              "frequencies, intervals, seed or number of surrogates); remove "
                              "it or name another" % path)
    return maxima, done


def _write_checkpoint(path, fingerprint, maxima, done):
    """Writes the checkpoint beside `path` and renames it into place, so that
    an interrupted write leaves the previous one."""
    folder = os.path.dirname(os.path.abspath(path))
    handle, staged = tempfile.mkstemp(prefix=".checkpoint-", suffix=".npz", dir=folder)
    try:
        with os.fdopen(handle, "wb") as stream:
            np.savez(stream, fingerprint=np.array(fingerprint), maxima=maxima, done=done)
            stream.flush()
            os.fsync(stream.fileno())
        os.replace(staged, path)
    except BaseException:
        with contextlib.suppress(OSError):
            os.unlink(staged)
        raise


class EtaProgress(TerminalProgress):
    """TerminalProgress with the time left, from the pace of this run (the
    surrogates taken from a checkpoint do not count)."""

    def __init__(self, label, stream=None):
        super().__init__(label, stream)
        self.first = None

    def __call__(self, done, total):
        if self.first is None:
            self.first = (done, time.monotonic())
            return
        if not self.enabled or time.monotonic() - self.start < SHOW_AFTER:
            return
        made, began = done - self.first[0], self.first[1]
        left = ""
        if made > 0 and done < total:
            left = ", about %s left" % _duration((time.monotonic() - began) / made
                                                 * (total - done))
        self.stream.write("\r%s: %d of %d%s\033[K" % (self.label, done, total, left))
        self.stream.flush()
        self.shown = True


def _duration(seconds):
    if seconds < 60:
        return "%d s" % max(1, round(seconds))
    if seconds < 3600:
        return "%d min %02d s" % divmod(round(seconds), 60)
    return "%d h %02d min" % divmod(round(seconds / 60), 60)


def surrogate_fap(times, clusters, frequencies, observed, n=SURROGATES, seed=SEED,
                  intervals=None, client=None, scheduler=None, batch=None, checkpoint=None,
                  resume=False, progress=None):
    """The false-alarm probability of `observed` from `n` cluster-shift
    surrogates scanned on a Dask cluster.

    Parameters
    ----------
    times, clusters, frequencies, observed, intervals
        As for cluster_shift_surrogates: the sorted event times, a
        whole-number cluster label per event, the table's frequencies, its
        largest DeltaLogLik and the observation intervals (None: the span).
    n : int
        Surrogates, all of them scanned (no stop rule).
    seed : int
        0 <= seed < 2**64; surrogate i draws from its own stream, spawned
        from it (see above), so the result does not depend on the workers,
        the batches or a resume.
    client : distributed.Client, optional
        The cluster to use; else one from dask_client(scheduler): the
        scheduler at `scheduler` (or $DASK_SCHEDULER_ADDRESS), else an
        embedded local cluster started and stopped here.
    batch : int, optional
        Surrogates per task (default: a few tasks per worker, at most 25).
    checkpoint : str, optional
        A file (.npz) rewritten after every finished batch with the maxima
        done and a fingerprint of the inputs.
    resume : bool
        Continue from `checkpoint` (which must exist and belong to the same
        inputs, else CheckpointError) instead of starting afresh.
    progress : callable, optional
        Called with (surrogates done, n) as batches finish.

    Returns
    -------
    SurrogateTest
        fap = (reached + 1) / (n + 1), with the maxima in surrogate order.
    """
    seed = _whole(seed, "seed")
    if not 0 <= seed < 1 << 64:
        raise ValueError("seed must be 0 or more, below 2**64")
    n = _whole(n, "n")
    if n < 1:
        raise ValueError("n must be at least 1")
    if batch is not None:
        batch = _whole(batch, "batch")
        if batch < 1:
            raise ValueError("batch must be at least 1")
    if resume and checkpoint is None:
        raise ValueError("resume needs a checkpoint file")
    if checkpoint is not None:
        checkpoint = os.fspath(checkpoint)
        # Found out before the surrogates are scanned, not after.
        if os.path.exists(checkpoint) and not os.path.isfile(checkpoint):
            raise CheckpointError("checkpoint %s is not a regular file (a folder, a device or "
                                  "a named pipe)" % checkpoint)
        if not os.path.isdir(os.path.dirname(os.path.abspath(checkpoint))):
            raise CheckpointError("checkpoint %s: there is no folder %s to write it in"
                                  % (checkpoint, os.path.dirname(checkpoint)))
    observed = _real(observed, "observed")
    if np.isnan(observed):
        raise ValueError("observed must be a number, not nan")
    inputs = _prepared(times, clusters, frequencies, intervals)
    fingerprint = _fingerprint(inputs, seed, n)
    if resume:
        maxima, done = _read_checkpoint(checkpoint, fingerprint, n)
    else:
        maxima, done = np.full(n, np.nan), np.zeros(n, dtype=bool)
    if not done.all():
        if client is not None:
            _run_batches(client, inputs, seed, batch, maxima, done, checkpoint, fingerprint,
                         progress)
        else:
            with dask_client(scheduler) as own:
                _run_batches(own, inputs, seed, batch, maxima, done, checkpoint, fingerprint,
                             progress)
    reached = int(np.count_nonzero(maxima >= observed))
    return SurrogateTest((reached + 1) / (n + 1), observed, maxima, n, seed,
                         len(np.unique(inputs.clusters)), reached)


def _run_batches(client, inputs, seed, batch, maxima, done, checkpoint, fingerprint, progress):
    from distributed import as_completed
    from distributed.scheduler import KilledWorker
    n = len(maxima)
    workers = max(1, len(client.scheduler_info().get("workers", {})))
    if batch is None:
        batch = max(1, min(BATCH_LIMIT, -(-n // (4 * workers))))
    try:
        shared = client.scatter(inputs, broadcast=True, hash=False)
    except Exception as e:
        # Dask passes a worker's failure to unpickle the inputs on as a bare
        # Exception with the worker's error as its text.
        raise DaskUnavailable("the Dask workers cannot take the surrogates' inputs (%s); they "
                              "need the periodscan package with its engine on their "
                              "PYTHONPATH" % (e or type(e).__name__)) from None
    starts = iter([start for start in range(0, n, batch) if not done[start:start + batch].all()])
    live = set()

    def submit(start):
        future = client.submit(scan_batch, shared, start,
                               surrogate_seeds(seed, start, min(start + batch, n)), pure=False)
        live.add(future)
        return future

    # A few batches per worker in flight, the next submitted as one ends:
    # the work starts at once, however many surrogates there are.
    queue = as_completed([submit(start) for start in itertools.islice(starts, 4 * workers)])
    if progress is not None:
        progress(int(done.sum()), n)
    unsaved, saved_at = False, time.monotonic()

    def save():
        try:
            _write_checkpoint(checkpoint, fingerprint, maxima, done)
        except OSError as e:
            raise CheckpointError("checkpoint %s cannot be written (%s)"
                                  % (checkpoint, e.strerror or e)) from None

    try:
        for future in queue:
            live.discard(future)
            following = next(starts, None)
            if following is not None:
                queue.add(submit(following))
            try:
                start, found = future.result()
            except (ImportError, OSError, KilledWorker) as e:
                raise DaskUnavailable("the Dask workers cannot scan the surrogates (%s: %s); "
                                      "they need the periodscan package with its engine on "
                                      "their PYTHONPATH" % (type(e).__name__, e)) from None
            maxima[start:start + len(found)] = found
            done[start:start + len(found)] = True
            unsaved = checkpoint is not None
            # Written at most once a second while batches come in quickly.
            if unsaved and (done.all() or time.monotonic() - saved_at >= CHECKPOINT_EVERY):
                save()
                unsaved, saved_at = False, time.monotonic()
            if progress is not None:
                progress(int(done.sum()), n)
    except BaseException as e:
        if unsaved:
            save()
        if isinstance(e, (OSError, TimeoutError, CancelledError, asyncio.CancelledError)):
            # The scheduler gone, or the connection to it lost, mid-run.
            kept = ""
            if checkpoint is not None and done.any():
                kept = ("; %d of %d surrogates are kept in %s, --resume continues"
                        % (done.sum(), n, checkpoint))
            raise DaskUnavailable("the Dask cluster failed while scanning the surrogates "
                                  "(%s: %s)%s" % (type(e).__name__, e, kept)) from None
        raise
    finally:
        # Interrupted: what is still running or waiting is given up.
        pending = [future for future in live if not future.done()]
        if pending:
            client.cancel(pending)


@dataclass
class SurrogateRequest:
    """The cluster-shift test as periodscan-plot --surrogates asks for it: n
    surrogates on Dask, checkpointed in `checkpoint` (a file) or, by default,
    in a file of `folder` named after the inputs, which is removed once the
    test is complete (a named file is kept)."""
    n: int
    scheduler: str = None
    checkpoint: str = None
    folder: str = None
    resume: bool = False
    kept: tuple = None     # (checkpoint file, surrogates done) once one is written

    def run(self, times, clusters, frequencies, observed, intervals=None, seed=SEED):
        inputs = _prepared(times, clusters, frequencies, intervals)
        path = self.checkpoint
        if path is None and self.folder is not None:
            name = "surrogates-%s.npz" % _fingerprint(inputs, seed, self.n)[:16]
            path = os.path.join(self.folder, name)
            if self.resume and not os.path.exists(path):
                raise CheckpointError("no checkpoint of these inputs in %s to resume from"
                                      % self.folder)
        with EtaProgress("cluster-shift surrogates") as progress:
            def report(done, total):
                if path is not None and done:
                    self.kept = (path, done)
                progress(done, total)
            result = surrogate_fap(inputs.times, inputs.clusters, inputs.frequencies, observed,
                                   self.n, seed, inputs.intervals, scheduler=self.scheduler,
                                   checkpoint=path, resume=self.resume, progress=report)
        if self.checkpoint is None and path is not None:
            with contextlib.suppress(OSError):
                os.unlink(path)
        self.kept = None
        return result
