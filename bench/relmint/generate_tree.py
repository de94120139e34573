#!/usr/bin/env python3
"""Writes a client-like tree for the relmint benchmark: about FILES files and
TOTAL bytes, mostly small files with a few large ones, every name with a suffix
that relmint's default list accepts."""
import os
import random
import sys


def main():
    root, files, total = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
    rng = random.Random(20240611)
    suffixes = [".png", ".json", ".plist", ".mp3", ".wav", ".jpg", ".fnt", ".csb", ".pvr.ccz", ".dll"]

    # Nine in ten files are small (1 to 40 KiB); the rest share what is left.
    small = [rng.randint(1024, 40 * 1024) for _ in range(files * 9 // 10)]
    large_count = files - len(small)
    left = max(total - sum(small), large_count)
    weights = [rng.random() + 0.05 for _ in range(large_count)]
    scale = left / sum(weights)
    sizes = small + [max(1, int(w * scale)) for w in weights]
    rng.shuffle(sizes)

    block = os.urandom(16 * 1024 * 1024)
    for index, size in enumerate(sizes):
        directory = os.path.join(root, "pack%02d" % (index % 20), "group%02d" % (index // 20 % 25))
        os.makedirs(directory, exist_ok=True)
        name = os.path.join(directory, "asset%05d%s" % (index, suffixes[index % len(suffixes)]))
        with open(name, "wb") as out:
            offset = rng.randrange(0, 1024 * 1024)
            remaining = size
            while remaining > 0:
                chunk = block[offset:offset + min(remaining, len(block) - offset)]
                out.write(chunk)
                remaining -= len(chunk)
                offset = 0
    print("%d files, %d bytes" % (len(sizes), sum(sizes)))


if __name__ == "__main__":
    main()
