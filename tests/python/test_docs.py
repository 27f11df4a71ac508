"""The session in docs/python.md, run as written where the demo's sample sequence lies."""
import contextlib
import io
import os
import re

from support import TempDirTest, sample

DOC = os.path.join(os.environ.get("TW_SOURCE_DIR", os.path.join(os.path.dirname(__file__), "..", "..")),
                   "docs", "python.md")


class DocsSession(TempDirTest):
    def test_python_md_session_runs(self):
        with open(DOC) as f:
            blocks = re.findall(r"```python\n(.*?)```", f.read(), re.S)
        self.assertTrue(blocks)
        sample("particles", self.path("sample/splash"), "--start", "12", "--end", "12", "--count", "20000")
        here = os.getcwd()
        os.chdir(self.dir)
        try:
            out = io.StringIO()
            with contextlib.redirect_stdout(out):
                for block in blocks:
                    exec(compile(block, DOC, "exec"), {"__name__": "__doc_session__"})
        finally:
            os.chdir(here)
        self.assertIn("20000 particles of splash at frame 12", out.getvalue())
        self.assertTrue(os.path.exists(self.path("sample/splash-fast.bin")))
