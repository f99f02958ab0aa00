"""Writes the raw score sheet the exam benchmarks share: 班级, 学号, 姓名 and nine
subjects, classes of 50 students, scores 30-150 in half points, about one score
cell in 500 left empty. Usage: make_exam_book.py STUDENTS OUT.xlsx"""
import random
import sys

from openpyxl import Workbook

students, out = int(sys.argv[1]), sys.argv[2]
rng = random.Random(20240601)
subjects = ["语文", "数学", "英语", "物理", "化学", "生物", "政治", "历史", "地理"]
wb = Workbook(write_only=True)
ws = wb.create_sheet("成绩")
ws.append(["班级", "学号", "姓名"] + subjects)
classes = max(1, students // 50)
for i in range(students):
    row = [101 + i % classes, 1 + i // classes, "学生%d" % (i + 1)]
    for _ in subjects:
        if rng.randrange(500) == 0:
            row.append(None)
        else:
            row.append(round(min(150.0, max(30.0, rng.gauss(95, 20))) * 2) / 2)
    ws.append(row)
wb.save(out)
