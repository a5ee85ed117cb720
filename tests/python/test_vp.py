"""orvex.vp gives what `orvex vp` gives on the same pictures and options."""
import os
from pathlib import Path

import numpy as np
import pytest

import orvex
from conftest import cli, has_device, make_picture, read_png, write_png

# (name, command options, the call)
ONE_PICTURE = [
    ("resize", ["resize", "--size", "40x31", "--type", "1", "--quality", "2"],
     lambda f: orvex.vp.resize(f, (40, 31), type=1, quality=2)),
    ("crop", ["crop", "--rect", "0.1,0.2,0.5,0.6"], lambda f: orvex.vp.crop(f, (0.1, 0.2, 0.5, 0.6))),
    ("crop scaled", ["crop", "--rect", "0.25,0,0.5,1", "--size", "20x20"],
     lambda f: orvex.vp.crop(f, (0.25, 0, 0.5, 1), size=(20, 20))),
    ("quarter", ["rotate", "--quarter", "0"], lambda f: orvex.vp.rotate(f, quarter=0)),
    ("mirror", ["rotate", "--quarter", "4"], lambda f: orvex.vp.rotate(f, quarter=4)),
    ("angle", ["rotate", "--angle", "17.5"], lambda f: orvex.vp.rotate(f, angle=17.5)),
    ("angle nearest", ["rotate", "--angle", "-30", "--nearest", "--size", "50x50"],
     lambda f: orvex.vp.rotate(f, angle=-30, nearest=True, size=(50, 50))),
    ("flip", ["flip", "--horizontal"], lambda f: orvex.vp.flip(f, horizontal=True)),
    ("flip vertical", ["flip", "--vertical"], lambda f: orvex.vp.flip(f, vertical=True)),
]


@pytest.mark.parametrize("case", ONE_PICTURE, ids=[c[0] for c in ONE_PICTURE])
def test_one_picture_operations(case, picture, picture_file, tmp_path):
    _, args, call = case
    cli("vp", *args, picture_file, tmp_path / "cli.png")
    assert np.array_equal(call(picture), read_png(tmp_path / "cli.png"))


COMPOSE = [
    ("blend", ["blend", "--mode", "3", "--opacity", "0.7", "--rect", "0.1,0.1,0.6,0.5"],
     lambda o, b: orvex.vp.blend(o, b, mode=3, opacity=0.7, rect=(0.1, 0.1, 0.6, 0.5))),
    ("blend premultiplied", ["blend", "--mode", "12", "--premultiplied", "--overlay-rect", "0,0,0.5,0.5"],
     lambda o, b: orvex.vp.blend(o, b, mode=12, premultiplied=True, overlay_rect=(0, 0, 0.5, 0.5))),
    ("transform", ["transform", "--rotation", "20", "--scale", "0.6", "--anchor", "0.4,0.5", "--centre", "0.6,0.4"],
     lambda o, b: orvex.vp.transform(o, b, rotation=20, scale=0.6, anchor=(0.4, 0.5), centre=(0.6, 0.4))),
    ("transform skewed", ["transform", "--mode", "5", "--scale", "0.8,1.2", "--skew", "0.2,0", "--nearest"],
     lambda o, b: orvex.vp.transform(o, b, mode=5, scale=(0.8, 1.2), skew=(0.2, 0), nearest=True)),
]


@pytest.mark.parametrize("case", COMPOSE, ids=[c[0] for c in COMPOSE])
def test_compositing(case, picture, picture_file, tmp_path):
    _, args, call = case
    background = make_picture(53, 41, seed=3)
    write_png(tmp_path / "bg.png", background)
    cli("vp", *args, picture_file, tmp_path / "bg.png", tmp_path / "cli.png")
    assert np.array_equal(call(picture, background), read_png(tmp_path / "cli.png"))


def cube_text(n, table):
    lines = [f"LUT_3D_SIZE {n}"]
    for b in range(n):
        for g in range(n):
            for r in range(n):
                lines.append("%.6f %.6f %.6f" % tuple(table[r, g, b]))
    return "\n".join(lines) + "\n"


@pytest.mark.parametrize("mode", [0, 1, 2])
def test_lut_from_a_file_and_from_an_array(mode, picture, picture_file, tmp_path):
    n = 9
    r, g, b = np.meshgrid(*[np.linspace(0, 1, n)] * 3, indexing="ij")
    table = np.stack([g ** 0.8, 0.5 * r + 0.5 * b, 1 - r], axis=-1)
    table = np.array([[[[float("%.6f" % v) for v in e] for e in row] for row in plane] for plane in table], np.float32)
    (tmp_path / "look.cube").write_text(cube_text(n, table))
    cli("vp", "lut", "--mode", mode, tmp_path / "look.cube", picture_file, tmp_path / "cli.png")
    expected = read_png(tmp_path / "cli.png")
    assert np.array_equal(orvex.vp.lut(picture, str(tmp_path / "look.cube"), mode=mode), expected)
    assert np.array_equal(orvex.vp.lut(picture, tmp_path / "look.cube", mode=mode), expected)
    assert np.array_equal(orvex.vp.lut(picture, table, mode=mode), expected)


@pytest.mark.parametrize("transfer", ["pq", "hlg"])
def test_hdr2sdr(transfer, picture, picture_file, tmp_path):
    cli("vp", "hdr2sdr", f"--{transfer}", picture_file, tmp_path / "cli.png")
    assert np.array_equal(orvex.vp.hdr2sdr(picture, transfer=transfer), read_png(tmp_path / "cli.png"))


@pytest.mark.parametrize("what, options, kwargs", [
    ("sdr2hdr", ["--pq"], {"transfer": "pq"}),
    ("sdr2hdr", ["--hlg", "--sdr", "601-625"], {"transfer": "hlg", "sdr": "601-625"}),
    ("pq2hlg", [], {}),
    ("hlg2pq", [], {}),
])
def test_hdr_transfers_keep_sixteen_bits(what, options, kwargs, picture, tmp_path):
    wide = (picture.astype(np.uint32) * 257 + np.arange(picture.shape[1])[None, :, None] % 200).astype(np.uint16)
    write_png(tmp_path / "in.png", wide)
    cli("vp", "hdr", what, *options, tmp_path / "in.png", tmp_path / "cli.png")
    ours = orvex.vp.hdr(wide, what, **kwargs)
    assert ours.dtype == np.uint16
    assert np.array_equal(ours, read_png(tmp_path / "cli.png"))


def test_white_balance(picture, picture_file):
    for options, kwargs in (([], {}), (["--pick", "10,20"], {"pick": (10, 20)}), (["--colour", "C09060"], {"colour": 0xC09060})):
        words = cli("vp", "whitebalance", *options, picture_file).stdout.split()
        temperature, tint = orvex.vp.white_balance(picture, **kwargs)
        assert ("%.2f" % temperature, "%.2f" % tint) == (words[1], words[3])


FORMATS = ["yv12", "i420", "nv12", "p010", "yuva420", "yv12p10", "yuv422p", "yuv422p16", "yuva422p"]


@pytest.mark.parametrize("fmt", FORMATS)
def test_convert_both_ways(fmt, picture, picture_file, tmp_path):
    w, h = picture.shape[1], picture.shape[0]
    for matrix, rng in (("709", "limited"), ("601", "full"), ("2020", "limited")):
        options = ["--format", fmt, "--matrix", matrix, "--range", rng]
        cli("vp", "convert", *options, picture_file, tmp_path / "cli.yuv")
        packed = orvex.vp.convert(picture, fmt, matrix=matrix, range=rng, packed=True)
        assert packed.tobytes() == (tmp_path / "cli.yuv").read_bytes(), (fmt, matrix, rng)
        planes = orvex.vp.convert(picture, fmt, matrix=matrix, range=rng)
        assert b"".join(p.tobytes() for p in planes) == packed.tobytes()

        cli("vp", "convert", *options, "--size", f"{w}x{h}", tmp_path / "cli.yuv", tmp_path / "back.png")
        expected = read_png(tmp_path / "back.png")
        assert np.array_equal(orvex.vp.convert(planes, fmt, matrix=matrix, range=rng), expected)
        assert np.array_equal(orvex.vp.convert(packed, fmt, matrix=matrix, range=rng, size=(w, h)), expected)
        as_bytes = np.frombuffer((tmp_path / "cli.yuv").read_bytes(), np.uint8)
        assert np.array_equal(orvex.vp.convert(as_bytes, fmt, matrix=matrix, range=rng, size=(w, h)), expected)


def test_convert_scales_on_decode(picture, picture_file, tmp_path):
    cli("vp", "convert", "--format", "nv12", picture_file, tmp_path / "cli.yuv")
    cli("vp", "convert", "--format", "nv12", "--size", "67x45", "--out-size", "33x20", "--quality", "3",
        tmp_path / "cli.yuv", tmp_path / "small.png")
    packed = np.fromfile(tmp_path / "cli.yuv", np.uint8)
    ours = orvex.vp.convert(packed, "nv12", size=(67, 45), out_size=(33, 20), quality=3)
    assert np.array_equal(ours, read_png(tmp_path / "small.png"))


@pytest.mark.skipif(not has_device("opencl"), reason="no OpenCL device")
def test_opencl_frame_operations(picture, picture_file, tmp_path):
    cli("vp", "resize", "--size", "40x30", "--device", "opencl", picture_file, tmp_path / "cli.png")
    assert np.array_equal(orvex.vp.resize(picture, (40, 30), device="opencl"), read_png(tmp_path / "cli.png"))
    cli("vp", "convert", "--format", "nv12", "--device", "opencl", picture_file, tmp_path / "cli.yuv")
    ours = orvex.vp.convert(picture, "nv12", packed=True, device="opencl")
    assert ours.tobytes() == (tmp_path / "cli.yuv").read_bytes()
