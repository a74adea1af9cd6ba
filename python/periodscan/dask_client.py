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
import threading

SCHEDULER_ENV = "DASK_SCHEDULER_ADDRESS"
CONNECT_TIMEOUT = "20s"


class DaskUnavailable(RuntimeError):
    """Dask is not installed, or the scheduler named cannot be reached."""


def scheduler_address(address=None):
    """The scheduler to use: `address`, else the environment's, else None
    (an embedded cluster)."""
    return address or os.environ.get(SCHEDULER_ENV) or None


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
            yield client
        finally:
            client.close()
        return
    count = workers or os.cpu_count() or 1
    # The worker processes are started with Ctrl-C ignored, which they keep:
    # it is this process that stops them, without a traceback from each.
    main = threading.current_thread() is threading.main_thread()
    previous = signal.signal(signal.SIGINT, signal.SIG_IGN) if main else None
    try:
        # No dashboard; the scheduler's own HTTP routes on a free port, not
        # on 8787 with a warning when another cluster holds that one.
        cluster = LocalCluster(n_workers=count, threads_per_worker=1, processes=True,
                               dashboard_address=None, silence_logs=logging.ERROR,
                               scheduler_kwargs={"dashboard_address": ":0"})
    finally:
        if main:
            signal.signal(signal.SIGINT, previous)
    with cluster, Client(cluster) as client:
        yield client
