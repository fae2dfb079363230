#!/usr/bin/env python3
"""Installs the bundled sample card into a fresh emulated device.

Run by scripts/sample.sh after the build. With a display or a terminal at
hand (and the interactive front end built) the setup runs interactively;
otherwise it runs unattended from samples/answers.txt. Either way the run's
transcript is read back and told in plain words, followed by where to look.
"""
import json
import os
import shutil
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
# CESETUP_BUILD names another build folder (the default is build/).
BIN = os.path.join(os.environ.get("CESETUP_BUILD", os.path.join(ROOT, "build")), "bin")
CESETUP = os.path.join(BIN, "cesetup")
CEDEVICE = os.path.join(BIN, "cedevice")
OUT = os.path.join(ROOT, "out")
DEVICE = os.path.join(OUT, "sample-device")
CARD = os.path.join(ROOT, "samples", "card")
ANSWERS = os.path.join(ROOT, "samples", "answers.txt")
TRANSCRIPT = os.path.join(OUT, "sample-transcript.jsonl")

EXIT_MEANINGS = {
    0: "the setup ended normally",
    2: "the options or the device could not be used",
    3: "a page or message had no answer",
}


def rel(path):
    return os.path.relpath(path, ROOT)


def interactive_possible():
    return bool(os.environ.get("DISPLAY")) or (sys.stdin.isatty() and sys.stdout.isatty())


def run(args):
    print("$ " + " ".join(rel(a) if a.startswith(ROOT) else a for a in args), flush=True)
    return subprocess.run(args, cwd=ROOT, stderr=subprocess.PIPE, text=True)


def one_line(text):
    return " / ".join(part for part in text.replace("\r", "").split("\n") if part)


def tell(events):
    """Prints the transcript as a readable account of the run."""
    titles = {}
    for e in events:
        kind = e.get("event")
        if kind == "page":
            titles[e.get("id")] = e.get("title", "")
            mode = "page" if e.get("modal") else "working page"
            print("  %s %s \"%s\"" % (mode, e.get("id"), e.get("title", "")))
            for c in e.get("controls", []):
                if "items" in c and c.get("items"):
                    print("      list %s: %d entries" % (c.get("id"), len(c["items"])))
        elif kind == "answer":
            print("      answered: %s -> %s" % ("; ".join(e.get("actions", [])), e.get("result")))
        elif kind == "message":
            print("  message %s: %s -> %s" % (e.get("id", "?"), one_line(e.get("text", "")), e.get("result")))
        elif kind == "launch":
            state = "started" if e.get("started") else "not found on the device"
            print("  program %s %s (%s)" % (e.get("program"), e.get("cmdline", ""), state))
        elif kind == "exit":
            code = e.get("code")
            print("  exit code %s: %s" % (code, EXIT_MEANINGS.get(code, "see the message above")))


def read_transcript(path):
    events = []
    if not os.path.exists(path):
        return events
    with open(path, encoding="utf-8") as f:
        for n, line in enumerate(f, 1):
            line = line.strip()
            if not line:
                continue
            try:
                events.append(json.loads(line))
            except ValueError:
                print("sample: %s line %d is not JSON: %s" % (rel(path), n, line), file=sys.stderr)
    return events


def main():
    for program in (CESETUP, CEDEVICE):
        if not os.path.exists(program):
            print("sample: %s is missing; build first (sh scripts/build.sh)" % rel(program), file=sys.stderr)
            return 2
    if os.path.exists(DEVICE):
        shutil.rmtree(DEVICE)
    os.makedirs(OUT, exist_ok=True)
    if os.path.exists(TRANSCRIPT):
        os.remove(TRANSCRIPT)

    unattended = [CESETUP, "--device", DEVICE, "--card", CARD, "--ui", "none", "--answers", ANSWERS,
                  "--transcript", TRANSCRIPT]
    result = None
    if interactive_possible():
        result = run([CESETUP, "--device", DEVICE, "--card", CARD, "--ui", "auto", "--transcript", TRANSCRIPT])
        if result.returncode == 2 and "not built" in result.stderr:
            print("sample: the interactive front end is not built; running unattended instead")
            if os.path.exists(DEVICE):
                shutil.rmtree(DEVICE)
            result = None
    if result is None:
        result = run(unattended)
    if result.stderr:
        sys.stderr.write(result.stderr)

    print()
    print("What happened:")
    events = read_transcript(TRANSCRIPT)
    if events:
        tell(events)
    else:
        print("  (no transcript was written; exit code %d)" % result.returncode)
    if not events or events[-1].get("event") != "exit":
        print("  exit code %d: %s" % (result.returncode, EXIT_MEANINGS.get(result.returncode, "unexpected")))

    print()
    print("Where to look:")
    print("  the device's files:      %s" % rel(os.path.join(DEVICE, "store")))
    print("  the device's registry:   %s reg export %s" % (rel(CEDEVICE), rel(DEVICE)))
    print("  the run's transcript:    %s" % rel(TRANSCRIPT))
    print("  remove it all again:     %s --device %s --card %s --ui none --answer 'page 108: click Remove'"
          " --answer 'message 217: answer OK'" % (rel(CESETUP), rel(DEVICE), rel(CARD)))
    return result.returncode


if __name__ == "__main__":
    sys.exit(main())
