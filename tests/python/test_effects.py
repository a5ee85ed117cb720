"""Every effect through Python gives the bytes `orvex render` gives on the same picture and
parameters; frames of every layout are taken as the module promises."""
import wave

import numpy as np
import pytest

import orvex
from conftest import cli, make_picture, read_png, write_png

FPS = 25  # the command's frame rate for a picture's sound
FRAME = 3


def setting(info):
    """One setting away from the defaults: the first ranged number at 30% of its range, else the
    first flag flipped."""
    for p in info["params"]:
        if p["type"] in ("int", "float") and p["range"]:
            lo, hi = p["range"]
            value = lo + 0.3 * (hi - lo)
            return {p["name"]: int(round(value)) if p["type"] == "int" else round(value, 3)}
    for p in info["params"]:
        if p["type"] == "bool":
            return {p["name"]: not p["default"]}
    return {}


@pytest.fixture(scope="module")
def sound(tmp_path_factory):
    """A 48 kHz stereo sweep as a WAV file, and its samples."""
    t = np.arange(48000 * 1, dtype=np.float64) / 48000
    left = 0.6 * np.sin(2 * np.pi * (200 + 2000 * t) * t)
    right = 0.4 * np.sin(2 * np.pi * 440 * t) * np.cos(2 * np.pi * 3 * t)
    samples = np.round(np.stack([left, right], axis=1) * 32767).astype(np.int16)
    path = tmp_path_factory.mktemp("sound") / "sweep.wav"
    with wave.open(str(path), "wb") as w:
        w.setnchannels(2)
        w.setsampwidth(2)
        w.setframerate(48000)
        w.writeframes(samples.tobytes())
    per_frame = 48000 // FPS
    return path, samples[FRAME * per_frame:(FRAME + 1) * per_frame]


@pytest.mark.parametrize("name", orvex.effects())
def test_every_effect_gives_the_commands_bytes(name, picture, picture_file, sound, tmp_path):
    info = orvex.info(name)
    shader = "opengl" in info["paths"] and "cpu" not in info["paths"]
    device = "best" if shader or info["any_parameter"] else "cpu"
    audio = "audio" in name
    for params in ({}, setting(info)):
        args = ["render", "--effect", name, "--device", device, "--frame", FRAME]
        for key, value in params.items():
            args += ["--param", f"{key}={str(value).lower() if isinstance(value, bool) else value}"]
        if audio:
            args += ["--audio", sound[0]]
        cli(*args, picture_file, tmp_path / "cli.png")
        effect = orvex.Effect(name, device=device, **params)
        ours = effect.render(picture, position=FRAME, audio=sound[1] if audio else None)
        theirs = read_png(tmp_path / "cli.png")
        assert ours.shape == theirs.shape and ours.dtype == np.uint8
        diff = np.abs(ours.astype(int) - theirs.astype(int))
        assert diff.max() == 0, f"{name} {params}: {np.count_nonzero(diff)} samples differ, up to {diff.max()}"


def test_info_matches_the_command():
    for name in orvex.effects():
        text = cli("info", name).stdout
        info = orvex.info(name)
        paths = text.split("paths:")[1].split("\n")[0].split()
        assert [p.lower() for p in paths if p != "none"] == info["paths"], name
        for p in info["params"]:
            line = next(l for l in text.splitlines() if l.strip().startswith(p["name"] + " ") or l.strip() == p["name"])
            assert f" {p['type']} " in line, (name, line)


def test_float32_and_int16_sound_give_the_same_picture(picture, sound):
    effect = orvex.Effect("video/effect/audio_spectrum")
    as_float = (sound[1].astype(np.float32) / 32768).astype(np.float32)
    assert np.array_equal(effect.render(picture, FRAME, audio=sound[1]), effect.render(picture, FRAME, audio=as_float))


LAYOUTS = {
    "padded rows": lambda p: np.pad(p, ((0, 0), (0, 13), (0, 0)))[:, : p.shape[1]],
    "reversed rows": lambda p: p[::-1][::-1],
    "columns reversed twice": lambda p: p[:, ::-1][:, ::-1],
    "Fortran order": np.asfortranarray,
    "channels split": lambda p: np.ascontiguousarray(p.transpose(2, 0, 1)).transpose(1, 2, 0),
    "every other row": lambda p: np.repeat(p, 2, axis=0)[::2],
}


@pytest.mark.parametrize("layout", LAYOUTS)
def test_any_layout_gives_the_contiguous_picture(layout, picture):
    effect = orvex.Effect("video/effect/gaussian_blur", device="cpu", Blurriness=7)
    frame = LAYOUTS[layout](picture)
    assert np.array_equal(frame, picture)
    assert np.array_equal(effect.render(frame), effect.render(picture))


def test_padded_rows_are_read_in_place(picture):
    """A row stride larger than the row is the frame's pitch: the library reads the caller's memory."""
    wide = np.zeros((picture.shape[0], picture.shape[1] + 9, 4), np.uint8)
    view = wide[:, : picture.shape[1]]
    view[...] = picture
    effect = orvex.Effect("video/effect/brightness_contrast", device="cpu", bright=40)
    result = effect.render(view, out=view)
    assert result is view
    assert not wide[:, picture.shape[1]:].any(), "bytes beyond the rows were written"
    assert np.array_equal(view, effect.render(picture))


def test_three_channels_get_opaque_alpha(picture):
    effect = orvex.Effect("video/effect/tint", device="cpu")
    opaque = picture.copy()
    opaque[:, :, 3] = 255
    assert np.array_equal(effect.render(picture[:, :, :3]), effect.render(opaque))


@pytest.mark.parametrize("name", ["video/effect/gaussian_blur", "video/effect/mirror", "video/effect/glitch_box_shift"])
def test_out_and_in_place(name, picture):
    effect = orvex.Effect(name, device="cpu")
    expected = effect.render(picture, 5)
    out = np.full_like(picture, 77)
    assert effect.render(picture, 5, out=out) is out and np.array_equal(out, expected)
    frame = picture.copy()
    assert effect.render(frame, 5, out=frame) is frame and np.array_equal(frame, expected)
    strided_out = np.zeros((picture.shape[0], picture.shape[1], 8), np.uint8)[:, :, ::2]
    assert effect.render(picture, 5, out=strided_out) is strided_out and np.array_equal(strided_out, expected)


def test_parameters_are_set_and_read_back():
    effect = orvex.Effect("video/effect/gaussian_blur", device="cpu", Blurriness=12)
    assert effect.params["Blurriness"] == 12
    effect.set(Blurriness=3)
    assert effect.params["Blurriness"] == 3
    assert effect.name == "video/effect/gaussian_blur" and effect.device == "CPU"


def test_wide_frames_are_refused_where_the_effect_has_no_body_for_them(picture):
    effect = orvex.Effect("video/effect/gamma_correction", device="cpu")
    wide = picture.astype(np.uint16) * 257
    out = np.full_like(wide, 1234)
    with pytest.raises(orvex.RenderError) as error:
        effect.render(wide, out=out)
    assert error.value.code == 7 and isinstance(error.value, RuntimeError)
    assert "unsupported frame format" in str(error.value)
    assert np.all(out == 1234), "a failed render wrote into out"


def test_opencl_renders_the_cpu_picture(picture):
    from conftest import has_device
    if not has_device("opencl"):
        pytest.skip("no OpenCL device")
    cpu = orvex.Effect("video/effect/brightness_contrast", device="cpu", bright=25)
    gpu = orvex.Effect("video/effect/brightness_contrast", device="opencl", bright=25)
    assert gpu.device == "OpenCL"
    assert np.array_equal(cpu.render(picture), gpu.render(picture))
