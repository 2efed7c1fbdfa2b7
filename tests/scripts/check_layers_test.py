#!/usr/bin/env python3
"""The layer check against small trees with one planted include each, read
with the repository's own table: what it must refuse and what it must let
through."""

import os
import shutil
import subprocess
import sys
import tempfile
import unittest

REPOSITORY = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
CHECK = os.path.join(REPOSITORY, "scripts", "check_layers.py")
TABLE = os.path.join(REPOSITORY, "scripts", "layers.txt")


def run_check(root):
    return subprocess.run([sys.executable, CHECK, root, TABLE], capture_output=True, text=True)


def tree_with(test, path, include):
    root = tempfile.mkdtemp(prefix="layers-")
    test.addCleanup(shutil.rmtree, root)
    # Every folder the includes below name, so that each case differs only in
    # its one planted line.
    for folder in ("src/fileio", "src/format", "src/steps", "src/fit", "src/driver", "src/cli"):
        os.makedirs(os.path.join(root, folder), exist_ok=True)
    full = os.path.join(root, path)
    os.makedirs(os.path.dirname(full), exist_ok=True)
    with open(full, "w", encoding="utf-8") as source:
        source.write(f"// planted\n{include}\n\nnamespace kws {{}}\n")
    return root


class CheckLayersTest(unittest.TestCase):
    def test_the_repository_keeps_to_its_layers(self):
        result = run_check(REPOSITORY)
        self.assertEqual(result.returncode, 0, result.stderr)

    def test_planted_includes(self):
        # (file, its include, refused?, what the refusal names)
        cases = [
            ("src/fit/x.cpp", '#include "steps/gzip_f9.h"', True, "steps/ is on fit/'s own row"),
            ("src/steps/x.cpp", '#include "fit/bitmap_file.h"', True, "fit/ is on steps/'s own row"),
            ("src/format/x.cpp", '#include "fileio/file.h"', True, "format/ uses nothing of ours"),
            ("src/format/x.h", "#include <sys/stat.h>", True, "format/ uses the C++ library and zlib.h only"),
            ("src/fileio/x.cpp", '#include "log/activity_log.h"', True, "log/ is on fileio/'s own row"),
            ("src/steps/x.cpp", '#include "driver/driver.h"', True, "driver/ is on a higher row than steps/"),
            ("src/driver/x.cpp", '#include "cli/cli.h"', True, "cli/ is on a higher row than driver/"),
            ("web/x.cpp", '#include "ui/tform1.h"', True, "ui/ is on web/'s own row"),
            ("src/file_error.h", '#include "fileio/file.h"', True, "a header at src/'s top"),
            ("src/format/x.cpp", '#include "file_error.h"', False, ""),
            ("src/format/x.cpp", "#include <zlib.h>", False, ""),
            ("src/format/x.cpp", "#include <vector>", False, ""),
            ("src/log/x.cpp", '#include "fileio/file.h"', False, ""),
            ("src/fit/x.cpp", '#include "sample/dot_font.h"', False, ""),
            ("src/steps/x.cpp", '#include "format/bitmap.h"', False, ""),
            ("src/cli/x.cpp", '#include "driver/driver.h"', False, ""),
            ("tools/x.cpp", '#include "ui/tform1.h"', False, ""),
            ("src/steps/x.cpp", '#include "steps/steps.h"', False, ""),
        ]
        for path, include, refused, named in cases:
            with self.subTest(path=path, include=include):
                result = run_check(tree_with(self, path, include))
                self.assertEqual(result.returncode, 1 if refused else 0, result.stderr)
                if refused:
                    self.assertIn(f"{path}:2: {include}", result.stderr)
                    self.assertIn(named, result.stderr)

    def test_an_unreadable_table_is_said(self):
        root = tree_with(self, "src/fit/x.cpp", '#include "format/bitmap.h"')
        table = os.path.join(root, "layers.txt")
        with open(table, "w", encoding="utf-8") as broken:
            broken.write("rows log fileio\n")
        result = subprocess.run([sys.executable, CHECK, root, table], capture_output=True, text=True)
        self.assertEqual(result.returncode, 2)
        self.assertIn("cannot read: rows log fileio", result.stderr)


if __name__ == "__main__":
    unittest.main()
