#!/usr/bin/python3
"""A grade list for the proficiency-test analysis: N students in classes of 50 (301, 302, ...), 学号 and 姓名, and
nine subjects graded A–E weighted like a real test (25/35/25/10/5 %), about 3 % of letters in lower case and about
0.25 % of grades missing.
Usage: make_proficiency_book.py OUT.xlsx [--students N] [--class-size S] [--seed S]"""
import argparse
import random

import openpyxl

ap = argparse.ArgumentParser()
ap.add_argument("out")
ap.add_argument("--students", type=int, default=1000)
ap.add_argument("--class-size", type=int, default=50)
ap.add_argument("--seed", type=int, default=1)
a = ap.parse_args()
rng = random.Random(a.seed)

wb = openpyxl.Workbook(write_only=True)
ws = wb.create_sheet("成绩")
subjects = ["语文", "数学", "英语", "物理", "化学", "生物", "政治", "历史", "地理"]
ws.append(["班级", "学号", "姓名"] + subjects)
classes = max(1, (a.students + a.class_size - 1) // a.class_size)
for n in range(a.students):
    row = [301 + n % classes, 1 + n // classes, "学生%d" % (n + 1)]
    for s in subjects:
        if rng.random() < 0.0025:
            row.append(None)
            continue
        letter = rng.choices("ABCDE", weights=(25, 35, 25, 10, 5))[0]
        row.append(letter.lower() if rng.random() < 0.03 else letter)
    ws.append(row)
wb.save(a.out)
