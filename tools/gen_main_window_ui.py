#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Writes resources/main_window.ui and the six rule page forms
(resources/*_page.ui) from the control table below.

The rule pages have some ninety controls at fixed design positions; keeping
them in one table is easier to check against the design than hand-edited XML.
Run it after changing the table and commit its output with it.
"""
import os
from xml.sax.saxutils import escape

# Page-level positions are the design's, measured from the tab control's
# corner. Where the style puts a page inside the tab control is known only at
# run time: the window moves each page's controls by that origin
# (RuleTab::placeControls), so Designer shows them that much too low.
# The toolbar sits outside the central widget in Qt.
TOOLBAR = 28


def label(name, text, x, y):
    return ("QLabel", name, dict(text=text), (x, y, 12 * len(text) + 4, 14), [])


def edit(name, x, y, w, h=18, **props):
    return ("QLineEdit", name, props, (x, y, w, h), [])


def spin(name, x, y, w, h, lo, hi, maxlen, text, **props):
    p = dict(minimum=lo, maximum=hi, maxLength=maxlen, text=text)
    p.update(props)
    return ("qorin::platform::SpinEdit", name, p, (x, y, w, h), [])


def radio(name, text, x, y, checked=False):
    p = dict(text=text)
    if checked:
        p["checked"] = True
    return ("QRadioButton", name, p, (x, y, 14 * len(text) + 24, 17), [])


def check(name, text, x, y, checked=False):
    p = dict(text=text)
    if checked:
        p["checked"] = True
    return ("QCheckBox", name, p, (x, y, 13 * len(text) + 24, 17), [])


def group(name, title, x, y, w, h, children):
    return ("QGroupBox", name, dict(title=title), (x, y, w, h), children)


def button(name, text, x, y, w, h, **props):
    return ("QPushButton", name, dict(text=text, **props), (x, y, w, h), [])


page0 = [
    label("标签13", "作用于：", 6, 32),
    group("分组框3", "", 52, 22, 228, 27, [
        radio("常规文件名单选框", "文件名", 12, 6, True),
        radio("常规扩展名单选框", "扩展名", 88, 6),
        radio("常规全部单选框", "全部", 165, 6),
    ]),
    label("标签1", "起始量：", 289, 32),
    spin("起始量编辑框", 342, 29, 48, 18, 0, 9999, 8, "0"),
    label("标签2", "增量", 414, 32),
    spin("增量编辑框", 446, 29, 48, 18, 1, 9999, 6, "1"),
    button("常规清空按钮", "清空", 519, 27, 60, 20),
    group("文件名分组框", "文件名", 6, 50, 578, 37, [
        label("前缀1标签", "前缀", 6, 17),
        edit("文件名前缀编辑框", 38, 14, 56),
        label("文件名标签", "主文件名", 100, 17),
        edit("文件名编辑框", 153, 14, 125),
        label("文件名位数调节标签", "位数", 286, 17),
        spin("文件名位数调节编辑框", 316, 14, 56, 18, 1, 255, 3, "1"),
        label("后缀1标签", "后缀", 396, 17),
        edit("文件名后缀编辑框", 428, 14, 56),
    ]),
    group("扩展名分组框", "扩展名", 6, 89, 578, 37, [
        label("前缀2标签", "前缀", 6, 17),
        edit("扩展名前缀编辑框", 38, 14, 56, enabled=False),
        label("新扩展名标签", "新扩展名", 100, 17),
        edit("新扩展名编辑框", 153, 14, 125, enabled=False),
        label("扩展名位数标签", "位数", 286, 17),
        spin("扩展名位数调节编辑框", 316, 14, 56, 18, 0, 100, 3, "", enabled=False),
        label("后缀2标签", "后缀", 396, 17),
        edit("扩展名后缀编辑框", 428, 14, 56, enabled=False),
    ]),
]

page1 = [
    group("删除分组框", "选项", 5, 25, 579, 96, [
        label("查找内容标签", "查找内容", 27, 17),
        edit("查找内容编辑框", 89, 14, 191),
        check("区分大小写选择框", "区分大小写", 291, 15),
        check("正则表达式选择框", "正则表达式", 388, 15),
        label("替换为标签", "替换为", 27, 45),
        edit("替换为编辑框", 89, 44, 191),
        ("QLabel", "标签5", dict(text="（为空时表示删除‘查找内容’的内容）"), (291, 47, 280, 14), []),
        label("标签6", "应用于：", 27, 74),
        radio("仅文件名单选框", "仅文件名", 89, 72, True),
        radio("仅扩展名单选框", "仅扩展名", 197, 72),
        radio("替换删除全部单选框", "全部", 313, 72),
    ]),
]

page2 = [
    label("标签3", "欲插入的字符：", 18, 34),
    label("标签8", "文件名：", 113, 34),
    edit("插入到文件名的字符编辑框", 168, 31, 96),
    label("插入扩展名标签", "扩展名：", 273, 34),
    edit("插入到扩展名的字符编辑框", 321, 31, 96),
    check("保持一致选择框", "保持一致", 440, 32),
    label("标签4", "插入到文件名：", 18, 64),
    group("分组框1", "", 114, 49, 462, 35, [
        radio("插入文件名位置单选框", "插入到第", 8, 13, True),
        spin("插入文件名位置编辑框", 80, 9, 56, 20, 1, 255, 3, "1"),
        label("标签9", "个位置", 160, 15),
        radio("插入文件名尾单选框", "文件名尾", 336, 13),
    ]),
    label("标签7", "插入到扩展名：", 18, 99),
    group("分组框2", "", 114, 87, 462, 35, [
        radio("插入扩展名位置单选框", "插入到第", 8, 13, True),
        spin("插入扩展名位置编辑框", 80, 9, 56, 20, 1, 255, 3, "1"),
        label("标签10", "个位置", 160, 15),
        radio("插入扩展名尾单选框", "扩展名尾", 336, 13),
    ]),
]


def case_group(name, title, x, what):
    return group(name, title, x, 38, 278, 81, [
        radio(what + "全部大写单选框", "全部大写", 24, 22, True),
        radio(what + "全部小写单选框", "全部小写", 24, 48),
        radio(what + "首字母大写单选框", "首字母大写", 144, 22),
        radio(what + "首字母小写单选框", "首字母小写", 144, 48),
    ])


page3 = [case_group("分组框6", "文件名", 10, "文件名"), case_group("分组框7", "扩展名", 303, "扩展名")]

tag_buttons = [("艺术家超级按钮", "#1-艺术家", "艺术家"), ("歌曲名超级按钮", "#2-歌曲名", "歌曲名"),
               ("专辑超级按钮", "#3-专辑", "专辑"), ("音轨超级按钮", "#4-音轨", "音轨"),
               ("年代超级按钮", "#5-年代", "年代"), ("流派超级按钮", "#6-流派", "流派")]

page4 = [
    label("标签11", "预定义方案：", 10, 32),
    ("QComboBox", "预定义方案组合框",
     dict(items=["艺术家-歌曲名", "艺术家-专辑-歌曲名", "艺术家-专辑-年代-歌曲名", "艺术家-专辑-年代-歌曲名-音轨"]),
     (87, 28, 224, 22), []),
    radio("V1优先单选框", "ID3v1.x优先", 328, 29),
    radio("V2优先单选框", "ID3v2.x优先", 456, 29, True),
    label("标签12", "命名规则：", 10, 57),
    edit("MP3命名规则编辑框", 87, 52, 495, 20, maxLength=50),
    edit("参照编辑框", 87, 76, 495, 20),
    ("QFrame", "外形框3", dict(frameShape="QFrame::StyledPanel"), (87, 99, 495, 24),
     [("QToolButton", n, dict(text=t, toolTip=h), (1 + 82 * i, 2, 82, 20), [])
      for i, (n, t, h) in enumerate(tag_buttons)]),
]

page5 = [
    label("日期来源标签", "日期来源：", 10, 32),
    ("QComboBox", "日期来源组合框", dict(items=["修改时间", "拍摄时间", "创建时间"]), (75, 28, 140, 22), []),
    label("日期格式标签", "日期格式：", 232, 32),
    edit("日期格式编辑框", 297, 29, 160, text="yyyy-MM-dd_HHmmss",
         toolTip="yyyy 年（四位）、yy 年（两位）、MM 月、dd 日、HH 时、mm 分、ss 秒、"
                 "zzz 毫秒（三位）、z 秒的小数（不带末尾的 0），其余文字照写"),
    ("QLabel", "日期格式说明标签", dict(text="yyyy年 MM月 dd日 HH时 mm分 ss秒 zzz毫秒"),
     (297, 53, 285, 14), []),
    label("日期位置标签", "日期位置：", 10, 84),
    group("日期位置分组框", "", 75, 74, 340, 27, [
        radio("日期替换文件名单选框", "替换文件名", 12, 6, True),
        radio("日期加在前面单选框", "加在文件名前", 112, 6),
        radio("日期加在后面单选框", "加在文件名后", 226, 6),
    ]),
    label("日期分隔标签", "分隔符：", 432, 84),
    edit("日期分隔编辑框", 484, 81, 48, text="_"),
]

# Page design name, caption, form class and file; in tab order.
pages = [("常规页", "常规", "GeneralPage", "general_page.ui", page0),
         ("替换删除页", "替换/删除", "ReplacePage", "replace_page.ui", page1),
         ("插入页", "插入", "InsertPage", "insert_page.ui", page2),
         ("大小写页", "大小写", "CasePage", "case_page.ui", page3),
         ("MP3标签页", "MP3标签", "Mp3Page", "mp3_page.ui", page4),
         ("日期页", "日期", "DatePage", "date_page.ui", page5)]

# The page area of 选择夹 (590 x 130 less the bar and the frame); the tab
# control sizes its pages itself, this is only Designer's preview size.
PAGE_SIZE = (586, 100)


def prop(name, value):
    if isinstance(value, bool):
        return f'<property name="{name}"><bool>{"true" if value else "false"}</bool></property>'
    if isinstance(value, int):
        return f'<property name="{name}"><number>{value}</number></property>'
    if isinstance(value, str) and value.startswith("QFrame::"):
        return f'<property name="{name}"><enum>{value}</enum></property>'
    return f'<property name="{name}"><string>{escape(value)}</string></property>'


def geometry(x, y, w, h):
    return (f'<property name="geometry"><rect><x>{x}</x><y>{y}</y><width>{w}</width>'
            f'<height>{h}</height></rect></property>')


def widget(cls, name, props, geo, children, dy=0):
    x, y, w, h = geo
    out = [f'<widget class="{cls}" name="{name}">', geometry(x, y - dy, w, h)]
    for k, v in props.items():
        if k == "items":
            for item in v:
                out.append(f'<item><property name="text"><string>{escape(item)}</string></property></item>')
        else:
            out.append(prop(k, v))
    for c in children:
        out.append(widget(*c))
    out.append("</widget>")
    return "\n".join(out)


def uses_spin(controls):
    return any(c[0] == "qorin::platform::SpinEdit" or uses_spin(c[4]) for c in controls)


SPIN_EDIT = ('<customwidgets>\n<customwidget><class>qorin::platform::SpinEdit</class><extends>QLineEdit</extends>'
             '<header>platform/gui/spin_edit.h</header></customwidget>\n</customwidgets>\n')


def page_form(name, title, cls, controls):
    body = "\n".join(widget(*c) for c in controls)
    custom = SPIN_EDIT if uses_spin(controls) else ""
    return f'''<?xml version="1.0" encoding="UTF-8"?>
<ui version="4.0">
<class>{cls}</class>
<widget class="QWidget" name="{name}">
{geometry(0, 0, *PAGE_SIZE)}
{prop("windowTitle", title)}
{body}
</widget>
{custom}<resources/>
<connections/>
</ui>
'''


def write(file, text):
    out = os.path.join(os.path.dirname(__file__), "..", "resources", file)
    with open(out, "w", encoding="utf-8") as f:
        f.write(text)


def main():
    for name, title, cls, file, controls in pages:
        write(file, page_form(name, title, cls, controls))
    # The pages are forms of their own; the window adds them to 选择夹.
    write("main_window.ui", f'''<?xml version="1.0" encoding="UTF-8"?>
<ui version="4.0">
<class>MainWindow</class>
<widget class="QMainWindow" name="MainWindow">
{geometry(0, 0, 590, 351)}
<property name="windowTitle"><string>Qorin批量更名器</string></property>
<widget class="QWidget" name="centralwidget">
<widget class="QTabWidget" name="选择夹">
{geometry(0, 29 - TOOLBAR, 590, 130)}
</widget>
<widget class="QTreeView" name="显示超级列表框">
{geometry(0, 160 - TOOLBAR, 590, 152)}
</widget>
</widget>
</widget>
<resources/>
<connections/>
</ui>
''')


if __name__ == "__main__":
    main()
