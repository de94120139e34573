#!/usr/bin/env python3
"""Writes a client-like tree for the relmint benchmarks.

  generate_tree.py ROOT FILES TOTAL    about FILES files and TOTAL bytes in
                                       500 directories, mostly small files
                                       with a few large ones (the hashing
                                       benchmark)
  generate_tree.py --nested ROOT FILES FILES small files (100 B to 3 KiB)
                                       nested three directories deep, 50 to a
                                       directory, one in ten with a suffix the
                                       default list refuses (the window
                                       benchmark)

Every other name has a suffix that relmint's default list accepts."""
import os
import random
import sys

SUFFIXES = [".png", ".json", ".plist", ".mp3", ".wav", ".jpg", ".fnt", ".csb", ".pvr.ccz", ".dll"]


def write_file(name, size, block, rng):
    with open(name, "wb") as out:
        offset = rng.randrange(0, 1024 * 1024)
        remaining = size
        while remaining > 0:
            chunk = block[offset:offset + min(remaining, len(block) - offset)]
            out.write(chunk)
            remaining -= len(chunk)
            offset = 0


def flat(root, files, total, rng):
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
        name = os.path.join(directory, "asset%05d%s" % (index, SUFFIXES[index % len(SUFFIXES)]))
        write_file(name, size, block, rng)
    return len(sizes), sum(sizes)


def nested(root, files, rng):
    block = os.urandom(2 * 1024 * 1024)
    per_directory = 50
    written = 0
    total = 0
    for index in range(files):
        leaf = index // per_directory
        directory = os.path.join(root, "Res%02d" % (leaf % 10), "pack%02d" % (leaf // 10 % 20),
                                 "group%03d" % (leaf // 200))
        if index % per_directory == 0:
            os.makedirs(directory, exist_ok=True)
        suffix = ".txt" if index % 10 == 9 else SUFFIXES[index % len(SUFFIXES)]
        size = rng.randint(100, 3 * 1024)
        write_file(os.path.join(directory, "Asset_%06d%s" % (index, suffix)), size, block, rng)
        written += 1
        total += size
    return written, total


def main():
    rng = random.Random(20240611)
    if sys.argv[1] == "--nested":
        count, size = nested(sys.argv[2], int(sys.argv[3]), rng)
    else:
        count, size = flat(sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), rng)
    print("%d files, %d bytes" % (count, size))


if __name__ == "__main__":
    main()
