"""read_mesh / write_mesh, open_sd / write_sd and sequence against twconnect's samples and reports."""
import gc
import os

import numpy as np

import twcache
from support import TempDirTest, files, info, sample


def grid_mesh(n=6, weights=2, rng=None):
    rng = rng or np.random.default_rng(1)
    u, v = np.meshgrid(np.linspace(0, 1, n), np.linspace(0, 1, n))
    vertices = np.stack([u.ravel(), np.sin(u.ravel() * 3), v.ravel()], axis=1).astype(np.float32)
    faces = []
    for r in range(n - 1):
        for c in range(n - 1):
            a = r * n + c
            faces += [[a, a + 1, a + n], [a + 1, a + n + 1, a + n]]
    w = rng.random((n * n, weights)).astype(np.float32)
    w[:, -1] = 1 - w[:, :-1].sum(axis=1)
    return dict(vertices=vertices, faces=np.array(faces, dtype=np.uint32),
                texture=rng.random((n * n, 3)).astype(np.float32),
                velocity=rng.standard_normal((n * n, 3)).astype(np.float32), weights=w)


class Meshes(TempDirTest):
    def test_samples_match_info_report(self):
        sample("mesh", self.path("bin"), "--end", "0", "--weights", "3")
        sample("chunked", self.path("chunked"), "--end", "0", "--weights", "2")
        sample("md", self.path("md"), "--end", "0")
        for folder, suffix, fmt in [("bin", ".bin", "mesh-bin"), ("chunked", ".bin", "chunked"), ("md", ".md", "md")]:
            with self.subTest(folder):
                path = files(self.path(folder), suffix)[0]
                kind = "chunked" if fmt == "chunked" else ""
                mesh = twcache.read_mesh(path, kind=kind)
                report = info(path)
                self.assertEqual(mesh.format, fmt)
                v = mesh["vertices"]
                self.assertEqual(len(v), report.get("vertices", report.get("points", report.get("vertex_count"))))
                self.assertEqual(len(mesh["faces"]), report.get("faces", report.get("face_count")))
                self.assertEqual(mesh["faces"].dtype, np.uint32)
                self.assertLess(int(mesh["faces"].max()), len(v))
                if "bounds" in report:
                    np.testing.assert_allclose(v.min(axis=0), report["bounds"]["min"], rtol=1e-5, atol=1e-6)
                    np.testing.assert_allclose(v.max(axis=0), report["bounds"]["max"], rtol=1e-5, atol=1e-6)
                if fmt == "mesh-bin":
                    self.assertEqual(mesh["weights"].shape, (len(v), report["weights"]))
                    np.testing.assert_allclose(mesh["weights"].sum(axis=1), 1, atol=1e-5)
                if fmt == "md":
                    for c in report["channels"]:
                        if c["min"] is None or c["name"] not in mesh:
                            continue
                        a = mesh[c["name"]]
                        if c["name"] == "texture":  # held as (U, 1 - V, W) like mesh .bin; the file stores U, W, 1 - V
                            a = a[:, [0, 2, 1]]
                        np.testing.assert_allclose(a.min(axis=0), c["min"], rtol=1e-5, atol=1e-5, err_msg=c["name"])
                        np.testing.assert_allclose(a.max(axis=0), c["max"], rtol=1e-5, atol=1e-5, err_msg=c["name"])

    def test_round_trips_in_every_mesh_format(self):
        m = grid_mesh()
        for fmt in ["bin", "chunked"]:
            with self.subTest(fmt):
                path = self.path("m-%s.bin" % fmt)
                twcache.write_mesh(path, format=fmt, **m)
                back = twcache.read_mesh(path, kind=fmt)
                np.testing.assert_array_equal(back["vertices"], m["vertices"])
                np.testing.assert_array_equal(back["faces"], m["faces"])
                np.testing.assert_allclose(back["velocity"], m["velocity"], rtol=1e-6)
                np.testing.assert_allclose(back["weights"], m["weights"], atol=1e-6)
                # chunked files carry U and 1 - V only
                cols = 3 if fmt == "bin" else 2
                np.testing.assert_allclose(back["texture"][:, :cols], m["texture"][:, :cols], atol=1e-6)
        velocity = m["velocity"]
        age = np.arange(len(velocity), dtype=np.float32)
        twcache.write_mesh(self.path("m.md"), m["vertices"], m["faces"], format="md", name="surface",
                           channels={"velocity": velocity, "age": age})
        back = twcache.read_mesh(self.path("m.md"))
        self.assertEqual(back.header["name"], "surface")
        np.testing.assert_array_equal(back["vertices"], m["vertices"])
        np.testing.assert_array_equal(back["faces"], m["faces"])
        np.testing.assert_array_equal(back["velocity"], velocity)
        np.testing.assert_array_equal(back["age"], age)

    def test_mesh_arrays_outlive_the_frame(self):
        m = grid_mesh()
        twcache.write_mesh(self.path("m.bin"), **m)
        faces = twcache.read_mesh(self.path("m.bin"))["faces"]
        gc.collect()
        self.assertFalse(faces.flags.owndata)
        np.testing.assert_array_equal(faces, m["faces"])

    def test_bad_meshes_raise(self):
        m = grid_mesh()
        twcache.write_mesh(self.path("good.bin"), **m)
        with open(self.path("good.bin"), "rb") as f:
            good = f.read()
        huge = bytearray(good)
        huge[12:16] = (2**31 - 1).to_bytes(4, "little")
        for name, data in [("cut.bin", good[:len(good) // 2]), ("huge.bin", bytes(huge)), ("junk.bin", b"nonsense" * 9)]:
            with self.subTest(name):
                with open(self.path(name), "wb") as f:
                    f.write(data)
                with self.assertRaises(ValueError) as caught:
                    twcache.read_mesh(self.path(name))
                self.assertIn(name, str(caught.exception))

    def test_write_refuses_what_would_not_read_back(self):
        m = grid_mesh()
        bad_faces = m["faces"].copy()
        bad_faces[0, 0] = len(m["vertices"])
        bad_weights = m["weights"] * 2
        for what, change in [("face beyond the vertices", {"faces": bad_faces}),
                             ("weights not summing to 1", {"weights": bad_weights}),
                             ("texture of two columns", {"texture": m["texture"][:, :2]})]:
            with self.subTest(what):
                with self.assertRaises(ValueError):
                    twcache.write_mesh(self.path("bad.bin"), **{**m, **change})
                self.assertFalse(os.path.exists(self.path("bad.bin")))


class Scenes(TempDirTest):
    def test_sample_scene_round_trips(self):
        path = sample("sd", self.path("scene.sd"), "--end", "5")
        scene = twcache.open_sd(path)
        report = info(path)
        self.assertEqual(scene.first_frame, 0)
        self.assertEqual(scene.last_frame, 5)
        self.assertEqual([o["name"] for o in scene.objects], [o["name"] for o in report["objects"]])
        frames = [scene.frame(k) for k in range(scene.first_frame, scene.last_frame + 1)]
        deforming = [o for o in scene.objects if o["type"] == "deforming"]
        self.assertTrue(deforming)
        self.assertEqual(frames[3]["objects"][1]["vertices"].shape, deforming[0]["vertices"].shape)
        with self.assertRaises(IndexError):
            scene.frame(6)

        twcache.write_sd(self.path("copy.sd"), scene.objects, frames, camera=scene.camera, title="copy")
        with open(path, "rb") as a, open(self.path("copy.sd"), "rb") as b:
            self.assertEqual(a.read()[30:], b.read()[30:])  # all but the title
        copy = twcache.open_sd(self.path("copy.sd"))
        self.assertEqual(copy.header["title"], "copy")
        for k, frame in enumerate(frames):
            again = copy.frame(k)
            for o, p in zip(frame["objects"], again["objects"]):
                np.testing.assert_array_equal(o["transform"], p["transform"])
            np.testing.assert_array_equal(frame["camera"]["matrix"], again["camera"]["matrix"])

    def test_damaged_scenes_raise(self):
        path = sample("sd", self.path("scene.sd"), "--end", "3")
        with open(path, "rb") as f:
            good = f.read()
        huge = bytearray(good)
        huge[71:75] = (2**31 - 1).to_bytes(4, "little")
        for name, data in [("head.sd", good[:60]), ("huge.sd", bytes(huge))]:
            with self.subTest(name):
                with open(self.path(name), "wb") as f:
                    f.write(data)
                with self.assertRaises(ValueError) as caught:
                    twcache.open_sd(self.path(name))
                self.assertIn(name, str(caught.exception))
        with open(self.path("cut.sd"), "wb") as f:
            f.write(good[:-50])
        scene = twcache.open_sd(self.path("cut.sd"))
        scene.frame(0)
        with self.assertRaises(ValueError):
            scene.frame(3)


class Sequences(TempDirTest):
    def test_the_library_naming_rules(self):
        sample("particles", self.path("s"), "--start", "3", "--end", "7", "--count", "10", "--padding", "4")
        chosen = files(self.path("s"), ".bin")[2]
        seq = twcache.sequence(chosen)
        self.assertEqual((seq.first, seq.last), (3, 7))
        self.assertTrue(seq.pattern.endswith("$F4.bin"))
        self.assertEqual(seq.path(5), files(self.path("s"), ".bin")[2])
        self.assertEqual(seq.frames(), [3, 4, 5, 6, 7])
        with self.assertRaises(ValueError):
            twcache.sequence("x" * 300)
