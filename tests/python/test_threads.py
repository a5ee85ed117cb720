"""Renders from several threads give the serial result; memory does not grow with renders."""
import threading

import numpy as np

import orvex
from conftest import make_picture

EFFECTS = ["video/effect/gaussian_blur", "video/effect/glitch_box_shift", "video/effect/tint", "video/effect/mirror"]


def run_threads(count, work):
    errors = []

    def guarded(i):
        try:
            work(i)
        except BaseException as e:  # reported to the main thread below
            errors.append(e)

    threads = [threading.Thread(target=guarded, args=(i,)) for i in range(count)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert not errors, errors


def test_four_threads_of_a_hundred_frames_give_the_serial_frames():
    picture = make_picture(96, 64)
    serial = {name: [orvex.Effect(name, device="cpu").render(picture, f) for f in range(100)] for name in EFFECTS}
    results = {}

    def work(i):
        effect = orvex.Effect(EFFECTS[i], device="cpu")
        results[EFFECTS[i]] = [effect.render(picture, f) for f in range(100)]

    run_threads(4, work)
    for name in EFFECTS:
        for f in range(100):
            assert np.array_equal(results[name][f], serial[name][f]), (name, f)


def test_threads_sharing_one_effect_take_turns():
    picture = make_picture(80, 48)
    effect = orvex.Effect("video/effect/gaussian_blur", device="cpu", Blurriness=6)
    expected = effect.render(picture)
    outs = [[None] * 25 for _ in range(4)]

    def work(i):
        for k in range(25):
            if k % 5 == 0:
                effect.set(Blurriness=6)  # setting between renders is serialised too
            outs[i][k] = effect.render(picture)

    run_threads(4, work)
    assert all(np.array_equal(o, expected) for row in outs for o in row)


def resident_kib():
    with open("/proc/self/status") as status:
        return next(int(line.split()[1]) for line in status if line.startswith("VmRSS:"))


def test_a_thousand_renders_do_not_grow_the_resident_set():
    picture = make_picture(320, 180)
    effect = orvex.Effect("video/effect/gaussian_blur", device="cpu", Blurriness=5)
    out = np.empty_like(picture)
    for _ in range(50):  # caches, pools and the allocator settle first
        effect.render(picture, out=out)
        effect.render(picture)
    before = resident_kib()
    for i in range(1000):
        effect.render(picture, i, out=out)
        effect.render(picture[:, :, :3], i)
    grown = resident_kib() - before
    assert grown < 8 * 1024, f"the resident set grew by {grown} KiB over 1000 renders"
