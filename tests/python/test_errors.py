"""Mistakes raise Python exceptions with the library's words; no array, however malformed, takes
the interpreter down, and a failed call leaves the caller's arrays as they were."""
import numpy as np
import pytest

import orvex


def test_unknown_effect_suggests_the_closest_name():
    with pytest.raises(KeyError, match="did you mean 'video/effect/gaussian_blur'"):
        orvex.Effect("video/effect/gausian_blur")
    with pytest.raises(KeyError, match="unknown effect 'nothing at all'"):
        orvex.info("nothing at all")


def test_parameter_errors():
    effect = orvex.Effect("video/effect/gaussian_blur", device="cpu", Blurriness=4)
    with pytest.raises(KeyError, match="did you mean 'Blurriness'"):
        effect.set(Bluriness=3)
    with pytest.raises(TypeError, match="is an int, not str"):
        effect.set(Blurriness="3")
    with pytest.raises(TypeError, match="is an int, not float"):
        effect.set(Blurriness=2.5)
    with pytest.raises(ValueError, match=r"out of range \[0, "):
        effect.set(Blurriness=10**9)
    with pytest.raises(ValueError, match="finite"):
        orvex.Effect("video/effect/brightness_contrast", bright=float("nan"))
    # A bad value among good ones changes nothing.
    with pytest.raises(KeyError):
        effect.set(Blurriness=9, Nonsense=1)
    assert effect.params["Blurriness"] == 4
    with pytest.raises(TypeError, match="is a bool, not int"):
        orvex.Effect("video/effect/channel_mixer", monochrome=1)


def test_device_errors():
    with pytest.raises(ValueError, match="device must be"):
        orvex.Effect("video/effect/tint", device="gpu")
    with pytest.raises(ValueError, match="no OpenGL path"):
        orvex.Effect("video/effect/tint", device="opengl")
    with pytest.raises(ValueError, match="device must be 'cpu' or 'opencl'"):
        orvex.vp.flip(np.zeros((4, 4, 4), np.uint8), horizontal=True, device="opengl")


GOOD = np.zeros((6, 5, 4), np.uint8)
BAD_FRAMES = [
    ("a list", [[[0, 0, 0, 0]]], TypeError),
    ("None", None, TypeError),
    ("float32", np.zeros((6, 5, 4), np.float32), TypeError),
    ("int8", np.zeros((6, 5, 4), np.int8), TypeError),
    ("1-D", np.zeros(20, np.uint8), ValueError),
    ("2-D", np.zeros((6, 5), np.uint8), ValueError),
    ("4-D", np.zeros((1, 6, 5, 4), np.uint8), ValueError),
    ("five channels", np.zeros((6, 5, 5), np.uint8), ValueError),
    ("two channels", np.zeros((6, 5, 2), np.uint8), ValueError),
    ("no rows", np.zeros((0, 5, 4), np.uint8), ValueError),
    ("no columns", np.zeros((6, 0, 4), np.uint8), ValueError),
    ("no channels", np.zeros((6, 5, 0), np.uint8), ValueError),
]


@pytest.mark.parametrize("case", BAD_FRAMES, ids=[c[0] for c in BAD_FRAMES])
def test_malformed_frames(case):
    _, frame, error = case
    effect = orvex.Effect("video/effect/brightness_contrast", device="cpu")
    with pytest.raises(error):
        effect.render(frame)
    with pytest.raises(error):
        orvex.vp.resize(frame, (3, 3))
    with pytest.raises(error):
        orvex.vp.blend(frame, GOOD)


BAD_OUTS = [
    ("wrong dtype", lambda: np.zeros((6, 5, 4), np.uint16), TypeError),
    ("wrong shape", lambda: np.zeros((5, 6, 4), np.uint8), ValueError),
    ("three channels", lambda: np.zeros((6, 5, 3), np.uint8), ValueError),
    ("not an array", lambda: bytearray(120), TypeError),
]


def read_only():
    a = np.zeros((6, 5, 4), np.uint8)
    a.setflags(write=False)
    return a


@pytest.mark.parametrize("case", BAD_OUTS + [("read-only", read_only, ValueError)], ids=lambda c: c[0])
def test_unusable_out(case):
    _, make, error = case
    out = make()
    before = np.array(out, copy=True) if isinstance(out, np.ndarray) else None
    with pytest.raises(error):
        orvex.Effect("video/effect/tint", device="cpu").render(GOOD, out=out)
    with pytest.raises(error):
        orvex.vp.flip(GOOD, vertical=True, out=out)
    if before is not None:
        assert np.array_equal(out, before)


def test_bad_operation_values():
    frame = np.zeros((8, 8, 4), np.uint8)
    for call in (lambda: orvex.vp.resize(frame, (0, 5)),
                 lambda: orvex.vp.resize(frame, (4, 4), quality=9),
                 lambda: orvex.vp.crop(frame, (0, 0, 0, 1)),
                 lambda: orvex.vp.crop(frame, (float("nan"), 0, 1, 1)),
                 lambda: orvex.vp.rotate(frame),
                 lambda: orvex.vp.rotate(frame, quarter=1, angle=3),
                 lambda: orvex.vp.flip(frame),
                 lambda: orvex.vp.blend(frame, frame, opacity=2),
                 lambda: orvex.vp.transform(frame, frame, rotation=float("inf")),
                 lambda: orvex.vp.convert(frame, "rgb24"),
                 lambda: orvex.vp.convert(frame, "nv12", matrix="240"),
                 lambda: orvex.vp.convert(np.zeros(10, np.uint8), "nv12", size=(8, 8)),
                 lambda: orvex.vp.convert((np.zeros((8, 8), np.uint8),), "nv12"),
                 lambda: orvex.vp.convert((np.zeros((8, 8), np.uint8), np.zeros((3, 8), np.uint8)), "nv12"),
                 lambda: orvex.vp.lut(frame, np.zeros((4, 4, 4), np.float32)),
                 lambda: orvex.vp.lut(frame, np.full((2, 2, 2, 3), np.nan, np.float32)),
                 lambda: orvex.vp.lut(frame, "/nonexistent.cube"),
                 lambda: orvex.vp.hdr2sdr(frame),
                 lambda: orvex.vp.hdr(frame, "sdr2hdr"),
                 lambda: orvex.vp.white_balance(frame, colour="zz")):
        with pytest.raises(ValueError):
            call()
    with pytest.raises(TypeError):
        orvex.vp.convert((np.zeros((8, 8), np.uint16), np.zeros((4, 8), np.uint16)), "nv12")


def test_a_failed_operation_leaves_out_alone():
    wide = np.zeros((9, 9, 4), np.uint16)
    out = np.full((9, 9, 4), 5, np.uint16)
    with pytest.raises(orvex.RenderError) as error:
        # Blend takes 8-bit BGRA on the CPU.
        orvex.vp.blend(wide, wide, out=out)
    assert error.value.code != 0 and "blend failed" in str(error.value)
    assert np.all(out == 5)


def test_library_lines_reach_stderr_from_the_level_asked(capfd):
    effect = orvex.Effect("video/effect/gamma_correction", device="cpu")
    wide = np.zeros((4, 4, 4), np.uint16)
    try:
        orvex.set_log_level(6)
        with pytest.raises(orvex.RenderError):
            effect.render(wide)
        assert "unsupported frame format" in capfd.readouterr().err
    finally:
        orvex.set_log_level(7)
    with pytest.raises(orvex.RenderError):
        effect.render(wide)
    assert capfd.readouterr().err == "", "the default prints nothing: the exception carries the words"


def test_set_resources_names_the_tree_in_use(tmp_path):
    before = orvex.resources()
    try:
        orvex.set_resources(str(tmp_path))
        assert orvex.resources() == str(tmp_path)
    finally:
        orvex.set_resources("")
    assert orvex.resources() == before, "an empty path goes back to the tree found as the command finds it"
