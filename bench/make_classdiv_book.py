#!/usr/bin/python3
"""A grade for the class division: N students with 9 subjects and a total in the documented layout, names drawn
from common surnames and given-name characters (so some sound alike), and with --conditions a 分班条件 sheet of
20 conditions of each kind that can all be met: 指定班级, 同班 (pairs, some a boy and a girl), 分开 (three each),
同名分开 over 全体, and 均衡 rows over four tags. With --electives 3+1+2 or 3+3 a 选科 sheet gives every student a
combination, drawn with the shares a grade shows (物化生 the largest, several under 20 students in 1,000).
Usage: make_classdiv_book.py OUT.xlsx [--students N] [--classes K] [--seed S] [--conditions] [--electives SYSTEM]"""
import argparse
import random

import openpyxl

SURNAMES = "王李张刘陈杨黄赵吴周徐孙马朱胡郭何高林罗郑梁谢宋唐许韩冯邓曹彭曾肖田董袁潘于蒋蔡余杜叶程苏魏吕丁任沈姚卢姜崔钟谭陆汪范金石廖贾夏韦付方白邹孟熊秦邱江尹薛闫段雷侯龙史陶黎贺顾毛郝龚邵万钱严覃武戴莫孔向汤"
GIVEN = "伟芳娜敏静丽强磊军洋勇艳杰娟涛明超秀霞平刚桂英华玉兰萍红鹏辉建林志宇浩晨欣怡佳雨婷子涵梓轩文博思琪梦瑶诗雅嘉宁俊凯"

ap = argparse.ArgumentParser()
ap.add_argument("out")
ap.add_argument("--students", type=int, default=1000)
ap.add_argument("--classes", type=int, default=10)
ap.add_argument("--seed", type=int, default=1)
ap.add_argument("--conditions", action="store_true")
ap.add_argument("--electives", choices=["3+1+2", "3+3"])
a = ap.parse_args()
rng = random.Random(a.seed)

wb = openpyxl.Workbook()
ws = wb.active
ws.title = "新生成绩"
subjects = ["语文", "数学", "英语", "物理", "化学", "生物", "政治", "历史", "地理"]
ws.append(["统一学号", "班级", "姓名", "性别"] + subjects + ["总分"])
students = []
for n in range(a.students):
    name = rng.choice(SURNAMES) + "".join(rng.choice(GIVEN) for _ in range(rng.choice((1, 2))))
    sex = rng.choice("男女")
    ability = rng.gauss(0, 1)
    scores = [max(20, min(100, round(60 + 16 * (ability + rng.gauss(0, 0.7))))) for _ in subjects]
    ws.append([20260001 + n, None, name, sex] + scores + [sum(scores)])
    students.append((name, sex))

if a.conditions:
    count = {}
    for name, _ in students:
        count[name] = count.get(name, 0) + 1
    # A student by name where that is unique, else by row.
    ref = lambda i: students[i][0] if count[students[i][0]] == 1 else "第%d行" % (i + 2)
    order = list(range(a.students))
    rng.shuffle(order)
    take = iter(order)
    cs = wb.create_sheet("分班条件")
    cs.append(["条件", "学生", "值"])
    for n in range(20):
        cs.append(["指定班级", ref(next(take)), n % a.classes + 1])
    boys = [i for i in order if students[i][1] == "男"]
    girls = [i for i in order if students[i][1] == "女"]
    used = set(order[:20])
    def fresh(pool):
        i = next(i for i in pool if i not in used)
        used.add(i)
        return i
    for n in range(20):
        pair = [fresh(boys), fresh(girls)] if n % 2 else [fresh(order), fresh(order)]
        cs.append(["同班", "、".join(ref(i) for i in pair), None])
    for n in range(20):
        cs.append(["分开", "，".join(ref(fresh(order)) for _ in range(3)), None])
    cs.append(["同名分开", "全体", None])
    tags = ["班干部", "住校生", "团员", "特长生"]
    for n in range(20):
        cs.append(["均衡", "、".join(ref(fresh(order)) for _ in range(5)), tags[n % 4]])
if a.electives:
    shares = {
        "3+1+2": [("物化生", 30), ("物化地", 10), ("物生地", 8), ("物化政", 5), ("物生政", 4), ("物政地", 3),
                  ("历政地", 15), ("历生地", 8), ("历化生", 2), ("历政生", 6), ("历化地", 1), ("历化政", 0.5)],
        "3+3": [("物化生", 22), ("物化地", 6), ("物生地", 5), ("物化政", 4), ("历政地", 10), ("历生地", 6), ("历政生", 5),
                ("物化技", 3), ("物生技", 2), ("物政技", 3), ("化政技", 2), ("生政技", 2), ("物历地", 2), ("化政历", 1.5),
                ("化历地", 1), ("生历化", 1), ("生历技", 1), ("历地技", 0.8), ("政地技", 0.7), ("生化技", 0.5),
                ("物政地", 0.5)],
    }[a.electives]
    es = wb.create_sheet("选科")
    es.append(["学生", "选科"])
    combos = [c for c, _ in shares]
    weights = [w for _, w in shares]
    for n in range(a.students):
        es.append([20260001 + n, rng.choices(combos, weights)[0]])
wb.save(a.out)
