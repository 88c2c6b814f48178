"""Files for the scenarios: small area files, written and read as the programs do (Windows-1252 text, CR LF,
one logger per line: serial, grid reference, two comments, deployed, received, 50 readings of date, status,
level and spread, additional information), and the scenario's program folder with the PDA queue."""
import csv
import io
import os

READINGS = 50
HEADER = ('"Area Loggers V5.@VERSION@"\r\n' +
          ",".join('"%s"' % c for c in ["Serial No", "Grid Ref", "Comment A", "Comment B", "Deployed", "Received"] +
                   ["Date", "Status", "Level", "Spread"] * READINGS + ["More Info"]) + ",\r\n")


def write_area(path, loggers):
    """loggers: dicts with serial, grid, comment1, comment2 and readings [(date, status, level, spread), ...]."""
    lines = [HEADER]
    for lg in loggers:
        items = [str(lg["serial"])] + ['"%s"' % lg.get(k, "") for k in ("grid", "comment1", "comment2")]
        items += ['"%s"' % lg.get("deployed", ""), '"%s"' % lg.get("received", "")]
        readings = list(lg.get("readings", []))
        readings += [("", "", 0, 0)] * (READINGS - len(readings))
        for date, status, level, spread in readings:
            items += ['"%s"' % date, '"%s"' % status, str(level), str(spread)]
        items.append('"%s"' % lg.get("info", ""))
        lines.append(",".join(items) + "\r\n")
    with open(path, "wb") as f:
        f.write("".join(lines).encode("cp1252"))


def read_area(path):
    """{serial: [(date, status, level, spread), ...50]} of an area file."""
    with open(path, "rb") as f:
        text = f.read().decode("cp1252")
    rows = list(csv.reader(io.StringIO(text, newline="")))
    out = {}
    for row in rows[2:]:
        if len(row) < 6 + 4 * READINGS:
            continue
        readings = []
        for j in range(READINGS):
            date, status, level, spread = row[6 + 4 * j: 10 + 4 * j]
            readings.append((date.strip(), status.strip(), int(level or 0), int(spread or 0)))
        out[int(row[0])] = readings
    return out


THREE = [
    {"serial": 1100001, "grid": "AB 1234 5678", "comment1": "North", "readings": [("2023/02/01", "L", 99, 25)]},
    {"serial": 1100002, "grid": "AB 2234 5678", "comment1": "South", "readings": [("2023/02/02", "N", 40, 10)]},
    {"serial": 1100003, "grid": "AB 3234 5678", "comment1": "East", "readings": [("2023/02/03", "N", 30, 12)]},
]


def program_folder(d):
    """The scenario's own program folder (d.bin) as an installed copy has it after its first run: with the
    exchange tree and the PDA queue (which every save copies into). Programs started with
    env={"VORD_PROGRAM_DIR": folder} take it for their folder as those started from it do."""
    os.makedirs(os.path.join(d.bin, "rovemark", "AutoExport"), exist_ok=True)
    return d.bin
