"""read_particles and write_particles of a particle .bin frame against the library's own read and a
memcpy of the bytes written.

    PYTHONPATH=build/python /usr/bin/python3 bench/python_bench.py [--count 1000000]
"""
import argparse
import os
import sys
import tempfile
import time

import numpy as np

import twcache


def best(run, repeats):
    times = []
    for _ in range(repeats):
        start = time.perf_counter()
        run()
        times.append(time.perf_counter() - start)
    return min(times)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--count", type=int, default=1000000)
    parser.add_argument("--repeats", type=int, default=5)
    parser.add_argument("--max-read-ratio", type=float, default=0.0, help="fail above this read ratio (0: report only)")
    args = parser.parse_args()
    rng = np.random.default_rng(7)
    n = args.count
    channels = {name: rng.standard_normal((n, 3)).astype(np.float32)
                for name in ["position", "velocity", "force", "vorticity", "normal", "texture"]}
    for name in ["age", "isolation", "viscosity", "density", "pressure", "mass", "temperature"]:
        channels[name] = rng.random(n).astype(np.float32)
    channels["neighbors"] = rng.integers(0, 40, n).astype(np.int32)
    channels["id"] = np.arange(n, dtype=np.int64)
    with tempfile.TemporaryDirectory() as tmp:
        path = os.path.join(tmp, "frame.bin")
        twcache.write_particles(path, channels)
        size = os.path.getsize(path)
        library = twcache._library_read_seconds(path, args.repeats)
        read = best(lambda: twcache.read_particles(path), args.repeats)
        write = best(lambda: twcache.write_particles(path, channels), args.repeats)
        memcpy = twcache._memcpy_seconds(size, args.repeats)
    print("particles %d, file %.1f MB" % (n, size / 1e6))
    print("read_particles  %8.2f ms   library read %8.2f ms   ratio %.2f" % (read * 1e3, library * 1e3, read / library))
    print("write_particles %8.2f ms   memcpy       %8.2f ms   ratio %.2f" % (write * 1e3, memcpy * 1e3, write / memcpy))
    if args.max_read_ratio and read / library > args.max_read_ratio:
        print("read ratio above %.2f" % args.max_read_ratio)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
