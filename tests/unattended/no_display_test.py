#!/usr/bin/env python3
"""Reports without a window where there is no display at all.

Starts the built Pelko_Files.exe under Wine with DISPLAY unset, from a folder
of its own with a small suite on its PATH, asks for /report and /json to
files and to a pipe, and checks the exit codes, the text's form, and the JSON
against docs/report.schema.json and against the text, line by line.
"""
import argparse
import json
import os
import shutil
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
}
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAIL:", what)


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def lines_told_by(report):
    """The text report's lines as the JSON document tells them, date aside."""
    program = report["program"]
    component = report["component"]
    told = ["System files for %s Version %s" % (program["name"], program["version"]), ""]
    told.append("KTR DLL version %d.%d" % (component["major"], component["minor"])
                if component["found"] else "KTR DLL version not found.")
    told.append("")
    for entry in report["files"]:
        if entry["state"] == "not found":
            told.append(" %s :   File not found" % entry["name"])
            continue
        state = "is loaded" if entry["state"] == "loaded" else entry["state"]
        told.append("%s    Path:  %s Version:  %s DLL %s" % (
            entry["name"], entry["path"], entry["version"] or "N/A", state))
    if report["modules"]:
        told += ["", "Program Modules for " + program["name"], ""] + report["modules"]
    return told


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", required=True)
    parser.add_argument("--fixtures", required=True)
    parser.add_argument("--schema", required=True)
    parser.add_argument("--wine-run", required=True)
    args = parser.parse_args()

    with open(args.schema, encoding="utf-8") as f:
        schema = json.load(f)
    validator = jsonschema.Draft202012Validator(schema)

    with tempfile.TemporaryDirectory(prefix="tarnwick-nodisplay-") as top:
        program_folder = os.path.join(top, "program")
        suite = os.path.join(top, "suite")
        work = os.path.join(top, "work")
        for folder in (program_folder, suite, work):
            os.mkdir(folder)
        program = os.path.join(program_folder, "Pelko_Files.exe")
        shutil.copy(args.program, program)
        for fixture, name in SUITE.items():
            source = os.path.join(args.fixtures, fixture)
            if not os.path.exists(source):
                print("SKIP: the fixture libraries were not built")
                return 0
            shutil.copy(source, os.path.join(suite, name))

        env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
        env["WINEPATH"] = windows_path(suite)

        def run(*switches):
            return subprocess.run([args.wine_run, program, *switches], cwd=work, env=env,
                                  capture_output=True, timeout=120)

        done = run("/report", "report.txt", "/json", "report.json")
        check(done.returncode == 0, "/report and /json exit with %d: %r" % (done.returncode, done.stderr[-400:]))
        with open(os.path.join(work, "report.txt"), "rb") as f:
            text = f.read()
        check(text.startswith(BOM + b"System files for Pelko_Files Version "), "text file header: %r" % text[:60])
        check(b"\r\n" in text and text.count(b"\r") == text.count(b"\r\n") == text.count(b"\n"),
              "text file line breaks are not all CR LF")
        with open(os.path.join(work, "report.json"), "rb") as f:
            raw = f.read()
        report = json.loads(raw.decode("utf-8"))
        errors = [e.message for e in validator.iter_errors(report)]
        check(not errors, "the JSON does not match the schema: %s" % errors[:3])
        lines = text[len(BOM):].decode("utf-8").split("\r\n")
        told = lines_told_by(report)
        check(lines[0].startswith(told[0] + " Date: "), "header %r against %r" % (lines[0], told[0]))
        check(lines[1:] == told[1:], "the JSON and the text disagree")
        check(report["complete"] and report["notices"] == [], "complete %r, notices %r" % (report["complete"], report["notices"]))
        check(report["files"][0]["state"] == "loaded", "the component library is not loaded")

        piped = run("/json", "-")
        check(piped.returncode == 0, "/json - exits with %d" % piped.returncode)
        streamed = json.loads(piped.stdout.decode("utf-8"))
        check(not list(validator.iter_errors(streamed)), "the streamed JSON does not match the schema")
        check(streamed["files"] == report["files"], "the streamed JSON names other files")

        piped = run("/report", "-")
        check(piped.returncode == 0, "/report - exits with %d" % piped.returncode)
        check(piped.stdout.split(b"\r\n")[1:] == text[len(BOM):].split(b"\r\n")[1:],
              "/report - differs from the file")

        wrong = run("/report", os.path.join(work, "missing", "r.txt").replace("/", "\\"))
        check(wrong.returncode == 2, "an unwritable FILE exits with %d" % wrong.returncode)

    print("%d failures" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
