"""What a screen reader hears of orv-tool: every button, check box, box and
list has a name, in the windows' language. Reads the tool through the
accessibility bus (AT-SPI), as a screen reader does.

    screen_reader.py zh|en   (orv-tool already running with that language)
"""
import re
import sys
import time

import pyatspi

NAMED = ("push button", "check box", "text", "combo box", "toggle button")
# Controls each language must name so.
EXPECTED = {
    "zh": {"开始采集", "整个桌面", "帧文件", "端口设置", "实时发送", "锐化强度"},
    "en": {"Capture", "Desktop", "Frame file", "Port settings", "Send live", "Sharpen strength"},
}
CHINESE = re.compile("[\u3000-\u9fff\uff00-\uffef]")


def tool():
    for _ in range(300):
        for app in pyatspi.Registry.getDesktop(0):
            if app is not None and app.name == "orv-tool" and app.childCount > 0:
                return app
        time.sleep(0.1)
    sys.exit("orv-tool did not appear on the accessibility bus")


def controls(node):
    for child in node:
        if child is None:
            continue
        yield child.getRoleName(), child.name
        yield from controls(child)


language = sys.argv[1]
heard = [(role, name) for role, name in controls(tool()) if role in NAMED]
unnamed = [role for role, name in heard if not name]
names = {name for _, name in heard}
wrong = [n for n in names if (CHINESE.search(n) is not None) != (language == "zh")]
missing = EXPECTED[language] - names
if unnamed or missing or (language == "en" and wrong):
    sys.exit(f"unnamed: {unnamed}; missing: {sorted(missing)}; not {language}: {sorted(wrong)}")
print(f"{len(heard)} controls named in {language}")
