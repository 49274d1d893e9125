#!/usr/bin/env python3
"""Generates a model of the protocol from schema/protocol.toml.

One front-end (schema.py: the description loaded into a checked model), one back-end per target:
  api             the public API model (namespace ZURAV), the entries marked `api`
  catalogue       the internal catalogue (namespace Orbanex), every entry
  api-test, catalogue-test
                  type lists and field visitors for the tests that cover every class

  generate.py --schema schema/protocol.toml --target api --out build/generated
              [--clang-format clang-format --style .clang-format] [--stamp FILE] [--list]

--list prints the files the target produces, one path per line, and writes nothing.
Exit status 1 with the fault on standard error when the description does not check.
"""

from __future__ import annotations

import argparse
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))

import api_backend  # noqa: E402
import api_test_backend  # noqa: E402
import catalogue_backend  # noqa: E402
import catalogue_test_backend  # noqa: E402
import output  # noqa: E402
import schema  # noqa: E402

TARGETS = {
    "api": api_backend.emit,
    "api-test": api_test_backend.emit,
    "catalogue": catalogue_backend.emit,
    "catalogue-test": catalogue_test_backend.emit,
}


def main(argv: list[str]) -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--schema", required=True, type=Path)
    parser.add_argument("--target", required=True, choices=sorted(TARGETS))
    parser.add_argument("--out", required=True, type=Path)
    parser.add_argument("--clang-format", help="clang-format executable to lay out the files")
    parser.add_argument("--style", type=Path, help="the .clang-format file to use")
    parser.add_argument("--stamp", type=Path, help="file touched after every successful run")
    parser.add_argument("--list", action="store_true", help="print the output paths only")
    args = parser.parse_args(argv)

    try:
        model = schema.load(args.schema)
    except schema.SchemaError as e:
        print(f"{args.schema}: {e}", file=sys.stderr)
        return 1
    files = TARGETS[args.target](model)
    if args.list:
        for rel in sorted(files):
            print((args.out / rel).as_posix())
        return 0
    files = output.format_all(files, args.clang_format, args.style)
    output.write_changed(files, args.out)
    if args.stamp:
        args.stamp.parent.mkdir(parents=True, exist_ok=True)
        args.stamp.touch()
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
