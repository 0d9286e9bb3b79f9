#!/usr/bin/python3
"""Prints quenlex_bench's CSV table as a Markdown table, for docs/performance.md."""
import csv
import sys

COLUMNS = [("measurement", "measurement"), ("contender", "contender"), ("samples", "n"),
           ("median", "median"), ("p99", "p99"), ("unit", "unit"),
           ("ratio_to_floor", "x floor"), ("goal", "goal"), ("verdict", "verdict")]


def main(path):
    with open(path, newline="") as source:
        rows = list(csv.DictReader(source))
    print("| " + " | ".join(title for _, title in COLUMNS) + " |")
    print("|" + "---|" * len(COLUMNS))
    last = None
    for row in rows:
        cells = []
        for key, _ in COLUMNS:
            value = row[key]
            if key == "measurement":
                value = "" if value == last else value
                last = row[key]
            if key in ("median", "p99") and row["median_ci_low"]:
                if key == "median":
                    value += " ({}..{})".format(row["median_ci_low"], row["median_ci_high"])
            cells.append(value.replace("|", "\\|"))
        print("| " + " | ".join(cells) + " |")


if __name__ == "__main__":
    main(sys.argv[1])
