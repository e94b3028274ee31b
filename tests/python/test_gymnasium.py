"""The environments under Gymnasium 1.x (../shared/vendor): its checker, wrappers and registry take
them, VectorEnv is a SyncVectorEnv of CarEnvs step for step, and both copy to equal, independent objects."""
import copy
import pickle

import numpy as np
import pytest

import caravelt
from conftest import course_script

gym = pytest.importorskip("gymnasium", reason="Gymnasium is not on PYTHONPATH (its source: ../shared/vendor)")
from gymnasium.utils.env_checker import check_env  # noqa: E402

SLALOM = course_script("slalom")


def same(a, b):
    """Gymnasium's data_equivalence, but a NaN equal to a NaN (a lapless episode's best_lap)."""
    if isinstance(a, dict):
        return isinstance(b, dict) and a.keys() == b.keys() and all(same(a[k], b[k]) for k in a)
    if isinstance(a, (tuple, list)):
        return type(a) is type(b) and len(a) == len(b) and all(same(x, y) for x, y in zip(a, b))
    if isinstance(a, np.ndarray):
        if not (isinstance(b, np.ndarray) and a.dtype == b.dtype and a.shape == b.shape):
            return False
        if a.dtype == object:
            return all(same(x, y) for x, y in zip(a, b))
        return np.array_equal(a, b, equal_nan=a.dtype.kind in "fc")
    return type(a) is type(b) and (a == b or (a != a and b != b))


# Catches a CarEnv Gymnasium does not take: look-alike spaces, no seeding through its base class,
# a result its checker refuses, its usual wrappers failing over it.
def test_check_env_and_the_usual_wrappers_take_car_env():
    for render_mode in (None, "rgb_array"):
        env = caravelt.CarEnv(render_mode=render_mode)
        assert isinstance(env, gym.Env) and isinstance(env.observation_space, gym.spaces.Box)
        check_env(env, skip_render_check=render_mode is None)
    made = gym.make("caravelt/Course-v0", course="autocross", max_episode_steps=40, render_mode="rgb_array")
    assert made.unwrapped.course.name == "Autocross"
    check_env(made.unwrapped)
    env = gym.wrappers.RecordEpisodeStatistics(gym.wrappers.NormalizeObservation(
        gym.wrappers.FlattenObservation(gym.wrappers.TimeLimit(caravelt.CarEnv(), 30))))
    env.reset(seed=3)
    for steps in range(1, 40):
        *_, terminated, truncated, info = env.step(env.action_space.sample())
        if terminated or truncated:
            break
    assert steps == 30 and info["episode"]["l"] == 30


def sync_and_ours(mode, n, **kwargs):
    sync = gym.vector.SyncVectorEnv([lambda: caravelt.CarEnv(**kwargs) for _ in range(n)], autoreset_mode=mode)
    return sync, caravelt.VectorEnv(n, autoreset_mode=mode, threads=2, **kwargs)


# Catches a vector env not Gymnasium's: another autoreset convention, info keys or masks of its own,
# laps lost at reset, int64 actions refused, seeds as a list or a reset mask not taken.
@pytest.mark.parametrize("mode", [gym.vector.AutoresetMode.NEXT_STEP, gym.vector.AutoresetMode.SAME_STEP])
def test_vector_env_is_a_sync_vector_env_of_car_envs_step_for_step(mode):
    n, T = 4, 2200
    sync, ours = sync_and_ours(mode, n, max_seconds=9)
    assert isinstance(ours, gym.vector.VectorEnv) and ours.metadata["autoreset_mode"] == mode
    assert ours.action_space == sync.action_space and ours.observation_space == sync.observation_space
    script = np.concatenate([SLALOM, np.full(T, caravelt.UP)])[:T]
    actions = np.stack([script, np.roll(script, 30), np.random.default_rng(2).integers(0, 512, T),
                        np.full(T, caravelt.UP | caravelt.A)]).astype(np.int64)
    for a, b in zip(sync.reset(seed=[1, 2, 3, 4]), ours.reset(seed=[1, 2, 3, 4])):
        assert same(a, b)
    ends = 0
    for t in range(T):
        if t == 1500:   # the caller ends two episodes early
            mask = np.array([True, False, True, False])
            for a, b in zip(sync.reset(options={"reset_mask": mask}), ours.reset(options={"reset_mask": mask})):
                assert same(a, b), t
        want, got = sync.step(actions[:, t]), ours.step(actions[:, t])
        for k, (a, b) in enumerate(zip(want, got)):
            assert same(a, b), (t, k, a, b)
        ends += want[2].sum() + want[3].sum()
    assert ends > 4


# Catches an environment or fleet that does not copy, comes back different, or shares its cars.
@pytest.mark.parametrize("copy_of", [lambda x: pickle.loads(pickle.dumps(x)), copy.deepcopy],
                         ids=["pickle", "deepcopy"])
def test_environments_and_fleets_copy_to_equal_independent_objects(copy_of):
    env, envs = caravelt.CarEnv(course="figure8"), caravelt.VectorEnv(3, autoreset_mode="SameStep")
    env.reset(seed=1), envs.reset(seed=1)
    for a in SLALOM[:700]:
        env.step(int(a)), envs.step(np.full(3, a))
    for original in (env, envs):
        twin = copy_of(original)
        assert type(twin) is type(original) and twin.fleet is not original.fleet
        for a in SLALOM[700:900]:
            step = (lambda e: e.step(int(a))) if original is env else (lambda e: e.step(np.full(3, a)))
            assert same(step(original), step(twin))
    # cars of two setups keep each its own parameters through the copy
    mixed = caravelt.Fleet([caravelt.Car(), caravelt.Car(Mass=1500, LockMax=20)], caravelt.COURSES["slalom"])
    mixed.step(caravelt.UP | caravelt.A, ticks=300)
    twin = copy_of(mixed)
    twin.step(caravelt.UP, ticks=10)
    assert twin.state.tobytes() != mixed.state.tobytes()
    mixed.step(caravelt.UP, ticks=10)
    for f in (mixed, twin):
        f.step(caravelt.UP | caravelt.RIGHT, ticks=400)
    assert twin.state.tobytes() == mixed.state.tobytes() and twin.laps.tobytes() == mixed.laps.tobytes()
    assert mixed.state[0].tobytes() != mixed.state[1].tobytes()
