"""The Dask cluster that the surrogate tests and the maps run on.

By default an embedded local cluster sized to the machine (one worker
process per core, one thread each), started and stopped around the work;
with an address (--scheduler ADDRESS, or the environment's
DASK_SCHEDULER_ADDRESS) an existing cluster, whose workers must be able to
import periodscan and its engine.

Dask (Debian's python3-distributed) is imported only here and only when a
cluster is asked for.
"""

import contextlib
import logging
import os
import signal
import tempfile
import threading

SCHEDULER_ENV = "DASK_SCHEDULER_ADDRESS"
CONNECT_TIMEOUT = "20s"


class DaskUnavailable(RuntimeError):
    """Dask is not installed, or the scheduler named cannot be reached."""


class Terminated(KeyboardInterrupt):
    """SIGTERM while a cluster is in use, raised as Ctrl-C is, so that the
    work stops the same way: what is done is kept, the cluster started for
    the run is stopped. A command ends with `status` (128 + SIGTERM)."""
    status = 128 + signal.SIGTERM
    word = "terminated"


def _raise_terminated(_number, _frame):
    raise Terminated()


@contextlib.contextmanager
def _terminate_as_interrupt():
    """SIGTERM raises Terminated in the main thread while in the block,
    where it would end the process at once (an ignored SIGTERM, or a handler
    of the caller's, is left alone)."""
    main = threading.current_thread() is threading.main_thread()
    if not main or signal.getsignal(signal.SIGTERM) is not signal.SIG_DFL:
        yield
        return
    signal.signal(signal.SIGTERM, _raise_terminated)
    try:
        yield
    finally:
        signal.signal(signal.SIGTERM, signal.SIG_DFL)


def scheduler_address(address=None):
    """The scheduler to use: `address`, else the environment's, else None
    (an embedded cluster)."""
    return address or os.environ.get(SCHEDULER_ENV) or None


class IgnoreTermination:
    """A worker plugin of the embedded cluster: its workers ignore SIGTERM,
    as they ignore Ctrl-C, since this process stops them. Sent to the whole
    process group, the signal would otherwise kill them under the cluster,
    which then starts new ones while it shuts down, and these print Dask's
    tracebacks."""
    name = "periodscan-ignore-sigterm"

    def setup(self, worker):
        if threading.current_thread() is threading.main_thread():
            signal.signal(signal.SIGTERM, signal.SIG_IGN)


@contextlib.contextmanager
def dask_client(address=None, workers=None):
    """A distributed.Client on the scheduler at `address` (see
    scheduler_address), or on an embedded local cluster of `workers`
    processes (default: the cores of the machine); what this started is
    stopped on leaving, whatever ends the work."""
    try:
        from distributed import Client, LocalCluster
    except ImportError as e:
        raise DaskUnavailable("Dask is not installed (Debian package python3-distributed)") \
            from e
    address = scheduler_address(address)
    if address:
        try:
            client = Client(address, timeout=CONNECT_TIMEOUT)
        except Exception as e:
            # Not only a scheduler that does not answer: an address Dask
            # cannot parse, a protocol it lacks (ucx://) or cannot use
            # unconfigured (tls://), a server that speaks something else.
            raise DaskUnavailable("the Dask scheduler at %s cannot be reached (%s)"
                                  % (address, e or type(e).__name__)) from None
        try:
            with _terminate_as_interrupt():
                yield client
        finally:
            client.close()
        return
    count = workers or os.cpu_count() or 1
    # The workers' scratch space is this run's own, removed afterwards: a
    # shared one keeps the lock files of workers that were killed, and every
    # later cluster reports purging them.
    scratch = tempfile.TemporaryDirectory(prefix="periodscan-dask-")
    logging.getLogger("distributed").setLevel(max(logging.getLogger("distributed").level,
                                                  logging.WARNING))
    # The worker processes are started with Ctrl-C ignored, which they keep:
    # it is this process that stops them, without a traceback from each.
    main = threading.current_thread() is threading.main_thread()
    previous = signal.signal(signal.SIGINT, signal.SIG_IGN) if main else None
    try:
        # No dashboard; the scheduler's own HTTP routes on a free port, not
        # on 8787 with a warning when another cluster holds that one.
        cluster = LocalCluster(n_workers=count, threads_per_worker=1, processes=True,
                               dashboard_address=None, silence_logs=logging.ERROR,
                               local_directory=scratch.name,
                               scheduler_kwargs={"dashboard_address": ":0"})
    except BaseException:
        scratch.cleanup()
        raise
    finally:
        if main:
            signal.signal(signal.SIGINT, previous)
    with scratch, cluster, Client(cluster) as client, _terminate_as_interrupt():
        client.register_worker_plugin(IgnoreTermination())
        yield client
