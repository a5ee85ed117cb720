"""Shared pieces of the Python module's tests: the orvex command beside the module, pictures as
PNG files both can read, and a test picture."""
import os
import struct
import subprocess
import zlib
from pathlib import Path

import numpy as np
import pytest

import orvex

CLI = os.environ.get("ORVEX_CLI", "orvex")


def cli(*args, check=True):
    """Runs the orvex command; returns the finished process."""
    return subprocess.run([CLI, *map(str, args)], capture_output=True, text=True, check=check)


def _chunk(tag, data):
    return struct.pack(">I", len(data)) + tag + data + struct.pack(">I", zlib.crc32(tag + data) & 0xFFFFFFFF)


def write_png(path, bgra):
    """Writes an H x W x 4 BGRA (uint8) or BGRA64 (uint16) picture as an RGBA PNG."""
    h, w, _ = bgra.shape
    rgba = np.ascontiguousarray(bgra[:, :, [2, 1, 0, 3]])
    depth = 16 if rgba.dtype == np.uint16 else 8
    if depth == 16:
        rgba = rgba.astype(">u2")
    raw = b"".join(b"\x00" + rgba[y].tobytes() for y in range(h))
    header = struct.pack(">IIBBBBB", w, h, depth, 6, 0, 0, 0)
    Path(path).write_bytes(b"\x89PNG\r\n\x1a\n" + _chunk(b"IHDR", header) + _chunk(b"IDAT", zlib.compress(raw)) +
                           _chunk(b"IEND", b""))


def _paeth(a, b, c):
    p = a + b - c
    pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
    return a if pa <= pb and pa <= pc else b if pb <= pc else c


def read_png(path):
    """Reads a non-interlaced 8- or 16-bit grey, RGB or RGBA PNG as BGRA (alpha full when absent)."""
    data = Path(path).read_bytes()
    assert data[:8] == b"\x89PNG\r\n\x1a\n", path
    pos, idat = 8, b""
    while pos < len(data):
        length, tag = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if tag == b"IHDR":
            w, h, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", body)
            assert interlace == 0 and colour in (0, 2, 6), (colour, interlace)
        elif tag == b"IDAT":
            idat += body
        pos += 12 + length
    channels = {0: 1, 2: 3, 6: 4}[colour]
    bpp = channels * depth // 8
    raw = np.frombuffer(zlib.decompress(idat), np.uint8).reshape(h, 1 + w * bpp)
    rows = np.zeros((h, w * bpp), np.uint8)
    prev = np.zeros(w * bpp, np.int32)
    for y in range(h):
        kind, line = raw[y, 0], raw[y, 1:].astype(np.int32)
        if kind == 1:  # sub: a running sum along each byte lane
            line = np.cumsum(line.reshape(w, bpp), axis=0).reshape(-1) % 256
        elif kind == 2:
            line = (line + prev) % 256
        elif kind in (3, 4):
            out = line.copy()
            for i in range(w * bpp):
                left = out[i - bpp] if i >= bpp else 0
                upper_left = prev[i - bpp] if i >= bpp else 0
                guess = (left + prev[i]) // 2 if kind == 3 else _paeth(left, prev[i], upper_left)
                out[i] = (line[i] + guess) % 256
            line = out
        rows[y] = line
        prev = line.astype(np.int32)
    samples = rows.view(">u2").astype(np.uint16) if depth == 16 else rows
    samples = samples.reshape(h, w, channels)
    full = 65535 if depth == 16 else 255
    if channels == 1:
        samples = np.repeat(samples, 3, axis=2)
    bgra = np.full((h, w, 4), full, samples.dtype)
    bgra[:, :, :3] = samples[:, :, 2::-1] if channels != 1 else samples
    if channels == 4:
        bgra[:, :, 3] = samples[:, :, 3]
    return bgra


def make_picture(width=67, height=45, seed=7):
    """An odd-sized picture with ramps, edges, noise and varying alpha."""
    rng = np.random.default_rng(seed)
    y, x = np.mgrid[0:height, 0:width]
    pic = np.empty((height, width, 4), np.uint8)
    pic[:, :, 0] = (x * 255 // (width - 1)).astype(np.uint8)
    pic[:, :, 1] = (y * 255 // (height - 1)).astype(np.uint8)
    pic[:, :, 2] = np.where((x // 8 + y // 8) % 2 == 0, 220, 30).astype(np.uint8)
    pic[:, :, :3] = np.clip(pic[:, :, :3].astype(int) + rng.integers(-20, 21, (height, width, 3)), 0, 255)
    pic[:, :, 3] = np.where(x < width // 3, 255, np.where(x < 2 * width // 3, 128, 255)).astype(np.uint8)
    return pic


@pytest.fixture(scope="session")
def picture():
    return make_picture()


@pytest.fixture(scope="session")
def picture_file(tmp_path_factory, picture):
    path = tmp_path_factory.mktemp("pictures") / "card.png"
    write_png(path, picture)
    return path


def has_device(kind):
    try:
        orvex.Effect("video/effect/gaussian_blur" if kind == "opencl" else "video/effect/pixelate", device=kind)
        return True
    except (ValueError, RuntimeError):
        return False
