#!/usr/bin/env python3
"""How closely the picture's brightness follows the kicks: the Pearson
correlation of each frame's mean relative luminance (teq-flash --means) with
the energy of the music under 150 Hz at that frame (the render's audio.wav,
through ffmpeg), over a stretch of the run, at the best lag of 0 to 6 frames.
  tools/flash-kicks.py MEANS AUDIO.wav FPS FROM TO [MEANS2 ...]"""
import math
import struct
import subprocess
import sys


def low_band(wav, fps, rate=6000):
    raw = subprocess.run(['ffmpeg', '-v', 'error', '-i', wav, '-af', 'lowpass=f=150,lowpass=f=150', '-ac', '1',
                          '-ar', str(rate), '-f', 'f32le', '-'], check=True, capture_output=True).stdout
    samples = struct.unpack('<%df' % (len(raw) // 4), raw)
    per = rate // fps
    return [math.sqrt(sum(s * s for s in samples[i * per:(i + 1) * per]) / per) for i in range(len(samples) // per)]


def pearson(a, b):
    n = len(a)
    ma, mb = sum(a) / n, sum(b) / n
    cov = sum((x - ma) * (y - mb) for x, y in zip(a, b))
    va = sum((x - ma) ** 2 for x in a)
    vb = sum((y - mb) ** 2 for y in b)
    return cov / math.sqrt(va * vb) if va > 0 and vb > 0 else 0.0


def main():
    if len(sys.argv) < 6:
        sys.exit(__doc__)
    wav, fps, lo, hi = sys.argv[2], int(sys.argv[3]), float(sys.argv[4]), float(sys.argv[5])
    band = low_band(wav, fps)
    for path in [sys.argv[1]] + sys.argv[6:]:
        means = [tuple(map(float, line.split())) for line in open(path) if line.strip()]
        frames = [i for i, (t, _) in enumerate(means) if lo <= t < hi and i + 6 < len(band)]
        best = max(range(7), key=lambda lag: pearson([means[i + lag][1] for i in frames], [band[i] for i in frames]))
        r0 = pearson([means[i][1] for i in frames], [band[i] for i in frames])
        rb = pearson([means[i + best][1] for i in frames], [band[i] for i in frames])
        print(f'{path}: {lo:g}-{hi:g} s, r = {r0:.2f} at lag 0, {rb:.2f} at lag {best} frames')


main()
