"""read_particles and write_particles against the files twconnect writes and describes."""
import gc
import os
import struct

import numpy as np

import twcache
from support import TempDirTest, files, info, sample

BIN_VECTORS = ["position", "velocity", "force", "vorticity", "normal", "texture"]
BIN_SCALARS = {"neighbors": np.int32, "info_bits": np.int16, "age": np.float32, "isolation": np.float32,
               "viscosity": np.float32, "density": np.float32, "pressure": np.float32, "mass": np.float32,
               "temperature": np.float32, "id": np.int64}


def ranges_agree(test, frame, report):
    for name, r in report["channels"].items():
        a = frame[name]
        lo, hi = a.min(axis=0), a.max(axis=0)
        np.testing.assert_allclose(lo, r["min"], rtol=1e-5, atol=1e-5, err_msg=name)
        np.testing.assert_allclose(hi, r["max"], rtol=1e-5, atol=1e-5, err_msg=name)


def random_channels(n, rng, wide_ids=True):
    ch = {name: rng.standard_normal((n, 3)).astype(np.float32) for name in BIN_VECTORS}
    for name, t in BIN_SCALARS.items():
        ch[name] = (rng.standard_normal(n) * 1000).astype(t)
    ch["id"] = np.arange(n, dtype=np.int64) + (2**40 if wide_ids else 7)
    return ch


class ReadAgainstInfo(TempDirTest):
    def test_sample_frames_match_info_report(self):
        sample("particles", self.path("v12"), "--end", "1", "--count", "500")
        sample("particles", self.path("v9"), "--end", "1", "--count", "500", "--version", "9")
        sample("pxy", self.path("pxy"), "--end", "1", "--count", "300")
        for folder, suffix, fmt in [("v12", ".bin", "bin"), ("v9", ".bin", "bin"), ("pxy", ".pxy", "pxy")]:
            with self.subTest(folder=folder):
                path = files(self.path(folder), suffix)[-1]
                frame = twcache.read_particles(path)
                report = info(path)
                self.assertEqual(frame.format, fmt)
                self.assertEqual(len(frame), report["particle_count"])
                self.assertEqual(frame.header["particle_count"], report["particle_count"])
                self.assertEqual(frame["position"].shape, (len(frame), 3))
                self.assertEqual(frame["position"].dtype, np.float32)
                self.assertEqual(frame["id"].dtype, np.int64)
                ranges_agree(self, frame, report)
                if fmt == "bin":
                    self.assertEqual(frame.header["version"], report["version"])
                    self.assertEqual(frame.header["fluid_name"], report["fluid_name"])

    def test_tpc_channels_keep_their_names_and_types(self):
        sample("tpc", self.path("tpc"), "--end", "0", "--count", "400")
        path = files(self.path("tpc"), ".tpc")[0]
        frame = twcache.read_particles(path)
        report = info(path)
        self.assertEqual(len(frame), report["particle_count"])
        widths = {1: (np.float32, 3), 2: (np.float64, 3), 3: (np.float32, 2), 4: (np.int64, 1), 5: (np.uint16, 1),
                  6: (np.uint8, 1), 7: (np.int32, 1), 8: (np.int8, 1), 9: (np.float32, 1), 10: (np.float64, 1),
                  11: (np.float32, 4)}
        self.assertEqual(frame.header["channels"], [c["name"] for c in report["channels"]])
        for c in report["channels"]:
            a = frame[c["name"]]
            dtype, n = widths[c["type"]]
            self.assertEqual(a.dtype, dtype, c["name"])
            self.assertEqual(a.shape, (len(frame),) if n == 1 else (len(frame), n), c["name"])

    def test_percent_keeps_a_share(self):
        sample("particles", self.path("s"), "--end", "0", "--count", "2000")
        path = files(self.path("s"), ".bin")[0]
        half = twcache.read_particles(path, percent=50)
        self.assertLess(len(half), 2000)
        self.assertGreater(len(half), 0)
        self.assertEqual(len(twcache.read_particles(path, percent=0)), 0)


class RoundTrip(TempDirTest):
    def test_bin_versions_9_and_12_give_back_every_channel(self):
        rng = np.random.default_rng(3)
        for version in (9, 12):
            with self.subTest(version=version):
                ch = random_channels(257, rng, wide_ids=version >= 12)
                path = self.path("rt%d.bin" % version)
                header = {"version": version, "fluid_name": "water", "frame": 12, "fps": 30, "radius": 0.25,
                          "speed_range": [0.0, 2.0, 1.0]}
                twcache.write_particles(path, ch, header=header)
                frame = twcache.read_particles(path)
                self.assertEqual(info(path)["particle_count"], 257)
                for name, a in ch.items():
                    np.testing.assert_array_equal(frame[name], a, err_msg=name)
                for key, value in header.items():
                    self.assertEqual(frame.header[key], value, key)
                self.assertEqual(os.path.getsize(path), 356 + 257 * (114 if version >= 12 else 110) + (6 if version >= 12 else 5))

    def test_a_frame_written_back_whole_and_filtered(self):
        sample("particles", self.path("s"), "--end", "0", "--count", "1000")
        path = files(self.path("s"), ".bin")[0]
        frame = twcache.read_particles(path)
        twcache.write_particles(self.path("same.bin"), frame)
        with open(path, "rb") as a, open(self.path("same.bin"), "rb") as b:
            self.assertEqual(a.read(), b.read())
        fast = np.linalg.norm(frame["velocity"], axis=1) > 1.0
        kept = {name: a[fast] for name, a in frame.channels.items()}
        twcache.write_particles(self.path("fast.bin"), kept, header=frame.header)
        back = twcache.read_particles(self.path("fast.bin"))
        self.assertEqual(len(back), int(fast.sum()))
        np.testing.assert_array_equal(back["id"], frame["id"][fast])

    def test_missing_channels_are_written_as_zeros(self):
        twcache.write_particles(self.path("p.bin"), {"position": [[1, 2, 3]]})
        frame = twcache.read_particles(self.path("p.bin"))
        np.testing.assert_array_equal(frame["position"], [[1, 2, 3]])
        self.assertEqual(frame["velocity"].tolist(), [[0, 0, 0]])
        self.assertEqual(frame["id"].tolist(), [0])


class ArraysOutliveTheFrame(TempDirTest):
    def test_an_array_kept_alone_stays_valid(self):
        ch = random_channels(1000, np.random.default_rng(5))
        twcache.write_particles(self.path("a.bin"), ch)
        frame = twcache.read_particles(self.path("a.bin"))
        position = frame["position"]
        self.assertFalse(position.flags.owndata)  # a view of the library's frame, not a copy
        del frame
        gc.collect()
        # Frames read meanwhile must not reuse the memory the array views.
        others = [twcache.read_particles(self.path("a.bin")) for _ in range(3)]
        for o in others:
            o["position"][:] = -1
        np.testing.assert_array_equal(position, ch["position"])


class BadFiles(TempDirTest):
    def write(self, name, data):
        with open(self.path(name), "wb") as f:
            f.write(data)
        return self.path(name)

    def good_bytes(self, n=10, version=12):
        twcache.write_particles(self.path("good.bin"), {"position": np.zeros((n, 3))}, header={"version": version})
        with open(self.path("good.bin"), "rb") as f:
            return f.read()

    def test_damaged_truncated_and_hostile_files_raise(self):
        good = self.good_bytes()
        hostile = bytearray(good[:356])
        struct.pack_into("<i", hostile, 276, 2**31 - 1)
        negative = bytearray(good)
        struct.pack_into("<i", negative, 276, -5)
        old = bytearray(good)
        struct.pack_into("<h", old, 254, 8)
        tpc_hostile = struct.pack("<Iiii", 0x70FABADA, 3, 2**31 - 1, 2**31 - 1) + bytes(24)
        cases = [
            ("wrong magic", self.write("magic.bin", b"\x00" * 400), "neither"),
            ("header cut", self.write("short.bin", good[:200]), "truncated"),
            ("records cut", self.write("cut.bin", good[:356 + 114 * 5]), "room for 5"),
            ("hostile count", self.write("huge.bin", bytes(hostile)), "2147483647 particles"),
            ("negative count", self.write("neg.bin", bytes(negative)), "-5 particles"),
            ("old version", self.write("old.bin", bytes(old)), "version 8"),
            ("tpc hostile counts", self.write("huge.tpc", tpc_hostile), "damaged or truncated"),
            ("pxy cut", self.write("cut.pxy", struct.pack("<fi", 3.0, 100) + bytes(64)), "damaged or truncated"),
        ]
        for what, path, reason in cases:
            with self.subTest(what):
                with self.assertRaises(ValueError) as caught:
                    twcache.read_particles(path)
                self.assertIn(reason, str(caught.exception))
                self.assertIn(os.path.basename(path), str(caught.exception))

    def test_missing_file_raises_file_not_found(self):
        with self.assertRaises(FileNotFoundError):
            twcache.read_particles(self.path("none.bin"))

    def test_bad_arguments_leave_an_existing_file_alone(self):
        good = self.good_bytes()
        target = self.write("keep.bin", good)
        cases = [
            ("32-bit ids cannot hold this id", {"id": [2**40]}, {"version": 9}),
            ("channel lengths differ", {"position": np.zeros((3, 3)), "age": np.zeros(2)}, None),
            ("unknown channel", {"colour": np.zeros(3)}, None),
            ("vector of two", {"position": np.zeros((3, 2))}, None),
            ("version not written", {"position": np.zeros((3, 3))}, {"version": 8}),
        ]
        for what, channels, header in cases:
            with self.subTest(what):
                with self.assertRaises(ValueError):
                    twcache.write_particles(target, channels, header=header)
                with open(target, "rb") as f:
                    self.assertEqual(f.read(), good)
