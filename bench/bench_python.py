#!@ORVEX_PYTHON_EXECUTABLE@
"""The Python module's cost beside the same render called from C++: one 1920x1080 frame through
Effect.render(frame, out=...) against the same render looped in C++ on the same effect and frames,
the two measured interleaved so that the machine's load weighs on both alike.

Takes the Google Benchmark flags scripts/bench-report passes and writes its JSON form."""
import json
import os
import re
import statistics
import sys
import time

sys.path.insert(0, "@ORVEX_PYTHON_DIR@")
import numpy as np  # noqa: E402

import orvex  # noqa: E402

# (row, effect, parameters)
CASES = [
    ("brightness_contrast", "video/effect/brightness_contrast", {"bright": 30}),
    ("gaussian_blur", "video/effect/gaussian_blur", {"Blurriness": 10}),
]


def frame_1080p():
    y, x = np.mgrid[0:1080, 0:1920]
    pic = np.empty((1080, 1920, 4), np.uint8)
    pic[:, :, 0] = x * 255 // 1919
    pic[:, :, 1] = y * 255 // 1079
    pic[:, :, 2] = ((x // 64 + y // 64) % 2) * 200 + 20
    pic[:, :, 3] = 255
    return pic


def sample(effect, frame, out, count):
    """Milliseconds a render, from C++ and through Python, alternating call by call."""
    cpp = python = 0.0
    for _ in range(count):
        cpp += effect._render_in_cpp(frame, out, 1)
        start = time.perf_counter()
        effect.render(frame, out=out)
        python += time.perf_counter() - start
    return cpp * 1000 / count, python * 1000 / count


def main(argv):
    flags = dict(re.match(r"--([^=]+)=?(.*)", a).groups() for a in argv if a.startswith("--"))
    repetitions = max(1, int(flags.get("benchmark_repetitions", "3") or 3))
    min_time = float(re.sub(r"[^0-9.]", "", flags.get("benchmark_min_time", "0.5")) or 0.5)
    pattern = re.compile(flags.get("benchmark_filter", ".*") or ".*")
    frame, out = frame_1080p(), np.empty((1080, 1920, 4), np.uint8)
    rows = []
    for name, effect_name, params in CASES:
        effect = orvex.Effect(effect_name, device="cpu", **params)
        cpp_row, py_row = f"python_render/cpp/{name}", f"python_render/orvex/{name}"
        if not (pattern.search(cpp_row) or pattern.search(py_row)):
            continue

        effect.render(frame, out=out)  # the first render builds tables and touches the pages
        once = effect._render_in_cpp(frame, out, 3) * 1000 / 3
        count = max(3, int(min_time * 1000 / max(once, 0.01) / 2))
        cpp, python = [], []
        for _ in range(repetitions * 3):
            c, p = sample(effect, frame, out, count)
            cpp.append(c)
            python.append(p)
        for row, times in ((cpp_row, cpp), (py_row, python)):
            rows.append({"name": row, "run_name": row, "run_type": "aggregate", "aggregate_name": "median",
                         "repetitions": len(times), "iterations": count, "real_time": statistics.median(times),
                         "cpu_time": statistics.median(times), "time_unit": "ms"})
        print(f"{name}: C++ {statistics.median(cpp):.3f} ms, Python {statistics.median(python):.3f} ms "
              f"({statistics.median(python) / statistics.median(cpp):.3f}x)", file=sys.stderr)
    report = {"context": {"executable": sys.argv[0], "library_build_type": "release"}, "benchmarks": rows}
    if "benchmark_out" in flags:
        with open(flags["benchmark_out"], "w") as f:
            json.dump(report, f, indent=1)
    else:
        json.dump(report, sys.stdout, indent=1)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
