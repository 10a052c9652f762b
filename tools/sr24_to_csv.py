#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Convert the USDA SR24 food archive (a jar of one XML file per food) into data/foods.csv.

Run once by hand when the food table is refreshed; the build only reads the CSV:

    python3 tools/sr24_to_csv.py path/to/usda_sr24.jar [OUT.csv]   (default: data/foods.csv)

Only foods listed in foods.index are written; withdrawn foods (deprecated.index) stay out.
A nutrient missing from a food's XML becomes an empty cell: not measured is not the same as 0.
"""

import csv
import io
import os
import sys
import zipfile
import xml.etree.ElementTree as ET
from decimal import Decimal, InvalidOperation

# Table column -> nutrient name in the XML. Units in the archive already match the table's
# (Vitamin A in IU, Vitamin E and the B vitamins in mg, Folate, Selenium and B12 in micrograms).
NUTRIENTS = [
    ("WATER", "Water"),
    ("ENERG_KCAL", "Energy"),
    ("PROTEIN", "Protein"),
    ("TOT_LIPID", "Fat"),
    ("CARBOHYDRT", "Carbs"),
    ("FIBER_TD", "Fiber"),
    ("ASH", "Ash"),
    ("CALCIUM", "Calcium"),
    ("PHOSPHORUS", "Phosphorus"),
    ("IRON", "Iron"),
    ("SODIUM", "Sodium"),
    ("POTASSIUM", "Potassium"),
    ("MAGNESIUM", "Magnesium"),
    ("ZINC", "Zinc"),
    ("COPPER", "Copper"),
    ("MANGANESE", "Manganese"),
    ("SELENIUM", "Selenium"),
    ("VIT_A", "Vitamin A"),
    ("VIT_E", "Vitamin E"),
    ("THIAMIN", "B1 (Thiamine)"),
    ("RIBOFLAVIN", "B2 (Riboflavin)"),
    ("NIACIN", "B3 (Niacin)"),
    ("PANTO_ACID", "B5 (Pantothenic Acid)"),
    ("VIT_B6", "B6 (Pyridoxine)"),
    ("FOLATE", "Folate"),
    ("VIT_B12", "B12 (Cyanocobalamin)"),
    ("VIT_C", "Vitamin C"),
    ("FA_SAT", "Saturated"),
    ("FA_MONO", "Monounsaturated"),
    ("FA_POLY", "Polyunsaturated"),
    ("CHOLESTRL", "Cholesterol"),
]

HEADER = (
    ["Description"]
    + [column for column, _ in NUTRIENTS]
    + ["GMWT_1", "GMWT_DESC1", "GMWT_2", "GMWT_DESC2", "REFUSE_PCT", "NDB_NO", "CODE"]
)

PREFIX = "usda_sr24/"


class ConversionError(Exception):
    pass


def plain_number(text, where):
    """Shortest plain decimal form of a number text: 23.0 -> 23, 0.0780 -> 0.078, never 1E+1."""
    try:
        value = Decimal(text.strip())
    except InvalidOperation:
        raise ConversionError(f"{where}: not a number: {text!r}") from None
    if not value.is_finite():
        raise ConversionError(f"{where}: not a finite number: {text!r}")
    if value == 0:
        return "0"  # also turns -0.0 into 0
    return format(value.normalize(), "f")


def read_index(jar, name):
    """uid|name lines (CRLF) of one index file, as a list of uids in file order."""
    text = jar.read(PREFIX + name).decode("utf-8")
    uids = []
    for number, line in enumerate(text.splitlines(), start=1):
        if not line:
            continue
        uid, sep, _ = line.partition("|")
        if not sep or not uid.isdigit():
            raise ConversionError(f"{name}:{number}: expected uid|name, got {line!r}")
        uids.append(uid)
    return uids


def food_row(jar, uid):
    member = f"{PREFIX}{uid}.xml"
    root = ET.fromstring(jar.read(member))
    if root.tag != "food" or root.get("uid") != uid:
        raise ConversionError(f"{member}: expected <food uid=\"{uid}\">")
    description = root.get("name")
    if description is None:
        raise ConversionError(f"{member}: food without a name")

    amounts = {}
    for nutrient in root.iter("nutrient"):
        name = nutrient.get("name")
        if name in amounts:
            raise ConversionError(f"{member}: nutrient {name!r} given twice")
        amounts[name] = nutrient.get("amount", "")

    row = [description]
    for column, name in NUTRIENTS:
        amount = amounts.get(name)
        row.append("" if amount is None else plain_number(amount, f"{member}: {name}"))

    # The first two household measures in file order; fewer measures leave the cells empty.
    measures = root.findall("measure")[:2]
    for measure in measures:
        grams = plain_number(measure.get("grams", ""), f"{member}: measure grams")
        amount = plain_number(measure.get("amount", ""), f"{member}: measure amount")
        row += [grams, f"{amount} {measure.get('name', '')}"]
    row += ["", ""] * (2 - len(measures))

    row += ["", uid, uid[:2]]  # refuse is not in the archive; the food group is the uid's prefix
    assert len(row) == len(HEADER)
    return row


def convert(jar_path, out):
    with zipfile.ZipFile(jar_path) as jar:
        uids = read_index(jar, "foods.index")
        if len(set(uids)) != len(uids):
            raise ConversionError("foods.index lists a uid twice")
        rows = [food_row(jar, uid) for uid in sorted(uids)]

    # lineterminator "\n": the table is kept in git with LF endings; QUOTE_MINIMAL quotes exactly
    # the fields holding a comma, a quote or a line break, and doubles the quotes.
    writer = csv.writer(out, lineterminator="\n", quoting=csv.QUOTE_MINIMAL)
    writer.writerow(HEADER)
    writer.writerows(rows)
    return len(rows)


def main(argv):
    if len(argv) not in (2, 3):
        print(f"usage: {argv[0]} usda_sr24.jar [foods.csv]", file=sys.stderr)
        return 2
    default = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "data", "foods.csv")
    out_path = argv[2] if len(argv) == 3 else os.path.normpath(default)
    buffer = io.StringIO()
    try:
        count = convert(argv[1], buffer)
    except (ConversionError, OSError, KeyError, zipfile.BadZipFile, ET.ParseError) as error:
        print(f"{argv[0]}: {error}", file=sys.stderr)
        return 1
    # Written only after the whole conversion succeeded, so a failure never leaves half a table.
    with open(out_path, "w", encoding="utf-8", newline="") as out:
        out.write(buffer.getvalue())
    print(f"{out_path}: {count} foods", file=sys.stderr)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
