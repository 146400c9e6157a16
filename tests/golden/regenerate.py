#!/usr/bin/env python3
"""Writes the expected files of every end-to-end case from a given binary.

usage: regenerate.py HAPLOTOR_EXE

A case is a folder with `option` (the option letter) and `input.txt`; the
binary runs `-<option> input.txt` there with HAPLOTOR_SEED=7, and the result
files, standard output, standard error and exit status become the expected
files (time columns of "res" replaced by T). Run it only when a change of
output is intended, and read the diff it makes.
"""
import os
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "..", "bench"))
from compare_binaries import masked  # noqa: E402

here = os.path.dirname(os.path.abspath(__file__))
exe = os.path.abspath(sys.argv[1])
for case in sorted(os.listdir(here)):
    folder = os.path.join(here, case)
    if not os.path.isfile(os.path.join(folder, "option")):
        continue
    option = open(os.path.join(folder, "option")).read().strip()
    work = tempfile.mkdtemp()
    shutil.copy(os.path.join(folder, "input.txt"), work)
    p = subprocess.run([exe, "-" + option, "input.txt"], cwd=work, capture_output=True,
                       env=dict(os.environ, HAPLOTOR_SEED="7"))
    for old in os.listdir(folder):
        if old.startswith("expected."):
            os.remove(os.path.join(folder, old))
    for name in sorted(os.listdir(work)):
        if name == "input.txt":
            continue
        text = open(os.path.join(work, name), encoding="latin-1").read()
        with open(os.path.join(folder, "expected." + name), "w", encoding="latin-1") as f:
            f.write(masked(text) if name.endswith(".res") else text)
    for stream, data in (("stdout", p.stdout), ("stderr", p.stderr)):
        with open(os.path.join(folder, "expected." + stream), "wb") as f:
            f.write(data)
    with open(os.path.join(folder, "expected.status"), "w") as f:
        f.write("%d\n" % p.returncode)
    shutil.rmtree(work)
    print(case)
