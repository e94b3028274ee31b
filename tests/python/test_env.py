"""The environments' contract: shapes and types, the reward and the ends of an episode on the
shipped slalom (docs/courses/slalom.txt drives it clean), determinism, the vector form's resets."""
import os

import numpy as np
import pytest

import caravelt
from conftest import DATA, course_script

SLALOM = course_script("slalom")
LAP_TICKS = [964, 521, 385]       # the script's laps, as docs/courses/slalom.txt gives them
FIRST_GATE_TICK = 426             # where it crosses the start gate
OBS = {name: i for i, name in enumerate(caravelt.OBSERVATION)}


def drive(env, actions):
    """Steps env through actions from reset(): each step's five results."""
    out = [(env.reset()[0], 0.0, False, False, {})]
    for a in actions:
        out.append(env.step(int(a)))
        if out[-1][2] or out[-1][3]:
            break
    return out


# Catches a result of the wrong type or shape, an observation outside its space or overwritten
# later (a shared buffer), or spaces that refuse their own samples.
def test_shapes_types_and_spaces():
    env = caravelt.CarEnv(render_mode="rgb_array")
    obs, info = env.reset(seed=4)
    assert obs.shape == (20,) and obs.dtype == np.float32 and info == {}
    kept = [obs]
    for _ in range(30):
        obs, reward, terminated, truncated, info = env.step(env.action_space.sample())
        kept.append(obs)
        assert type(reward) is float and terminated is False and truncated is False and info == {}
        assert env.observation_space.contains(obs) and obs in env.observation_space
    assert len({k.tobytes() for k in kept}) > 20 and all(k.flags.owndata for k in kept)
    space = env.observation_space
    assert space.low.dtype == space.high.dtype == np.float32 and (space.low <= space.high).all()
    assert space.contains(space.sample()) and not space.contains(obs.astype(np.float64))
    assert env.action_space.contains(511) and not env.action_space.contains(512)
    assert env.render().shape == (768, 1024, 3) and caravelt.CarEnv().render() is None


# Catches samples that ignore reset's seed, and reset(seed=None) reseeding what was seeded.
def test_reset_seed_seeds_the_spaces():
    env = caravelt.CarEnv()
    draws = []
    for _ in range(2):
        env.reset(seed=7)
        env.reset()
        draws.append(([int(env.action_space.sample()) for _ in range(20)], env.observation_space.sample(),
                      env.np_random.random()))
    assert draws[0][0] == draws[1][0] and (draws[0][1] == draws[1][1]).all() and draws[0][2] == draws[1][2]
    env.reset(seed=8)
    assert [int(env.action_space.sample()) for _ in range(20)] != draws[0][0]


# Catches a gate paid wrongly, time miscounted, an end not on the last lap's tick, a step after it.
def test_a_clean_drive_earns_its_gates_less_its_time_and_terminates_at_the_last_lap():
    steps = drive(env := caravelt.CarEnv(course=caravelt.COURSES["slalom"]), SLALOM)
    rewards = np.array([s[1] for s in steps[1:]])
    end = FIRST_GATE_TICK + sum(LAP_TICKS)
    assert len(rewards) == end and steps[-1][2] is True and steps[-1][3] is False
    assert steps[-1][4] == {"laps_done": 3, "ticks": end, "best_lap": min(LAP_TICKS) / 100, "best_cones": 0}
    gates = 3 * 6 + 1      # every gate of three laps, and the start gate again at the end
    assert rewards.sum() == pytest.approx(gates * caravelt.GATE_REWARD - caravelt.SECOND_COST * end / 100)
    assert (rewards > 0).sum() == gates and rewards[FIRST_GATE_TICK - 1] > 0
    with pytest.raises(RuntimeError, match="call reset"):
        env.step(0)
    assert drive(env, SLALOM[:5])[-1][0].tobytes() == drive(caravelt.CarEnv(), SLALOM[:5])[-1][0].tobytes()


# Catches R giving a lap's gates again for free, and cones costing nothing or the wrong amount.
def test_r_gives_back_a_laps_gates_and_cones_cost_their_penalty():
    env = caravelt.CarEnv()
    cut = FIRST_GATE_TICK + 500        # three gates into lap 1
    actions = np.concatenate([SLALOM[:cut], [caravelt.R]])
    steps = drive(env, actions)
    assert steps[-1][1] == pytest.approx(-3 * caravelt.GATE_REWARD - caravelt.SECOND_COST / 100)
    assert sum(s[1] for s in steps) == pytest.approx(-caravelt.SECOND_COST * len(actions) / 100)
    # Straight along the line of cones from the start gate: every one falls.
    env.reset(), env.step(caravelt.A)
    total = sum(env.step(caravelt.UP)[1] for _ in range(2000))
    assert total == pytest.approx(caravelt.GATE_REWARD - caravelt.SECOND_COST * (2000 / 100 + 5 * 2.0))


# Catches the next gate from the wrong place or turned the wrong way: the car starts pointing
# right, 10 m short of the start gate, whose end a is 4 m up the screen.
def test_the_observation_says_where_the_car_and_the_next_gate_are():
    env = caravelt.CarEnv()
    want = {"x": 4, "y": 47.0, "gate_a_ahead": 10, "gate_a_right": -4, "gate_b_ahead": 10, "gate_b_right": 4,
            "heading_sin": 1, "seconds_left": 60, "Gear": 0}
    obs = env.reset()[0]
    assert {k: float(obs[OBS[k]]) for k in want} == pytest.approx(want, abs=1e-5)
    obs, state = drive(env, SLALOM[:FIRST_GATE_TICK])[-1][0], env.fleet.state[0]
    assert obs[OBS["Velocity"]] == state["Velocity"] and obs[OBS["Gear"]] == state["Gear"]
    assert obs[OBS["x"]] == pytest.approx(state["x"] / 10)
    gx, gy = caravelt.Course(caravelt.COURSES["slalom"]).gates[1][0]
    h = np.radians(state["AxisAngle"])
    dx, dy = gx - state["x"] / 10, gy - state["y"] / 10
    assert obs[OBS["gate_a_ahead"]] == pytest.approx(dx * np.sin(h) - dy * np.cos(h), abs=1e-4)
    assert obs[OBS["gate_a_right"]] == pytest.approx(dx * np.cos(h) + dy * np.sin(h), abs=1e-4)
    assert obs[OBS["seconds_left"]] == pytest.approx(60 - FIRST_GATE_TICK / 100)


# Catches an episode cut short or run past max_seconds, or ticks_per_step holding an action wrongly.
def test_truncation_at_max_seconds_with_several_ticks_a_step():
    env = caravelt.CarEnv(max_seconds=0.5, ticks_per_step=3)
    steps = drive(env, [caravelt.UP] * 100)
    assert len(steps) - 1 == 17 and steps[-1][3] is True and steps[-1][2] is False
    assert [s[3] for s in steps[1:-1]] == [False] * 16 and steps[-1][4]["ticks"] == 50
    assert steps[-1][0][OBS["seconds_left"]] == 0 and env.fleet.laps["ticks"][0] == 50
    fleet = caravelt.Fleet(caravelt.Car(), caravelt.COURSES["slalom"])
    fleet.step(caravelt.UP, ticks=50)
    assert env.fleet.state.tobytes() == fleet.state.tobytes()


# Catches a run depending on more than its actions (a reset leaving something), or a car file not heeded.
def test_the_same_actions_give_the_same_episode():
    rng = np.random.default_rng(3)
    actions = np.concatenate([SLALOM[:700], rng.integers(0, 512, 600)])
    car = os.path.join(DATA, "cars", "drift.toml")

    def episode(env):
        return b"".join(s[0].tobytes() + np.float64(s[1]).tobytes() for s in drive(env, actions))
    runs = [episode(env) for env in (caravelt.CarEnv(car=car), caravelt.CarEnv(car=car)) for _ in range(2)]
    assert len(set(runs)) == 1 and episode(caravelt.CarEnv()) != runs[0]


# Catches a vector env unlike n single ones: a reset late, early or touching the others, an ended
# episode's info lost or misplaced, the modes mixed up, results overwritten, int64 actions refused.
@pytest.mark.parametrize("mode", [caravelt.NEXT_STEP, caravelt.SAME_STEP])
def test_vector_env_is_n_car_envs_each_reset_as_it_ends(mode):
    n, T = 4, 3000
    script = np.concatenate([SLALOM, np.full(T, caravelt.UP, np.uint16)])[:T]
    actions = np.stack([script, np.roll(script, 50), np.full(T, caravelt.UP | caravelt.A, np.uint16),
                        np.random.default_rng(1).integers(0, 512, T)]).astype(np.int64)
    envs = caravelt.VectorEnv(n, max_seconds=28, threads=2, autoreset_mode=mode)
    assert getattr(envs.metadata["autoreset_mode"], "value", envs.metadata["autoreset_mode"]) == mode
    singles = [caravelt.CarEnv(max_seconds=28) for _ in range(n)]
    obs, info = envs.reset(seed=2)
    assert obs.dtype == np.float32 and info == {}
    assert obs.tobytes() == np.stack([s.reset()[0] for s in singles]).tobytes()
    kept, ends, over = [], [], [False] * n
    for t in range(T):
        obs, reward, terminated, truncated, info = envs.step(actions[:, t])
        assert reward.dtype == np.float64 and terminated.dtype == truncated.dtype == np.bool_
        kept.append(obs)
        each = info.get("final_info", info) if mode == caravelt.SAME_STEP else info
        for i, env in enumerate(singles):
            if over[i]:   # ended the step before: reset by this one, its action unused
                o, r, te, tr, inf = env.reset()[0], 0.0, False, False, {}
            else:
                o, r, te, tr, inf = env.step(int(actions[i, t]))
            assert (r, te, tr) == (reward[i], terminated[i], truncated[i]), (t, i)
            ended = te or tr
            assert bool(each.get("_laps_done", np.zeros(n, bool))[i]) == ended, (t, i)
            if ended:
                ends.append((t, i, te))
                assert all(each[k][i] == v or (v != v and each[k][i] != each[k][i]) for k, v in inf.items()), inf
            if ended and mode == caravelt.SAME_STEP:
                assert info["_final_obs"][i] and info["final_obs"][i].tobytes() == o.tobytes()
                o = env.reset()[0]
            over[i] = ended and mode == caravelt.NEXT_STEP
            assert obs[i].tobytes() == o.tobytes(), (t, i)
    assert (FIRST_GATE_TICK + sum(LAP_TICKS) - 1, 0, True) in ends and (2799, 2, False) in ends
    assert len({k.tobytes() for k in kept}) == T
