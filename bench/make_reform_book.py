"""Writes the books the reformed-exam benchmark compares: a grade of STUDENTS
in classes of 50 with 语文, 数学, 英语, one of 物理/历史 and two of 化学, 生物,
政治, 地理 (the others empty), scores in half points, with the sheets 分析设置
(类别 and 赋分: 五级 for the four, 八级 not used), 分数线 (a score and a 前N名
line) and 上次成绩 (the same students, other scores and classes); or, with
--plain, the same grade with every subject scored and no other sheet.
Usage: make_reform_book.py STUDENTS OUT.xlsx [--plain]"""
import random
import sys

from openpyxl import Workbook

students, out = int(sys.argv[1]), sys.argv[2]
plain = "--plain" in sys.argv[3:]
rng = random.Random(20261208)
required = ["语文", "数学", "英语"]
first = ["物理", "历史"]
second = ["化学", "生物", "政治", "地理"]
subjects = required + first + second
classes = max(1, students // 50)


def score(full):
    return round(min(full, max(full * 0.2, rng.gauss(full * 0.63, full * 0.13))) * 2) / 2


def rows(shift):
    for i in range(students):
        code = 101 + (i + shift) % classes
        row = [code, 1 + i // classes, "学生%d" % (i + 1)]
        row += [score(150) for _ in required]
        if plain:
            row += [score(100) for _ in first + second]
        else:
            pick = rng.randrange(2)
            row += [score(100) if k == pick else None for k in range(2)]
            chosen = rng.sample(range(4), 2)
            row += [score(100) if k in chosen else None for k in range(4)]
        yield row


wb = Workbook(write_only=True)
ws = wb.create_sheet("成绩")
ws.append(["班级", "学号", "姓名"] + subjects)
for row in rows(0):
    ws.append(row)
if not plain:
    ws = wb.create_sheet("分析设置")
    ws.append(["科目", "满分", "类别", "赋分"])
    for s in subjects:
        ws.append([s, 150 if s in required else 100, "必考" if s in required else "选考",
                   "五级" if s in second else None])
    ws = wb.create_sheet("分数线")
    ws.append(["名称", "分数线", "δ"])
    ws.append(["特控线", "前%d名" % max(1, students // 10), 10])
    ws.append(["本科线", 420, 15])
    ws = wb.create_sheet("上次成绩")
    ws.append(["班级", "学号", "姓名"] + subjects)
    for row in rows(7):
        ws.append(row)
wb.save(out)
