#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
# Writes a rename journal and a filing journal of FILES files (batches of 20)
# into STATE/quillon/, as XDG_STATE_HOME=STATE would have them, for measuring
# the peak memory of `quillon-cli history` and `undo` against the journal's size:
#   bench/make_journals.py STATE FILES
#   XDG_STATE_HOME=STATE /usr/bin/time -f %M quillon-cli history >/dev/null
# The newest rename batch's files exist (empty) in STATE/work, so undo has
# something to restore; every other batch's files are gone.
import json, os, sys, time

state, files = sys.argv[1], int(sys.argv[2])
journal_dir = os.path.join(state, "quillon")
work = os.path.join(state, "work")
os.makedirs(journal_dir, exist_ok=True)
os.makedirs(work, exist_ok=True)
start = int(time.time()) - files  # one second a file, ending now
per_batch = 20

def stamp(t):
    return time.strftime("%Y-%m-%dT%H:%M:%SZ", time.gmtime(t))

with open(os.path.join(journal_dir, "journal.jsonl"), "w") as out:
    batches = files // per_batch
    for b in range(batches):
        bid = "20250101T000000Z-%08x" % b
        pairs = [["img%07d.mpd" % (b * per_batch + i), "M%07d_STD.mpd" % (b * per_batch + i)] for i in range(per_batch)]
        out.write(json.dumps({"type": "batch", "id": bid, "time": stamp(start + b * per_batch), "kind": "rename",
                              "source": "cli", "folder": work, "files": pairs}, separators=(",", ":")) + "\n")
        for old, new in pairs:
            out.write(json.dumps({"type": "intent", "id": bid, "old": old, "new": new}, separators=(",", ":")) + "\n")
            out.write(json.dumps({"type": "outcome", "id": bid, "old": old, "new": new, "renamed": True},
                                 separators=(",", ":")) + "\n")
        out.write(json.dumps({"type": "end", "id": bid}, separators=(",", ":")) + "\n")
    for old, new in pairs:  # the newest batch's files are there to take back
        open(os.path.join(work, new), "w").close()

with open(os.path.join(journal_dir, "filing.jsonl"), "w") as out:
    batches = files // per_batch // 10
    for b in range(batches):
        bid = "20250101T000000Z-f%07x" % b
        pairs = [[work + "/f%07d.mpd" % (b * per_batch + i), work + "/2025/01/01/F%07d.mpd" % (b * per_batch + i)]
                 for i in range(per_batch)]
        out.write(json.dumps({"type": "batch", "id": bid, "time": stamp(start + b * per_batch * 10 + 5),
                              "kind": "file", "folder": work, "dest": work, "pid": 1, "boot": "x", "start": 0,
                              "files": pairs}, separators=(",", ":")) + "\n")
        for old, new in pairs:
            out.write(json.dumps({"type": "step", "id": bid, "old": old, "new": new, "step": "intent"},
                                 separators=(",", ":")) + "\n")
            out.write(json.dumps({"type": "step", "id": bid, "old": old, "new": new, "step": "moved"},
                                 separators=(",", ":")) + "\n")
        out.write(json.dumps({"type": "end", "id": bid}, separators=(",", ":")) + "\n")
