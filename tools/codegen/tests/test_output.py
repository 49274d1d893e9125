import os
import shutil
import tempfile
import unittest
from pathlib import Path

import output
from templates import HEADER_LINE

STYLE = Path(__file__).resolve().parents[3] / ".clang-format"


class WriteChanged(unittest.TestCase):
    def setUp(self):
        self.dir = Path(tempfile.mkdtemp(prefix="codegen-test-"))
        self.addCleanup(shutil.rmtree, self.dir)

    def test_unchanged_files_are_not_rewritten(self):
        files = {"api/A.h": HEADER_LINE + "\nint a;\n", "api/B.h": HEADER_LINE + "\nint b;\n"}
        self.assertEqual(output.write_changed(files, self.dir), ["api/A.h", "api/B.h"])
        old = self.dir / "api/A.h"
        os.utime(old, (1000000, 1000000))
        files["api/B.h"] = HEADER_LINE + "\nint bb;\n"
        self.assertEqual(output.write_changed(files, self.dir), ["api/B.h"])
        self.assertEqual(old.stat().st_mtime, 1000000)
        self.assertEqual((self.dir / "api/B.h").read_text(), files["api/B.h"])

    def test_generated_files_no_longer_produced_are_removed(self):
        output.write_changed({"api/A.h": HEADER_LINE + "\n", "api/Old.h": HEADER_LINE + "\n"},
                             self.dir)
        (self.dir / "api/Mine.h").write_text("// not generated\n")
        output.write_changed({"api/A.h": HEADER_LINE + "\n"}, self.dir)
        self.assertEqual(sorted(p.name for p in (self.dir / "api").iterdir()),
                         ["A.h", "Mine.h"])

    @unittest.skipUnless(shutil.which("clang-format"), "clang-format is not installed")
    def test_format_lays_out_with_the_project_style(self):
        files = {"api/A.h": HEADER_LINE + "\nnamespace X {\nint   f( int a ){return a;}\n}\n"}
        formatted = output.format_all(files, "clang-format", STYLE)
        self.assertEqual(formatted["api/A.h"],
                         HEADER_LINE + "\nnamespace X {\nint f(int a) { return a; }\n}  "
                         "// namespace X\n")


if __name__ == "__main__":
    unittest.main()
