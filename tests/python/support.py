"""Shared pieces of the twcache tests: samples and reports made by twconnect."""
import json
import os
import subprocess
import tempfile
import unittest

TWCONNECT = os.environ.get("TWCONNECT", "twconnect")


def twconnect(*args):
    return subprocess.run([TWCONNECT, *map(str, args)], check=True, capture_output=True, text=True).stdout


def info(path):
    """The first JSON report of `twconnect info --json` for a file."""
    for line in twconnect("info", "--json", path).splitlines():
        if line.startswith("{"):
            return json.loads(line)
    raise AssertionError("no JSON report for " + str(path))


def sample(kind, target, *options):
    twconnect("sample", kind, target, *options)
    return target


def files(folder, suffix):
    return sorted(os.path.join(folder, f) for f in os.listdir(folder) if f.endswith(suffix))


class TempDirTest(unittest.TestCase):
    def setUp(self):
        self._tmp = tempfile.TemporaryDirectory()
        self.dir = self._tmp.name

    def tearDown(self):
        self._tmp.cleanup()

    def path(self, name):
        return os.path.join(self.dir, name)
