#!/usr/bin/env python3
"""Reports without a window where there is no display at all.

Starts the built Pelko_Files.exe under Wine with DISPLAY unset, from a folder
of its own with a small suite on its PATH, asks for /report and /json to
files, and checks that both are written whole, that the JSON document
matches docs/report.schema.json, that its date is the local time of the run
with the zone's UTC offset, and that each file's load object tells why it
loads or not. What the reports say is checked against the window's by the
end-to-end tests (tests/e2e/unattended_test.cpp).

Usage: no_display_test.py --program EXE --fixtures DIR --schema FILE -- WINE-RUN...
"""
import argparse
import datetime
import json
import os
import shutil
import struct
import subprocess
import sys
import tempfile

import jsonschema

BOM = b"\xef\xbb\xbf"
SUITE = {  # fixture -> the suite name it stands in for
    "KTR_Intel_Win32.dll": "KTR_Intel_Win32.dll",
    "fixture_v1234.dll": "KTR_Imaging32.DLL",
    "fixture_noversion.dll": "KTR_Scan32.dll",
    "fixture_initfails.dll": "PelkoOcr32.dll",
    "fixture_deepmissing.dll": "KTR_Barcode32.dll",
    "fixture_missingimport.dll": "fixture_missingimport.dll",  # there; what it imports is not
    "fixture_exits.dll": "libtiff.dll",
}
OTHER_WORD_SIZE = ("fixture_other_word_size.dll", "KTR_Pdf32.DLL")
MACHINES = {0x14C: "x86", 0x8664: "x64"}
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAIL:", what)


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def machine_of(path):
    with open(path, "rb") as f:
        head = f.read(4096)
    at = struct.unpack_from("<I", head, 0x3C)[0]
    return MACHINES.get(struct.unpack_from("<H", head, at + 4)[0], "unknown")


def check_load_objects(files, program):
    """Why each library loads or not, as the JSON tells it."""
    by_name = {entry["name"]: entry for entry in files}
    for name in ("KTR_Intel_Win32.dll", "KTR_Imaging32.DLL"):  # loaded, can be loaded
        entry = by_name[name]
        check(entry["load"].get("loaded_from") == entry["path"],
              "%s: loaded_from %r, the line's path %r" % (name, entry["load"], entry["path"]))
    refused = by_name["PelkoOcr32.dll"]["load"]
    check(refused.get("error") == 1114 and "init" in refused.get("message", "").lower()
          and "missing" not in refused, "an initialisation that refuses: %r" % refused)
    deep = by_name["KTR_Barcode32.dll"]["load"]
    check(deep.get("error") == 126 and deep.get("missing") == ["tarnwick_absent.dll"],
          "a library missing two levels down: %r" % deep)
    ended = by_name["libtiff.dll"]["load"]
    check(ended.get("ended") is True and ended.get("exit_code") == 7,
          "a library that ends the helper: %r" % ended)
    other = by_name[OTHER_WORD_SIZE[1]]["load"]
    want = {"x86": "x64", "x64": "x86"}[machine_of(program)]
    check(other.get("machine") == want, "a library of the other word size: %r" % other)
    for entry in files:
        check(("load" in entry) == (entry["state"] != "not found"),
              "%s: a load object %s" % (entry["name"], "where none belongs" if "load" in entry else "missing"))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", required=True)
    parser.add_argument("--fixtures", required=True)
    parser.add_argument("--schema", required=True)
    parser.add_argument("wine_run", nargs="+", help="the command that runs a Windows program")
    args = parser.parse_args()

    with open(args.schema, encoding="utf-8") as f:
        validator = jsonschema.Draft202012Validator(json.load(f))

    with tempfile.TemporaryDirectory(prefix="tarnwick-nodisplay-") as top:
        program_folder = os.path.join(top, "program")
        suite = os.path.join(top, "suite")
        work = os.path.join(top, "work")
        for folder in (program_folder, suite, work):
            os.mkdir(folder)
        program = os.path.join(program_folder, "Pelko_Files.exe")
        shutil.copy(args.program, program)
        # A fixture that was not built is a check that cannot be made: a failure.
        for fixture, name in [*SUITE.items(), OTHER_WORD_SIZE]:
            source = os.path.join(args.fixtures, fixture)
            if not os.path.exists(source):
                print("FAIL: no fixture %s in %s" % (fixture, args.fixtures))
                return 1
            shutil.copy(source, os.path.join(suite, name))

        env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
        env["WINEPATH"] = windows_path(suite)
        # A zone three and a half hours behind UTC, all year (a POSIX rule,
        # so no zone database is needed): an offset lost, truncated to whole
        # hours or given the wrong sign shows in the JSON date.
        env["TZ"] = "NST+3:30"
        started = datetime.datetime.now(datetime.timezone.utc).replace(microsecond=0)
        done = subprocess.run([*args.wine_run, program, "/report", "report.txt",
                               "/json", "report.json"],
                              cwd=work, env=env, capture_output=True, timeout=120)
        ended = datetime.datetime.now(datetime.timezone.utc)
        check(done.returncode == 0,
              "/report and /json exit with %d: %r" % (done.returncode, done.stderr[-400:]))
        with open(os.path.join(work, "report.txt"), "rb") as f:
            text = f.read()
        check(text.startswith(BOM + b"System files for Pelko_Files Version "),
              "text file header: %r" % text[:60])
        with open(os.path.join(work, "report.json"), "rb") as f:
            report = json.loads(f.read().decode("utf-8"))
        errors = [e.message for e in validator.iter_errors(report)]
        check(not errors, "the JSON does not match the schema: %s" % errors[:3])
        check(report.get("complete") and report.get("notices") == [],
              "complete %r, notices %r" % (report.get("complete"), report.get("notices")))
        check(report["files"][0]["state"] == "loaded", "the component library is not loaded")
        date = report.get("date") or ""
        check(date.endswith("-03:30"), "the date's UTC offset: %r" % date)
        try:
            moment = datetime.datetime.fromisoformat(date)
            check(moment.utcoffset() is not None and started <= moment <= ended,
                  "the date %r is not the time of the run, %s to %s UTC" % (date, started, ended))
        except ValueError:
            check(False, "the date is no ISO 8601 time: %r" % date)
        check_load_objects(report["files"], program)

    print("%d failures" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
