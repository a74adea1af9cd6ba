"""Cluster-shift surrogates on Dask: the same maxima, bit for bit, for any
number of workers, any batch size and a run resumed from its checkpoint; a
checkpoint of other inputs refused."""

import importlib

import numpy as np
import pytest

from periodscan import simulate, surrogates
from periodscan.dask_client import dask_client

survey_module = importlib.import_module("periodscan.periodogram")
pytestmark = pytest.mark.skipif(survey_module._engine is None,
                                reason="periodscan._engine is not built or not first on the "
                                "path (PERIODSCAN_PYTHONPATH=<build>/python)")
pytest.importorskip("distributed")

N = 23


@pytest.fixture(scope="module")
def catalogue():
    t = simulate.neyman_scott(np.random.default_rng(8), 400.0, 0.15, 5).time
    clusters = np.repeat(np.arange(len(t) // 5 + 1), 5)[:len(t)]
    f = 1 / 50 + np.arange(200) / (5 * (t[-1] - t[0]))
    return t, clusters, f


@pytest.fixture(scope="module")
def alone(catalogue):
    """The maxima scanned in this process, one engine call for all seeds."""
    t, clusters, f = catalogue
    seeds = surrogates.surrogate_seeds(5, 0, N)
    return survey_module.engine().shift_maxima(t, clusters, f, seeds, None, 1)


@pytest.fixture(scope="module", params=[1, 2], ids=["one worker", "two workers"])
def client(request):
    with dask_client(workers=request.param) as c:
        yield c


def test_spawned_seeds():
    children = np.random.SeedSequence(5).spawn(N)
    expected = [c.generate_state(1, np.uint64)[0] for c in children]
    assert list(surrogates.surrogate_seeds(5, 3, N)) == expected[3:]


@pytest.mark.parametrize("batch", [None, 1, 4, N + 5])
def test_same_maxima_for_any_workers_and_batches(catalogue, alone, client, batch):
    t, clusters, f = catalogue
    observed = float(np.median(alone))
    r = surrogates.surrogate_fap(t, clusters, f, observed, n=N, seed=5, client=client,
                                 batch=batch)
    assert r.maxima.tobytes() == alone.tobytes()
    reached = int(np.sum(alone >= observed))
    assert (r.reached, r.fap) == (reached, (reached + 1) / (N + 1))


class Stop(Exception):
    pass


def test_resume_after_an_interruption(catalogue, alone, client, tmp_path):
    t, clusters, f = catalogue
    path = str(tmp_path / "run.npz")
    calls = []

    def stop_after_two_batches(done, total):
        calls.append(done)
        if len(calls) == 3:
            raise Stop()

    with pytest.raises(Stop):
        surrogates.surrogate_fap(t, clusters, f, 0.0, n=N, seed=5, client=client, batch=3,
                                 checkpoint=path, progress=stop_after_two_batches)
    with np.load(path) as kept:
        assert kept["done"].sum() == 6
    seen = []
    r = surrogates.surrogate_fap(t, clusters, f, 0.0, n=N, seed=5, client=client, batch=5,
                                 checkpoint=path, resume=True,
                                 progress=lambda done, total: seen.append(done))
    assert r.maxima.tobytes() == alone.tobytes()
    assert seen[0] == 6 and seen[-1] == N
    with pytest.raises(surrogates.CheckpointError, match="other inputs"):
        surrogates.surrogate_fap(t, clusters, f, 0.0, n=N, seed=6, client=client,
                                 checkpoint=path, resume=True)


@pytest.mark.parametrize("argv, message", [
    (["--surrogates", "0"], "--surrogates 0: not a whole number from 1 to 1000000"),
    (["--surrogates", "9.5"], "--surrogates 9.5: not a whole number"),
    (["--surrogates", "-3"], "--surrogates -3: not a whole number"),
    (["--surrogates", "\u00b2"], "--surrogates \u00b2: not a whole number"),
    (["--surrogates", "9"], "--surrogates needs --events FILE"),
    (["--scheduler", "tcp://127.0.0.1:1"], "--scheduler needs --surrogates N"),
    (["--resume"], "--resume needs --surrogates N"),
    (["--events", "e.txt", "--surrogates", "9", "--scheduler", " "], "--scheduler: no address"),
    (["--events", "e.txt", "--surrogates", "9", "--checkpoint", "no/such/k.npz"],
     "--checkpoint no/such/k.npz: no folder no/such to write it in"),
])
def test_plot_refuses_bad_surrogate_options(argv, message, capsys):
    from periodscan import plot_command
    with pytest.raises(SystemExit) as stop:
        plot_command.parse_arguments(argv)
    assert stop.value.code == 2
    assert message in capsys.readouterr().err


@pytest.mark.parametrize("seeds, error, message", [
    (np.array([1, -2]), ValueError, "seeds must be 0 or more"),
    (np.array([1.5]), TypeError, "seeds must be an array of whole numbers"),
    (np.zeros((2, 2), np.uint64), ValueError, "seeds must be a one-dimensional array"),
])
def test_engine_refuses_bad_seeds(catalogue, seeds, error, message):
    t, clusters, f = catalogue
    with pytest.raises(error, match=message):
        survey_module.engine().shift_maxima(t, clusters, f, seeds)


@pytest.mark.parametrize("address", ["garbage", "tcp://[::1", "inproc://x",
                                     "ucx://127.0.0.1:1"])
def test_unusable_scheduler_address_is_unavailable(address):
    from periodscan.dask_client import DaskUnavailable
    with pytest.raises(DaskUnavailable, match="cannot be reached"):
        with dask_client(address):
            pass


@pytest.mark.parametrize("cut", [0, 4, 300])
def test_checkpoint_cut_short_is_refused(tmp_path, cut):
    whole, path = tmp_path / "whole.npz", tmp_path / "cut.npz"
    surrogates._write_checkpoint(str(whole), "f", np.zeros(3), np.ones(3, bool))
    path.write_bytes(whole.read_bytes()[:cut])
    with pytest.raises(surrogates.CheckpointError, match="cut.npz cannot be read"):
        surrogates._read_checkpoint(str(path), "f", 3)


def test_sigterm_in_a_cluster_block_stops_like_ctrl_c():
    import os
    import signal
    import time
    from periodscan import dask_client as module
    # The module's cluster may hold SIGTERM already.
    held = signal.signal(signal.SIGTERM, signal.SIG_DFL)
    try:
        with pytest.raises(KeyboardInterrupt) as stop:
            with module._terminate_as_interrupt():
                os.kill(os.getpid(), signal.SIGTERM)
                time.sleep(1)
        assert stop.value.status == 143
        assert signal.getsignal(signal.SIGTERM) is signal.SIG_DFL
    finally:
        signal.signal(signal.SIGTERM, held)


@pytest.mark.parametrize("where, message", [
    (".", "is not a regular file"), ("no/such/k.npz", "no folder no/such"),
])
def test_checkpoint_place_refused_before_any_scan(catalogue, monkeypatch, tmp_path, where,
                                                  message):
    monkeypatch.chdir(tmp_path)
    monkeypatch.setattr(surrogates, "_run_batches", None)   # no scan may start
    t, clusters, f = catalogue
    with pytest.raises(surrogates.CheckpointError, match=message):
        surrogates.surrogate_fap(t, clusters, f, 0.0, n=N, checkpoint=where)
