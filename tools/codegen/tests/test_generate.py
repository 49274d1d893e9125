import contextlib
import io
import shutil
import tempfile
import unittest
from pathlib import Path

import generate
from tests.support import SAMPLE


class Generate(unittest.TestCase):
    def setUp(self):
        self.dir = Path(tempfile.mkdtemp(prefix="codegen-cli-"))
        self.addCleanup(shutil.rmtree, self.dir)
        self.schema = self.dir / "protocol.toml"
        self.schema.write_text(SAMPLE)

    def run_main(self, *args):
        out, err = io.StringIO(), io.StringIO()
        with contextlib.redirect_stdout(out), contextlib.redirect_stderr(err):
            status = generate.main(["--schema", str(self.schema), *args])
        return status, out.getvalue(), err.getvalue()

    def test_list_names_the_files_and_writes_nothing(self):
        out = self.dir / "out"
        status, printed, _ = self.run_main("--target", "api", "--out", str(out), "--list")
        self.assertEqual(status, 0)
        self.assertIn(f"{out.as_posix()}/api/OrderMessage.h", printed.splitlines())
        self.assertFalse(out.exists())

    def test_writes_the_files_and_touches_the_stamp(self):
        out, stamp = self.dir / "out", self.dir / "gen.stamp"
        status, _, _ = self.run_main("--target", "api-test", "--out", str(out), "--stamp",
                                     str(stamp))
        self.assertEqual(status, 0)
        self.assertTrue((out / "apitest/FieldVisit.h").is_file())
        self.assertTrue(stamp.is_file())

    def test_a_bad_description_fails_with_its_fault(self):
        self.schema.write_text(SAMPLE.replace('["key", "string"]', '["key", "text"]'))
        status, _, err = self.run_main("--target", "api", "--out", str(self.dir / "out"))
        self.assertEqual(status, 1)
        self.assertIn("record Pair field key: unknown type 'text'", err)


if __name__ == "__main__":
    unittest.main()
