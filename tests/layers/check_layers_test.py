#!/usr/bin/python3
"""check-layers on small trees made for each case: what it allows, what it
reports (file, line and arrow), and tables it cannot read."""

import os
import subprocess
import sys
import tempfile
import textwrap
import unittest

CHECKER = os.path.join(os.path.dirname(os.path.abspath(__file__)), "check-layers")

TABLES = textwrap.dedent("""\
    # Architecture

    | layer | uses | holds |
    |---|---|---|
    | `base/` | — | the failure kinds |
    | `json/` | `base/` | the value tree |
    | `net/` | `json/`, `base/` | the exchange |
    | `client/` | `net/`, `json/`, `base/` | the client |
    | `sandbox/` | `json/`, `base/` | the double |

    Prose between the tables, and another table that is not one of them:

    | capability | place |
    |---|---|
    | `output/` | `cli/Writer.cpp` |

    | folder | uses |
    |---|---|
    | `tests/support/` | `base/` |
    | `tests/client/` | `sandbox/` |
    | `bench/net/` | `net/`, `tests/support/` |
    """)

# A tree in which every arrow is allowed.
CLEAN = {
    "base/Ascii.h": "#pragma once\n",
    "base/Ascii.cpp": '#include "base/Ascii.h"\n#include <string>\n#include "Ascii.h"\n',
    "json/Parser.cpp": '#include "json/Parser.h"\n#include "base/Ascii.h"\n',
    "net/REST.cpp": '#include "json/JSON.h"\n  #  include "base/Exception.h"\n',
    "client/Client.cpp": '#include "net/REST.h"\n',
    "sandbox/https/Tls.cpp": '#include "sandbox/Data.h"\n#include "base/Ascii.h"\n',
    "tests/support/Server.cpp": '#include "base/Ascii.h"\n',
    "tests/net/Test.cpp": ('#include "tests/net/Fixture.h"\n#include "net/REST.h"\n'
                           '#include "json/JSON.h"\n#include "tests/support/Server.h"\n'
                           '#include "fuzz/net/Bodies.h"\n'),
    "tests/client/Test.cpp": '#include "client/Client.h"\n#include "sandbox/Service.h"\n',
    "fuzz/json/parse.cpp": '#include "json/JSON.h"\n#include "fuzz/json/Dict.h"\n',
    "bench/net/bench.cpp": '#include "net/REST.h"\n#include "tests/support/Server.h"\n',
    "data/README.md": '#include "app/Main.h"\n',  # not a source file
    "build-asan/CMakeCache.txt": "",
    "build-asan/app/moc_Main.cpp": '#include "app/Main.h"\n',  # a build tree
    ".git/hooks/x.cpp": '#include "app/Main.h"\n',
}


class CheckLayersTest(unittest.TestCase):
    def run_checker(self, files, tables=TABLES):
        with tempfile.TemporaryDirectory() as root:
            for path, text in {"docs/ARCHITECTURE.md": tables, **files}.items():
                os.makedirs(os.path.dirname(os.path.join(root, path)), exist_ok=True)
                with open(os.path.join(root, path), "w", encoding="utf-8") as out:
                    out.write(text)
            done = subprocess.run([sys.executable, CHECKER, root], capture_output=True,
                                  text=True, timeout=60)
        return done.returncode, done.stdout.splitlines(), done.stderr

    def test_a_tree_that_keeps_to_the_tables_passes(self):
        self.assertEqual(self.run_checker(CLEAN), (0, [], ""))

    def test_each_finding_names_the_file_the_line_and_the_arrow(self):
        cases = [
            ("an arrow up", {"base/Ascii.cpp": '#include <string>\n\n#include "net/REST.h"\n'},
             ['base/Ascii.cpp:3: #include "net/REST.h": base/ -> net/ is not allowed']),
            ("a layer used only through another",
             {"client/Client.cpp": '#include "net/REST.h"\n#include "sandbox/Data.h"\n'},
             ['client/Client.cpp:2: #include "sandbox/Data.h": client/ -> sandbox/ is not allowed']),
            ("a relative path out of the folder",
             {"json/Parser.cpp": '#include "../net/REST.h"\n'},
             ['json/Parser.cpp:1: #include "../net/REST.h": json/ -> net/ is not allowed']),
            ("tests of a layer reaching past it",
             {"tests/net/Test.cpp": '#include "client/Client.h"\n#include "fuzz/json/Dict.h"\n'},
             ['tests/net/Test.cpp:1: #include "client/Client.h": tests/net/ -> client/ is not allowed',
              'tests/net/Test.cpp:2: #include "fuzz/json/Dict.h": tests/net/ -> fuzz/json/ is not allowed']),
            ("a fuzz target using the tests' support",
             {"fuzz/json/parse.cpp": '#include "tests/support/Server.h"\n'},
             ['fuzz/json/parse.cpp:1: #include "tests/support/Server.h": fuzz/json/ -> tests/support/ '
              'is not allowed']),
            ("a benchmark beyond its row", {"bench/net/bench.cpp": '#include "client/Client.h"\n'},
             ['bench/net/bench.cpp:1: #include "client/Client.h": bench/net/ -> client/ is not allowed']),
            ("a library using the tests", {"net/REST.cpp": '#include "tests/support/Server.h"\n'},
             ['net/REST.cpp:1: #include "tests/support/Server.h": net/ -> tests/support/ is not allowed']),
            ("a folder no table names", {"output/Writer.cpp": '#include "base/Ascii.h"\n'},
             ["output/Writer.cpp: the folder output/ is in no layer table"]),
            ("a test folder no table names", {"bench/cli/bench.cpp": '#include "base/Ascii.h"\n'},
             ["bench/cli/bench.cpp: the folder bench/cli/ is in no layer table"]),
            ("an include of a folder no table names",
             {"json/Parser.cpp": '#include "vendor/fast/Float.h"\n'},
             ['json/Parser.cpp:1: #include "vendor/fast/Float.h": vendor/fast/ is in no layer table']),
        ]
        for name, changed, expected in cases:
            with self.subTest(name):
                self.assertEqual(self.run_checker({**CLEAN, **changed}), (1, expected, ""))

    def test_tables_it_cannot_read_fail_the_check(self):
        cases = [
            ("no layer table", "# Architecture\n\nNo tables.\n", "no table with the columns"),
            ("a use of a folder no row names",
             TABLES.replace("| `json/` | `base/` |", "| `json/` | `base/`, `output/` |"),
             "json/ uses output/, which no row names"),
            ("a row without its folder", TABLES.replace("| `base/` | — |", "| base | — |"),
             "a row names no one folder"),
        ]
        for name, tables, message in cases:
            with self.subTest(name):
                code, out, err = self.run_checker(CLEAN, tables)
                self.assertEqual((code, out), (2, []))
                self.assertIn(message, err)


if __name__ == "__main__":
    unittest.main()
