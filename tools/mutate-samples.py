#!/usr/bin/env python3
"""Writes byte-mutated copies of the sample media, to look for files that make the media
library misbehave (loop, exhaust memory, crash). Deterministic for a given seed.

    tools/mutate-samples.py OUT_DIR [--seed N] [--rounds N]

Then, for example: build/dev/bin/kqmediareport -j 2 --timeout 5 OUT_DIR >/dev/null
names the files that were left out and why. tests/data/hostile/ holds two found this way.
"""
import argparse
import os
import random

SAMPLES = ['sample.mp4', 'multi.mkv', 'sample.ts', 'sample.avi', 'sample.mp3', 'sample.png',
           'sample.wav']
EXTREMES = [b'\xff\xff\xff\xff', b'\x00\x00\x00\x00', b'\x7f\xff\xff\xff', b'\x80\x00\x00\x00']


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument('out')
    parser.add_argument('--seed', type=int, default=7)
    parser.add_argument('--rounds', type=int, default=60)
    args = parser.parse_args()
    media = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'tests', 'data', 'media')
    rng = random.Random(args.seed)
    os.makedirs(args.out, exist_ok=True)
    n = 0
    for _ in range(args.rounds):
        for name in SAMPLES:
            with open(os.path.join(media, name), 'rb') as f:
                data = bytearray(f.read())
            for _ in range(rng.randint(1, 40)):
                i = rng.randrange(len(data))
                kind = rng.random()
                if kind < 0.6:  # one byte
                    data[i] = rng.randrange(256)
                elif kind < 0.8:  # a size or offset field gone extreme
                    data[i:i + 4] = rng.choice(EXTREMES)
                else:  # eight bytes copied from elsewhere
                    j = rng.randrange(len(data))
                    data[i:i + 8] = data[j:j + 8]
            with open(os.path.join(args.out, 'm%04d%s' % (n, os.path.splitext(name)[1])), 'wb') as f:
                f.write(data)
            n += 1
    print('%d files in %s' % (n, args.out))


if __name__ == '__main__':
    main()
